#include "tests/synth/synth_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>

#include "tests/vst_plugin/test_host.h"

namespace corvalen_test {

namespace {

using corvalen::testing::AudioBlock;
using corvalen::testing::Effect;
using corvalen::testing::PluginLibrary;
using corvalen::testing::TestHost;

const PluginLibrary& library() {
    return corvalen::testing::sharedPluginLibrary(CORVALEN_PLUGIN_DEFAULT_PATH);
}

constexpr float kUntouched = 1234.5f;  // what the output buffers hold before a block

}  // namespace

struct LoadedSynth::HostState {
    TestHost host;
    std::unique_ptr<Effect> effect;
};

PluginEntry pluginMain() {
    EXPECT_TRUE(library().isLoaded()) << library().error();
    return library().entry();
}

bool exportsSymbol(const char* name) {
    return library().findSymbol(name) != nullptr;
}

LoadedSynth::LoadedSynth() : host_(new HostState) {
    EXPECT_TRUE(library().isLoaded()) << library().error();
    effect_ = host_->host.open(library());
    EXPECT_NE(effect_, nullptr);
    host_->effect = std::make_unique<Effect>(effect_);
    // What a host does before playing: open, then switch on.
    dispatch(effOpen);
    dispatch(effMainsChanged, 0, 1);
}

LoadedSynth::~LoadedSynth() {
    if (effect_ != nullptr) {
        EXPECT_EQ(host_->effect->close(), 1);
    }
    delete host_;
}

VstIntPtr LoadedSynth::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return host_->effect->dispatch(opcode, index, value, ptr, opt);
}

std::string LoadedSynth::text(VstInt32 opcode, VstInt32 index, VstIntPtr value) {
    const auto result = host_->effect->readText(opcode, index, value);
    EXPECT_TRUE(result.terminated) << opcode;
    return result.text;
}

void LoadedSynth::setParameter(VstInt32 index, float value) {
    host_->effect->setParameter(index, value);
}

float LoadedSynth::getParameter(VstInt32 index) {
    return host_->effect->getParameter(index);
}

VstIntPtr LoadedSynth::sendMidi(const std::vector<Midi>& messages) {
    // Built here rather than with the test host's EventList so that a system-exclusive event
    // can carry a note on's bytes where a MIDI event keeps its message.
    std::vector<VstMidiEvent> midi(messages.size());
    std::vector<VstMidiSysexEvent> sysex(messages.size());
    const unsigned char sysexBytes[] = {0xF0, 0x7E, 0x7F, 0xF7};
    std::vector<std::intptr_t> list(2 + std::max<std::size_t>(2, messages.size()));
    list[0] = static_cast<std::intptr_t>(messages.size());
    for (std::size_t i = 0; i < messages.size(); ++i) {
        const Midi& m = messages[i];
        if (m.type == kVstSysExType) {
            VstMidiSysexEvent& event = sysex[i];
            event.type = kVstSysExType;
            event.byteSize = sizeof event;
            event.deltaFrames = m.deltaFrames;
            event.dumpBytes = sizeof sysexBytes;
            // Where a MIDI event keeps its message bytes: a note on, which a plug-in that
            // ignored the type would play.
            event.resvd1 = 0x7F3C90;
            event.sysexDump = reinterpret_cast<char*>(const_cast<unsigned char*>(sysexBytes));
            list[2 + i] = reinterpret_cast<std::intptr_t>(&event);
        } else {
            VstMidiEvent& event = midi[i];
            event.type = kVstMidiType;
            event.byteSize = sizeof event;
            event.deltaFrames = m.deltaFrames;
            event.midiData[0] = static_cast<char>(m.status);
            event.midiData[1] = static_cast<char>(m.data1);
            event.midiData[2] = static_cast<char>(m.data2);
            list[2 + i] = reinterpret_cast<std::intptr_t>(&event);
        }
    }
    static_assert(offsetof(VstEvents, events) == 2 * sizeof(std::intptr_t), "list layout");
    return dispatch(effProcessEvents, 0, 0, list.data());
}

namespace {

Block collect(AudioBlock& block, VstInt32 frames, float before) {
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

Block LoadedSynth::render(VstInt32 frames) {
    AudioBlock block(frames > 0 ? frames : 64, kUntouched);
    AEffect* record = effect_;
    record->processReplacing(record, block.inputs(), block.outputs(), frames);
    return collect(block, frames, kUntouched);
}

Block LoadedSynth::accumulate(VstInt32 frames, float start) {
    AudioBlock block(frames > 0 ? frames : 64, start);
    AEffect* record = effect_;
    record->process(record, block.inputs(), block.outputs(), frames);
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
    for (const auto& call : host_->host.calls()) calls.emplace_back(call.opcode, call.value);
    return calls;
}

long firstNonZero(const std::vector<float>& samples, std::size_t from) {
    for (std::size_t i = from; i < samples.size(); ++i) {
        if (samples[i] != 0.0f) return static_cast<long>(i);
    }
    return -1;
}

bool bitEqual(const std::vector<float>& a, const std::vector<float>& b) {
    if (a.size() != b.size()) {
        ADD_FAILURE() << "lengths " << a.size() << " and " << b.size();
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(float)) != 0) {
            ADD_FAILURE() << "first difference at sample " << i << ": " << a[i] << " vs " << b[i];
            return false;
        }
    }
    return true;
}

double maxMagnitude(const std::vector<float>& x, std::size_t from, std::size_t to) {
    double peak = 0;
    for (std::size_t i = from; i < std::min(to, x.size()); ++i) {
        peak = std::max(peak, std::fabs(static_cast<double>(x[i])));
    }
    return peak;
}

double measurePeriod(const std::vector<float>& x, std::size_t from, double expected) {
    // Normalised autocorrelation over a fixed window, maximised over whole lags and refined by
    // a parabola through the peak and its two neighbours.
    const int maxLag = static_cast<int>(expected * 1.2) + 2;
    const std::size_t length = x.size() - from - static_cast<std::size_t>(maxLag) - 1;
    auto correlation = [&](int lag) {
        double sum = 0, a = 0, b = 0;
        for (std::size_t i = from; i < from + length; ++i) {
            sum += double(x[i]) * x[i + lag];
            a += double(x[i]) * x[i];
            b += double(x[i + lag]) * x[i + lag];
        }
        return sum / std::sqrt(a * b);
    };
    int best = 0;
    double bestValue = -2;
    for (int lag = static_cast<int>(expected * 0.8); lag <= maxLag - 1; ++lag) {
        const double value = correlation(lag);
        if (value > bestValue) bestValue = value, best = lag;
    }
    const double left = correlation(best - 1), right = correlation(best + 1);
    return best + 0.5 * (left - right) / (left - 2 * bestValue + right);
}

}  // namespace corvalen_test
