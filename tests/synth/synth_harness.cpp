#include "tests/synth/synth_harness.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace corvalen::test {
namespace {

constexpr float kUntouched = 1234.5f;  // what the output buffers hold before a block

Block collect(vsthost::AudioBlock& block, VstInt32 frames, float before) {
    EXPECT_TRUE(block.guardsIntact());
    Block out;
    if (frames <= 0) {
        // Nothing may have been written.
        for (int channel = 0; channel < 2; ++channel) {
            for (float sample : block.channel(channel)) EXPECT_EQ(sample, before);
        }
        return out;
    }
    out.left = block.channel(0);
    out.right = block.channel(1);
    return out;
}

}  // namespace

LoadedSynth::LoadedSynth() {
    AEffect* record = host_.open(pluginUnderTest());
    EXPECT_NE(record, nullptr);
    effect_ = std::make_unique<vsthost::Effect>(record);
    // What a host does before playing: open, then switch on.
    dispatch(effOpen);
    effect_->resume();
}

LoadedSynth::~LoadedSynth() {
    if (effect_->isOpen()) {
        EXPECT_EQ(effect_->close(), 1);
    }
}

VstIntPtr LoadedSynth::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return effect_->dispatch(opcode, index, value, ptr, opt);
}

std::string LoadedSynth::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    const auto result = effect_->readText(opcode, index, value);
    EXPECT_TRUE(result.terminated) << opcode;
    return result.text;
}

VstIntPtr LoadedSynth::sendMidi(const std::vector<ListedEvent>& events) {
    static const unsigned char sysexBytes[] = {0xF0, 0x7E, 0x7F, 0xF7};
    vsthost::EventList list;
    for (const ListedEvent& event : events) {
        if (!event.isSysex) {
            list.add(event.midi);
            continue;
        }
        VstMidiSysexEvent sysexEvent{};
        sysexEvent.type = kVstSysExType;
        sysexEvent.byteSize = sizeof sysexEvent;
        sysexEvent.deltaFrames = event.midi.frame;
        sysexEvent.dumpBytes = sizeof sysexBytes;
        // Where a MIDI event keeps its message bytes: a note on.
        sysexEvent.resvd1 = 0x7F3C90;
        sysexEvent.sysexDump = reinterpret_cast<char*>(const_cast<unsigned char*>(sysexBytes));
        list.addRaw(&sysexEvent, sizeof sysexEvent);
    }
    return effect_->sendEvents(list);
}

Block LoadedSynth::render(VstInt32 frames) {
    vsthost::AudioBlock block(frames > 0 ? frames : 64, kUntouched);
    effect_->processReplacing(block.inputs(), block.outputs(), frames);
    return collect(block, frames, kUntouched);
}

Block LoadedSynth::accumulate(VstInt32 frames, float start) {
    vsthost::AudioBlock block(frames > 0 ? frames : 64, start);
    effect_->process(block.inputs(), block.outputs(), frames);
    return collect(block, frames, start);
}

std::vector<float> LoadedSynth::play(VstInt32 frames) {
    std::vector<float> out;
    out.reserve(frames);
    while (static_cast<VstInt32>(out.size()) < frames) {
        const VstInt32 length = std::min<VstInt32>(512, frames - static_cast<VstInt32>(out.size()));
        const Block block = render(length);
        EXPECT_TRUE(bitEqual(block.left, block.right));
        out.insert(out.end(), block.left.begin(), block.left.end());
    }
    return out;
}

std::vector<std::pair<VstInt32, VstIntPtr>> LoadedSynth::hostCalls() const {
    std::vector<std::pair<VstInt32, VstIntPtr>> calls;
    for (const auto& call : host_.calls()) calls.emplace_back(call.opcode, call.value);
    return calls;
}

}  // namespace corvalen::test
