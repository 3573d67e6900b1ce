// The dispatcher entry with arbitrary opcodes, indexes, values and opts, and with the pointer
// argument a valid record of the size that opcode needs, or null. The set-parameter,
// get-parameter and rendering entries are mixed in so that odd settings (sample rates, block
// sizes, programs) meet the audio path. effClose only ends each input.
//
// Invariants checked after every call:
//  - nothing is written past a text buffer: texts go into 256 bytes followed by a guard zone,
//    and every text written is terminated within the 256 bytes and no longer than the buffer
//    hosts give by convention for that opcode (names 8 characters, " Bow Pres"-style names 9,
//    program names 23, effect name 31, vendor and product strings 63);
//  - records (pin properties, chunk pointer slot, speaker arrangements, event lists, anything
//    else) are heap blocks of their exact size, so AddressSanitizer sees any overrun;
//  - the answers fixed for this plug-in whatever the arguments: effIdentify 'NvEf', the
//    category 2 (synth), 1 for effCanBeAutomated, effConnectInput/Output,
//    effSetBlockSizeAndSampleRate, effKeysRequired, effGetNumProgramCategories and
//    effProcessEvents (also for a null list); effGetVstVersion 2; effCanDo 1 or -1; 0 for unknown
//    opcodes;
//  - effGetProgram follows effSetProgram for programs 0..31 and ignores every other number.
//
// Input: per call a u8 selector; selectors 0..249 make a dispatcher call (opcode from a
// table of the 59 opcodes and some unknown ones, see readOpcode), then i32 index, i32 value,
// float bits opt and a u8 pointer mode (bit 0 set and bit 1 set: null pointer); 250..252
// setParameter (i8 index, float bits), 253 getParameter (i8 index), 254/255 a short block.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/byte_reader.h"
#include "fuzz/plugin_harness.h"

namespace {

using corvalen::fuzz::ByteReader;
using corvalen::fuzz::Instance;

constexpr std::size_t kTextBytes = 256;
constexpr std::size_t kGuardBytes = 64;
constexpr std::uint8_t kGuardByte = 0xA5;
constexpr VstInt32 kProgramCount = 32;
constexpr VstIntPtr kNvEf = 0x4E764566;
// Large enough for any record the standard passes by pointer (offline tasks are the largest).
constexpr std::size_t kRecordBytes = 1024;

// Opcodes 0..58 (effClose excepted) and a few that no host may send.
VstInt32 readOpcode(ByteReader& in) {
    const std::uint8_t choice = in.u8();
    if (choice < 59) return choice == effClose ? VstInt32{effOpen} : VstInt32{choice};
    switch (choice % 5) {
        case 0:
            return -1;
        case 1:
            return 59;
        case 2:
            return INT32_MIN;
        case 3:
            return INT32_MAX;
        default:
            return in.i32() | 64;  // never 1 (effClose) nor below 64 and non-negative
    }
}

// The longest text a host's buffer holds for each text opcode that fills one.
std::size_t hostTextLimit(VstInt32 opcode) {
    switch (opcode) {
        case effGetParamLabel:
        case effGetParamDisplay:
            return 8;
        case effGetParamName:
            return 9;
        case effGetProgramName:
        case effGetProgramNameIndexed:
            return 23;
        case effGetEffectName:
            return 31;
        default:
            return 63;  // vendor, product, error text
    }
}

bool fillsText(VstInt32 opcode) {
    switch (opcode) {
        case effGetProgramName:
        case effGetParamLabel:
        case effGetParamDisplay:
        case effGetParamName:
        case effGetProgramNameIndexed:
        case effGetEffectName:
        case effGetErrorText:
        case effGetVendorString:
        case effGetProductString:
            return true;
        default:
            return false;
    }
}

bool takesText(VstInt32 opcode) {
    return opcode == effSetProgramName || opcode == effString2Parameter || opcode == effCanDo;
}

// A 256-byte text buffer with a guard zone behind it.
class TextBuffer {
public:
    TextBuffer() : bytes_(new std::uint8_t[kTextBytes + kGuardBytes]) {
        std::memset(bytes_.get(), kGuardByte, kTextBytes + kGuardBytes);
    }
    char* get() { return reinterpret_cast<char*>(bytes_.get()); }

    void check(VstInt32 opcode) const {
        for (std::size_t i = kTextBytes; i < kTextBytes + kGuardBytes; ++i) {
            CORVALEN_FUZZ_CHECK(bytes_[i] == kGuardByte, "wrote past the text buffer", opcode);
        }
        if (bytes_[0] == kGuardByte) return;  // nothing written
        const void* end = std::memchr(bytes_.get(), 0, kTextBytes);
        CORVALEN_FUZZ_CHECK(end != nullptr, "text not terminated", opcode);
        const auto length =
            static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - bytes_.get());
        CORVALEN_FUZZ_CHECK(length <= hostTextLimit(opcode), "text too long for a host buffer",
                            opcode);
    }

private:
    std::unique_ptr<std::uint8_t[]> bytes_;
};

class Session {
public:
    void run(ByteReader& in) {
        while (!in.atEnd()) {
            const std::uint8_t selector = in.u8();
            if (selector < 250) {
                dispatch(in);
            } else if (selector < 253) {
                const VstInt32 index = static_cast<std::int8_t>(in.u8());
                effect_.setParameter(index, in.floatBits());
            } else if (selector == 253) {
                const float value = effect_.getParameter(static_cast<std::int8_t>(in.u8()));
                CORVALEN_FUZZ_CHECK(std::isfinite(value), "getParameter not finite", 0);
            } else {
                renderShortBlock(in.u8(), selector == 254);
            }
        }
    }

private:
    void dispatch(ByteReader& in) {
        const VstInt32 opcode = readOpcode(in);
        const VstInt32 index = in.i32();
        VstIntPtr value = in.i32();
        const float opt = in.floatBits();
        const bool nullPointer = (in.u8() & 3) == 3;

        TextBuffer text;
        std::vector<std::uint8_t> input;  // zero-terminated text sent to the plug-in
        std::unique_ptr<std::uint8_t[]> record;
        std::unique_ptr<std::uint8_t[]> secondRecord;
        void* chunkSlot = nullptr;
        void* ptr = nullptr;
        if (fillsText(opcode)) {
            ptr = text.get();
        } else if (takesText(opcode)) {
            input = in.bytes(in.u16() % 300);
            input.push_back(0);
            ptr = input.data();
        } else if (opcode == effGetInputProperties || opcode == effGetOutputProperties) {
            record.reset(new std::uint8_t[sizeof(VstPinProperties)]());
            ptr = record.get();
        } else if (opcode == effGetChunk || opcode == effEditGetRect) {
            ptr = &chunkSlot;  // the plug-in stores a pointer here
        } else if (opcode == effProcessEvents) {
            record.reset(new std::uint8_t[offsetof(VstEvents, events)]());  // no events
            ptr = record.get();
        } else if (opcode == effSetSpeakerArrangement) {
            record.reset(new std::uint8_t[kRecordBytes]());
            secondRecord.reset(new std::uint8_t[kRecordBytes]());
            value = reinterpret_cast<VstIntPtr>(secondRecord.get());
            ptr = record.get();
        } else if (opcode == effSetChunk) {
            input = in.bytes(in.u16() % 512);
            value = static_cast<VstIntPtr>(input.size());
            record.reset(new std::uint8_t[input.size()]);
            if (!input.empty()) std::memcpy(record.get(), input.data(), input.size());
            ptr = record.get();
        } else {
            record.reset(new std::uint8_t[kRecordBytes]());
            ptr = record.get();
        }
        if (nullPointer) ptr = nullptr;

        const VstInt32 programBefore = currentProgram();
        const VstIntPtr answer = effect_.dispatch(opcode, index, value, ptr, opt);
        if (ptr == text.get()) text.check(opcode);
        if (opcode == effGetChunk && answer > 0) {
            // A chunk offered must be readable for its whole size.
            CORVALEN_FUZZ_CHECK(chunkSlot != nullptr, "chunk size without data", answer);
            std::vector<std::uint8_t> copy(static_cast<std::size_t>(answer));
            std::memcpy(copy.data(), chunkSlot, copy.size());
        }
        if (ptr != nullptr && opcode == effGetOutputProperties && answer == 1) {
            const auto* pin = static_cast<const VstPinProperties*>(ptr);
            CORVALEN_FUZZ_CHECK(std::memchr(pin->label, 0, sizeof pin->label) != nullptr,
                                "pin label not terminated", index);
        }
        checkAnswer(opcode, value, ptr, answer, programBefore);
    }

    void checkAnswer(VstInt32 opcode, VstIntPtr value, void* ptr, VstIntPtr answer,
                     VstInt32 programBefore) {
        switch (opcode) {
            case effIdentify:
                CORVALEN_FUZZ_CHECK(answer == kNvEf, "effIdentify", answer);
                break;
            case effGetPlugCategory:
                CORVALEN_FUZZ_CHECK(answer == kPlugCategSynth, "category", answer);
                break;
            case effGetVstVersion:
                CORVALEN_FUZZ_CHECK(answer == 2, "VST version", answer);
                break;
            case effCanBeAutomated:
            case effConnectInput:
            case effConnectOutput:
            case effSetBlockSizeAndSampleRate:
            case effKeysRequired:
            case effGetNumProgramCategories:
            case effProcessEvents:  // a null list included: it empties the queue
                CORVALEN_FUZZ_CHECK(answer == 1, "answer other than 1", opcode);
                break;
            case effCanDo:
                if (ptr != nullptr) {
                    CORVALEN_FUZZ_CHECK(answer == 1 || answer == -1, "canDo", answer);
                }
                break;
            case effSetProgram: {
                const bool valid = value >= 0 && value < kProgramCount;
                const VstInt32 expected = valid ? static_cast<VstInt32>(value) : programBefore;
                CORVALEN_FUZZ_CHECK(currentProgram() == expected, "program after effSetProgram",
                                    value);
                break;
            }
            default:
                if (opcode < 0 || opcode > effGetVstVersion) {
                    CORVALEN_FUZZ_CHECK(answer == 0, "unknown opcode answered", opcode);
                }
                break;
        }
        const VstInt32 program = currentProgram();
        CORVALEN_FUZZ_CHECK(program >= 0 && program < kProgramCount, "program out of range",
                            program);
    }

    VstInt32 currentProgram() {
        return static_cast<VstInt32>(effect_.dispatch(effGetProgram, 0, 0, nullptr, 0.0f));
    }

    // A few frames after whatever the dispatcher calls changed; both outputs exactly sized.
    void renderShortBlock(std::uint8_t frames, bool replacing) {
        const std::size_t length = frames % 65;
        std::unique_ptr<float[]> left(new float[length]());
        std::unique_ptr<float[]> right(new float[length]());
        float* outputs[2] = {left.get(), right.get()};
        const auto count = static_cast<VstInt32>(length);
        if (replacing) {
            effect_.processReplacing(nullptr, outputs, count);
        } else {
            effect_.process(nullptr, outputs, count);
        }
        for (std::size_t i = 0; i < length; ++i) {
            CORVALEN_FUZZ_CHECK(std::memcmp(&left[i], &right[i], sizeof(float)) == 0,
                                "outputs differ", static_cast<long long>(i));
        }
    }

    Instance effect_;
};

}  // namespace

CORVALEN_PLUGIN_FUZZ_TARGET(Session)
