// Event lists, blocks and parameter changes, as a careless or hostile host might send them,
// through the exported entry points of the plug-in library.
//
// Two effects receive the same calls, except that where one renders a block with
// processReplacing the other renders it with process onto prefilled buffers. Invariants
// checked after every call (a broken one aborts, so libFuzzer keeps the input):
//  - nothing is read or written outside the host's records and buffers: every event, list
//    and channel is its own heap block of exactly the size the host would allocate, so
//    AddressSanitizer sees a single byte too far; non-MIDI events are only as large as their
//    kind, so reading MIDI fields from them is caught too;
//  - processReplacing writes every frame of both outputs, the same bits in both;
//  - process adds exactly what processReplacing writes: out = before + y, bit for bit (the
//    second effect's samples are y), in both outputs;
//  - a block of zero or fewer frames writes nothing (its channels are zero-length blocks);
//  - while the level is at most 1 in magnitude, every sample is finite, whatever values the
//    other parameters were sent (any finite value, NaN, infinities) and whatever events: the
//    string itself never turns non-finite, and non-finite values never reach it;
//  - getParameter gives back a finite value sent to an index 0..5 bit for bit, never a
//    non-finite value, and 0.0 for any other index.
//
// Input: commands until the input ends (reads past the end give zeros).
//   op % 8 = 0  event list: u16 count (bit 15: negative numEvents, no pointers), then per
//               event a kind byte (bits 0-1: 0/3 MIDI, 1 sysex, 2 other type; 0xFF: a null
//               pointer; bit 2: i32 deltaFrames instead of u8; bit 3: odd byteSize) and its
//               fields
//   op % 8 = 1  render: u16 frames (see decodeFrames), u8 prefill seed; first effect replacing
//   op % 8 = 2  render, first effect accumulating (past 8192 frames per input, blocks are
//               cut to at most 64 frames)
//   op % 8 = 3  setParameter: i8 index, float bits
//   op % 8 = 4  setParameter: u8 index % 8, u8 value / 255
//   op % 8 = 5  effSetProgram: i32 value
//   op % 8 = 6  effMainsChanged: u8 value
//   op % 8 = 7  render with missing buffers: u8 mode, u16 frames
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/byte_reader.h"
#include "fuzz/plugin_harness.h"
#include "tests/support/float_bits.h"

namespace {

using corvalen::fuzz::ByteReader;
using corvalen::fuzz::Instance;
using corvalen::fuzz::sameSample;
using corvalen::test::bitsOf;

constexpr VstInt32 kMaxFrames = 4096;  // enough for every path; larger blocks only cost time
// Frames per input before blocks are cut to kShortBlock frames, so that an input made of
// nothing but long blocks does not slow the search down.
constexpr std::size_t kFrameBudget = 1 << 13;
constexpr VstInt32 kShortBlock = 64;
constexpr int kMaxEvents = 512;
constexpr int kParameterCount = 6;
constexpr VstInt32 kLevelParameter = 5;
constexpr VstInt32 kProgramCount = 32;
constexpr std::uint32_t kUnwrittenBits = 0x7FC0DEADu;  // a NaN no arithmetic produces

// 0..4096 frames, or with bit 15 set a negative count (0x8000 itself: the most negative).
VstInt32 decodeFrames(std::uint16_t raw) {
    if ((raw & 0x8000u) == 0) return raw % (kMaxFrames + 1);
    if (raw == 0x8000u) return INT32_MIN;
    return -static_cast<VstInt32>(raw & 0x7FFFu);
}

float unwrittenSample() {
    float value;
    std::memcpy(&value, &kUnwrittenBits, sizeof value);
    return value;
}

// One host event list: every event and the list itself in heap blocks of their exact size.
class HostEventList {
public:
    explicit HostEventList(ByteReader& in) {
        const std::uint16_t rawCount = in.u16();
        const bool negative = (rawCount & 0x8000u) != 0;
        const int count = negative ? 0 : rawCount % (kMaxEvents + 1);
        const std::size_t listBytes = offsetof(VstEvents, events) + count * sizeof(VstEvent*);
        list_.reset(new std::uint8_t[listBytes]);
        VstEvents* list = get();
        list->numEvents = negative ? -static_cast<VstInt32>(rawCount & 0x7FFFu) : count;
        list->reserved = 0;
        VstEvent** pointers =
            reinterpret_cast<VstEvent**>(list_.get() + offsetof(VstEvents, events));
        for (int i = 0; i < count; ++i) pointers[i] = readEvent(in);
    }

    VstEvents* get() { return reinterpret_cast<VstEvents*>(list_.get()); }

private:
    VstEvent* readEvent(ByteReader& in) {
        const std::uint8_t kind = in.u8();
        if (kind == 0xFF) return nullptr;
        const VstInt32 deltaFrames = (kind & 0x04) ? in.i32() : in.u8();
        const bool oddSize = (kind & 0x08) != 0;
        switch (kind & 0x03) {
            case 1:
                return sysex(in, deltaFrames, oddSize);
            case 2:
                return otherKind(in, deltaFrames);
            default:
                return midi(in, deltaFrames, oddSize);
        }
    }

    VstEvent* midi(ByteReader& in, VstInt32 deltaFrames, bool oddSize) {
        auto* event = static_cast<VstMidiEvent*>(keep(sizeof(VstMidiEvent)));
        event->type = kVstMidiType;
        event->byteSize = oddSize ? static_cast<std::int8_t>(in.u8()) : sizeof(VstMidiEvent);
        event->deltaFrames = deltaFrames;
        event->flags = in.u8() & 1;
        for (int b = 0; b < 3; ++b) event->midiData[b] = static_cast<char>(in.u8());
        return reinterpret_cast<VstEvent*>(event);
    }

    VstEvent* sysex(ByteReader& in, VstInt32 deltaFrames, bool oddSize) {
        const std::vector<std::uint8_t> message = in.bytes(in.u8());
        auto* dump = static_cast<char*>(keep(message.size()));
        if (!message.empty()) std::memcpy(dump, message.data(), message.size());
        auto* event = static_cast<VstMidiSysexEvent*>(keep(sizeof(VstMidiSysexEvent)));
        event->type = kVstSysExType;
        event->byteSize = oddSize ? static_cast<std::int8_t>(in.u8()) : sizeof(VstMidiSysexEvent);
        event->deltaFrames = deltaFrames;
        event->dumpBytes = static_cast<VstInt32>(message.size());
        event->sysexDump = dump;
        return reinterpret_cast<VstEvent*>(event);
    }

    // Kinds 2 to 5 and unknown ones: the 16-byte head and what the byteSize announces.
    VstEvent* otherKind(ByteReader& in, VstInt32 deltaFrames) {
        VstInt32 type = static_cast<std::int8_t>(in.u8());
        if (type == kVstMidiType) type = 2;
        const std::size_t payload = in.u8() % 49;
        const std::size_t head = offsetof(VstEvent, data);
        auto* bytes = static_cast<std::uint8_t*>(keep(head + payload));
        const VstInt32 fields[4] = {type, static_cast<VstInt32>(head + payload), deltaFrames, 0};
        std::memcpy(bytes, fields, head);
        for (std::size_t i = 0; i < payload; ++i) bytes[head + i] = in.u8();
        return reinterpret_cast<VstEvent*>(bytes);
    }

    void* keep(std::size_t size) {
        blocks_.emplace_back(new std::uint8_t[size]());
        return blocks_.back().get();
    }

    std::unique_ptr<std::uint8_t[]> list_;
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
};

// Two output channels of exactly `frames` samples (none for a block of zero or fewer).
class Outputs {
public:
    Outputs(VstInt32 frames, float fill) : frames_(frames > 0 ? frames : 0) {
        for (auto& channel : channels_) {
            channel.reset(new float[frames_]);
            for (std::size_t i = 0; i < frames_; ++i) channel[i] = fill;
        }
        pointers_[0] = channels_[0].get();
        pointers_[1] = channels_[1].get();
    }
    float** get() { return pointers_; }
    float* channel(int index) { return channels_[index].get(); }
    std::size_t frames() const { return frames_; }

private:
    std::size_t frames_;
    std::unique_ptr<float[]> channels_[2];
    float* pointers_[2];
};

class Session {
public:
    void run(ByteReader& in) {
        while (!in.atEnd()) {
            switch (in.u8() % 8) {
                case 0: {
                    HostEventList list(in);
                    for (Instance* effect : {&first_, &second_}) {
                        const VstIntPtr answer =
                            effect->dispatch(effProcessEvents, 0, 0, list.get(), 0.0f);
                        CORVALEN_FUZZ_CHECK(answer == 1, "processEvents did not answer 1", answer);
                    }
                    break;
                }
                case 1:
                    render(decodeFrames(in.u16()), in.u8(), true);
                    break;
                case 2:
                    render(decodeFrames(in.u16()), in.u8(), false);
                    break;
                case 3: {
                    const VstInt32 index = static_cast<std::int8_t>(in.u8());
                    setParameter(index, in.floatBits());
                    break;
                }
                case 4: {
                    const VstInt32 index = in.u8() % 8;
                    setParameter(index, static_cast<float>(in.u8()) / 255.0f);
                    break;
                }
                case 5: {
                    const VstInt32 program = in.i32();
                    for (Instance* effect : {&first_, &second_}) {
                        effect->dispatch(effSetProgram, 0, program, nullptr, 0.0f);
                    }
                    // Every stored program holds the level 0.8.
                    if (program >= 0 && program < kProgramCount) levelBounded_ = true;
                    break;
                }
                case 6: {
                    const VstIntPtr value = in.u8();
                    for (Instance* effect : {&first_, &second_}) {
                        effect->dispatch(effMainsChanged, 0, value, nullptr, 0.0f);
                    }
                    break;
                }
                default:
                    renderWithoutBuffers(in.u8(), decodeFrames(in.u16()));
                    break;
            }
        }
    }

private:
    void setParameter(VstInt32 index, float value) {
        const bool isParameter = index >= 0 && index < kParameterCount;
        // The level is read afresh for every block; non-finite values are not taken.
        if (index == kLevelParameter && std::isfinite(value))
            levelBounded_ = std::fabs(value) <= 1.0f;
        for (Instance* effect : {&first_, &second_}) {
            effect->setParameter(index, value);
            const float readBack = effect->getParameter(index);
            if (!isParameter) {
                CORVALEN_FUZZ_CHECK(bitsOf(readBack) == 0, "unknown index reads non-zero", index);
            } else if (std::isfinite(value)) {
                CORVALEN_FUZZ_CHECK(bitsOf(readBack) == bitsOf(value),
                                    "parameter does not read back", index);
            } else {
                CORVALEN_FUZZ_CHECK(std::isfinite(readBack), "parameter took a non-finite value",
                                    index);
            }
        }
    }

    // `firstReplaces`: the first effect renders with processReplacing and the second with
    // process, else the other way round.
    void render(VstInt32 frames, std::uint8_t prefillSeed, bool firstReplaces) {
        if (framesRendered_ > kFrameBudget && frames > kShortBlock) frames %= kShortBlock + 1;
        if (frames > 0) framesRendered_ += static_cast<std::size_t>(frames);
        Outputs replaced(frames, unwrittenSample());
        Outputs accumulated(frames, 0.0f);
        std::vector<float> before(accumulated.frames());
        for (std::size_t i = 0; i < before.size(); ++i) {
            // Finite, of both signs, varying from sample to sample.
            before[i] = (static_cast<float>((i * 37 + prefillSeed) % 257) - 128.0f) / 64.0f;
            accumulated.channel(0)[i] = before[i];
            accumulated.channel(1)[i] = before[i];
        }
        Instance& replacing = firstReplaces ? first_ : second_;
        Instance& accumulating = firstReplaces ? second_ : first_;
        replacing.processReplacing(nullptr, replaced.get(), frames);
        accumulating.process(nullptr, accumulated.get(), frames);

        for (std::size_t i = 0; i < replaced.frames(); ++i) {
            const float y = replaced.channel(0)[i];
            CORVALEN_FUZZ_CHECK(bitsOf(y) != kUnwrittenBits, "frame not written", i);
            CORVALEN_FUZZ_CHECK(bitsOf(replaced.channel(1)[i]) == bitsOf(y), "outputs differ", i);
            const float expected = before[i] + y;
            for (int c = 0; c < 2; ++c) {
                CORVALEN_FUZZ_CHECK(sameSample(accumulated.channel(c)[i], expected),
                                    "process did not add the replacing samples", i);
            }
            if (levelBounded_) {
                CORVALEN_FUZZ_CHECK(std::isfinite(y), "non-finite sample", i);
            }
        }
    }

    // Missing channel arrays or channels. What the effect does with such a block is its own
    // affair (a host cannot expect sound from it); it must not crash or write out of bounds.
    // Both effects get the same call, so that they stay in step.
    void renderWithoutBuffers(std::uint8_t mode, VstInt32 frames) {
        Outputs channels(frames, 0.0f);
        float* oneChannel[2] = {channels.channel(0), nullptr};
        float** outputs = (mode & 1) ? oneChannel : nullptr;
        for (Instance* effect : {&first_, &second_}) {
            if (mode & 2) {
                effect->process(nullptr, outputs, frames);
            } else {
                effect->processReplacing(nullptr, outputs, frames);
            }
        }
    }

    Instance first_;
    Instance second_;
    bool levelBounded_ = true;
    std::size_t framesRendered_ = 0;
};

}  // namespace

CORVALEN_PLUGIN_FUZZ_TARGET(Session)
