// The LV2 plug-in as a lilv host loads it, played against the VST 2 plug-in loaded through its
// entry point `main`: at 44,100 Hz both must give the same samples, bit for bit, for the same
// events and parameter values. Each test runs in a process of its own (CTest), and plays both
// plug-ins for the same number of frames, so their noise generators stay in step.
#include <gtest/gtest.h>
#include <lilv/lilv.h>
#include <lv2/core/lv2.h>
#include <lv2/presets/presets.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "tests/cross/phrase.h"
#include "tests/lv2/lv2_host.h"
#include "tests/support/plugin_under_test.h"
#include "tests/support/signals.h"
#include "vst_host/effect.h"

namespace corvalen::test {
namespace {

using vsthost::MidiMessage;
using vsthost::noteOn;

constexpr int kSampleRate = 44100;
constexpr int kGuard = 16;            // floats past each run's end that must stay untouched
constexpr float kUntouched = -7.25f;  // what the buffers hold before a run
const char* const kSymbols[] = {"bow_pos", "bow_pres", "mod_freq", "mod_gain", "off_gain", "level"};

MidiMessage noteOff(int frame, int note) {
    return {frame, 0x80, static_cast<std::uint8_t>(note), 0};
}

struct Stereo {
    std::vector<float> left, right;
};

class Vst2Player {
public:
    Vst2Player()
        : host_(vsthost::HostProfile::kVersionOnly), effect_(host_.open(pluginUnderTest())) {
        effect_.setUp(static_cast<float>(kSampleRate), Lv2Instance::kMaxFrames);
        effect_.resume();
    }
    float parameter(int index) { return effect_.getParameter(index); }
    void setParameter(int index, float value) { effect_.setParameter(index, value); }
    std::string programName(int program) { return effect_.text(effGetProgramNameIndexed, program); }
    void selectProgram(int program) { effect_.setProgram(program); }

    void play(int frames, const std::vector<MidiMessage>& events, Stereo& into) {
        vsthost::EventList list(std::max<std::size_t>(events.size(), 1));
        for (const MidiMessage& message : events) list.add(message);
        effect_.sendEvents(list);
        std::vector<float> left(static_cast<std::size_t>(frames) + 1), right(left.size());
        float* outputs[2] = {left.data(), right.data()};
        effect_.processReplacing(outputs, outputs, frames);
        into.left.insert(into.left.end(), left.begin(), left.begin() + frames);
        into.right.insert(into.right.end(), right.begin(), right.begin() + frames);
    }

private:
    vsthost::Host host_;
    vsthost::Effect effect_;
};

class Lv2Player {
public:
    Lv2Player() : instance_(world_, kSampleRate) {}
    Lv2World& world() { return world_; }
    Lv2Instance& instance() { return instance_; }

    // Plays one run and checks that nothing past its end was written.
    void play(int frames, const std::vector<MidiMessage>& events, Stereo& into) {
        std::vector<float> left(static_cast<std::size_t>(frames + kGuard), kUntouched);
        std::vector<float> right(left);
        instance_.run(frames, events, left.data(), right.data());
        for (int i = frames; i < frames + kGuard; ++i) {
            ASSERT_EQ(left[i], kUntouched) << "out_1 written past a run of " << frames;
            ASSERT_EQ(right[i], kUntouched) << "out_2 written past a run of " << frames;
        }
        into.left.insert(into.left.end(), left.begin(), left.begin() + frames);
        into.right.insert(into.right.end(), right.begin(), right.begin() + frames);
    }

private:
    Lv2World world_;
    Lv2Instance instance_;
};

// Bit for bit, with the first differing frame named.
void expectSameSamples(const Stereo& lv2, const Stereo& vst2) {
    ASSERT_EQ(lv2.left.size(), vst2.left.size());
    const std::size_t bytes = lv2.left.size() * sizeof(float);
    for (const auto& [mine, theirs, name] : {std::make_tuple(&lv2.left, &vst2.left, "out_1"),
                                             std::make_tuple(&lv2.right, &vst2.right, "out_2")}) {
        if (std::memcmp(mine->data(), theirs->data(), bytes) == 0) continue;
        const auto differ = std::mismatch(mine->begin(), mine->end(), theirs->begin());
        const auto frame = differ.first - mine->begin();
        ADD_FAILURE() << name << " differs first at frame " << frame << ": LV2 " << *differ.first
                      << ", VST 2 " << *differ.second;
    }
    EXPECT_EQ(std::memcmp(lv2.left.data(), lv2.right.data(), bytes), 0) << "outputs differ";
}

// Both plug-ins with the same parameter values: the LV2 ports' defaults, given to the VST 2
// plug-in by setParameter, as a host restoring the values would.
class Lv2AgainstVst2 : public ::testing::Test {
protected:
    void SetUp() override {
        for (int index = 0; index < 6; ++index) {
            vst2.setParameter(index, lv2.instance().control(kSymbols[index]));
        }
    }
    void playBoth(int frames, const std::vector<MidiMessage>& lv2Events,
                  const std::vector<MidiMessage>& vst2Events) {
        lv2.play(frames, lv2Events, lv2Out);
        vst2.play(frames, vst2Events, vst2Out);
    }

    Lv2Player lv2;
    Vst2Player vst2;
    Stereo lv2Out, vst2Out;
};

TEST_F(Lv2AgainstVst2, ThePhrasePlaysBitForBit) {
    for (const PhraseBlock& block : phraseBlocks()) {
        for (const PhraseParameterChange& change : block.changes) {
            lv2.instance().setControl(kSymbols[change.index], change.value);
            vst2.setParameter(change.index, change.value);
        }
        playBoth(block.frames, block.notes, block.notes);
    }
    expectSameSamples(lv2Out, vst2Out);
    EXPECT_EQ(lv2.instance().latency(), 0.0f);
}

TEST_F(Lv2AgainstVst2, SeveralEventsAtOneFrameActInTheirOrderAtThatFrame) {
    playBoth(300, {noteOn(40, 60, 90), noteOff(40, 60), noteOn(40, 64, 120), noteOn(40, 67, 30)},
             {noteOn(40, 60, 90), noteOff(40, 60), noteOn(40, 64, 120), noteOn(40, 67, 30)});
    playBoth(4000, {noteOff(17, 64), noteOff(17, 67), noteOn(17, 50, 70)},
             {noteOff(17, 64), noteOff(17, 67), noteOn(17, 50, 70)});
    expectSameSamples(lv2Out, vst2Out);
    // Not at the run's start: the first 40 frames are the silence before the note.
    EXPECT_EQ(lv2Out.left[39], 0.0f);
    EXPECT_NE(lv2Out.left[300 + 100], 0.0f);
}

TEST_F(Lv2AgainstVst2, UnsortedEventsPlayAtTheirFrames) {
    // Equal frames keep the host's order: the release of 60 at frame 100 comes before 62.
    playBoth(1024, {noteOn(700, 64), noteOn(10, 60), noteOff(100, 60), noteOn(100, 62)},
             {noteOn(10, 60), noteOff(100, 60), noteOn(100, 62), noteOn(700, 64)});
    playBoth(2048, {noteOff(1500, 64), noteOn(900, 57)}, {noteOn(900, 57), noteOff(1500, 64)});
    expectSameSamples(lv2Out, vst2Out);
}

TEST_F(Lv2AgainstVst2, FramesOutsideTheRunActAtItsFirstOrLastFrame) {
    playBoth(256, {noteOn(-30, 60)}, {noteOn(0, 60)});
    // A release past the end still ends the note, in this run.
    playBoth(256, {noteOff(256 + 1000, 60)}, {noteOff(255, 60)});
    playBoth(3000, {noteOn(1 << 30, 72)}, {noteOn(2999, 72)});
    playBoth(3000, {}, {});
    expectSameSamples(lv2Out, vst2Out);
}

TEST_F(Lv2AgainstVst2, RunOfZeroFramesWritesNothingAndKeepsItsEvents) {
    // The guard check in play() covers every float of the buffer for a run of 0.
    playBoth(0, {noteOn(0, 60, 100)}, {noteOn(0, 60, 100)});
    lv2.instance().setControl("level", 0.25f);
    vst2.setParameter(5, 0.25f);
    playBoth(0, {}, {});
    playBoth(2048, {}, {});
    expectSameSamples(lv2Out, vst2Out);
    EXPECT_NE(*std::max_element(lv2Out.left.begin(), lv2Out.left.end()), 0.0f)
        << "the note-on of the run of 0 frames was lost";
}

TEST_F(Lv2AgainstVst2, APresetAppliedBetweenRunsSetsThePortsAndSoChangesTheSound) {
    const float changed[6] = {0.9f, 0.3f, 0.7f, 0.6f, 0.2f, 0.4f};
    for (int index = 0; index < 6; ++index) {
        lv2.instance().setControl(kSymbols[index], changed[index]);
        vst2.setParameter(index, changed[index]);
    }
    playBoth(3000, {noteOn(5, 57, 110)}, {noteOn(5, 57, 110)});
    ASSERT_TRUE(lv2.instance().applyPreset("urn:velquist:corvalen#program-05"));
    // The VST 2 equivalent of the preset: its program's values given by setParameter (selecting
    // the program would change only what the host reads back).
    vst2.selectProgram(4);
    for (int index = 0; index < 6; ++index) {
        const float value = vst2.parameter(index);
        EXPECT_EQ(lv2.instance().control(kSymbols[index]), value) << kSymbols[index];
        vst2.setParameter(index, value);
    }
    playBoth(4000, {noteOn(2000, 62, 90)}, {noteOn(2000, 62, 90)});
    expectSameSamples(lv2Out, vst2Out);
}

// First frame whose magnitude reaches a tenth of the peak: the onset, clear of the resampling
// filter's ringing before it.
long onsetFrame(const std::vector<float>& x) {
    const double threshold = 0.1 * peakMagnitude(x);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) >= threshold) return static_cast<long>(i);
    }
    return -1;
}

// At 48 kHz the engine still computes at 44.1 kHz and the adapter converts: concert pitch (the
// VST 2 plug-in's at 44.1 kHz) and the note's onset where the latency port says.
TEST(Lv2At48000, KeepsThePitchAndReportsTheOnsetsDelay) {
    constexpr int kRate = 48000, kNoteFrame = 1000, kBlock = 512;
    Lv2World world;
    Lv2Instance instance(world, kRate);
    Stereo lv2Out;
    std::vector<float> left(kBlock), right(kBlock);
    for (int start = 0; start < kRate; start += kBlock) {
        std::vector<MidiMessage> events;
        if (kNoteFrame >= start && kNoteFrame < start + kBlock) {
            events.push_back(noteOn(kNoteFrame - start, 57, 100));
        }
        instance.run(kBlock, events, left.data(), right.data());
        lv2Out.left.insert(lv2Out.left.end(), left.begin(), left.end());
    }
    const float latency = instance.latency();
    ASSERT_GT(latency, 0.0f);

    // The same note at the same time at 44.1 kHz, from the VST 2 plug-in.
    constexpr int kNoteFrameAt44100 = 919;  // round(1000 x 44100 / 48000)
    Vst2Player vst2;
    for (int index = 0; index < 6; ++index) {
        vst2.setParameter(index, instance.control(kSymbols[index]));
    }
    Stereo vst2Out;
    vst2.play(kSampleRate, {noteOn(kNoteFrameAt44100, 57, 100)}, vst2Out);

    const double period48 = measurePeriod(lv2Out.left, kRate / 2, kRate / 220.0);
    const double period44 = measurePeriod(vst2Out.left, kSampleRate / 2, kSampleRate / 220.0);
    const double cents = 1200.0 * std::log2((kRate / period48) / (kSampleRate / period44));
    EXPECT_LT(std::fabs(cents), 1.0)
        << "48 kHz: " << kRate / period48 << " Hz, 44.1 kHz: " << kSampleRate / period44 << " Hz";

    std::cout << "48 kHz: " << kRate / period48 << " Hz (" << cents << " cents), onset at frame "
              << onsetFrame(lv2Out.left) << ", latency " << latency << "\n";
    const double expectedOnset =
        onsetFrame(vst2Out.left) * static_cast<double>(kRate) / kSampleRate + latency;
    EXPECT_NEAR(static_cast<double>(onsetFrame(lv2Out.left)), expectedOnset, 2.0)
        << "latency port: " << latency;
}

// What a host reads from the bundle: the contract of URIs, ports, features and presets.
TEST(Lv2Bundle, DescribesTheInstrumentItsPortsAndThe32ProgramsAsPresets) {
    Lv2World world;
    const LilvPlugin* plugin = world.plugin();
    ASSERT_NE(plugin, nullptr);
    LilvWorld* w = world.world();
    auto text = [](LilvNode* node) {
        std::string value = node != nullptr ? lilv_node_as_string(node) : "(none)";
        lilv_node_free(node);
        return value;
    };
    EXPECT_EQ(text(lilv_plugin_get_name(plugin)), "Corvalen");
    EXPECT_EQ(text(lilv_plugin_get_author_name(plugin)), "Velquist");
    EXPECT_STREQ(lilv_node_as_uri(lilv_plugin_class_get_uri(lilv_plugin_get_class(plugin))),
                 LV2_CORE__InstrumentPlugin);
    const LilvNode* uri = lilv_plugin_get_uri(plugin);
    for (const char* version : {LV2_CORE__minorVersion, LV2_CORE__microVersion}) {
        LilvNode* predicate = lilv_new_uri(w, version);
        const int value = std::stoi(text(lilv_world_get(w, uri, predicate, nullptr)));
        lilv_node_free(predicate);
        EXPECT_TRUE(value > 0 && value % 2 == 0) << version << " " << value << " marks no release";
    }
    LilvNodes* required = lilv_plugin_get_required_features(plugin);
    ASSERT_EQ(lilv_nodes_size(required), 1u);
    EXPECT_STREQ(lilv_node_as_uri(lilv_nodes_get(required, lilv_nodes_begin(required))),
                 LV2_URID__map);
    lilv_nodes_free(required);
    LilvNodes* optional = lilv_plugin_get_optional_features(plugin);
    LilvNode* hardRt = lilv_new_uri(w, LV2_CORE__hardRTCapable);
    LilvNode* isLive = lilv_new_uri(w, LV2_CORE__isLive);
    EXPECT_TRUE(lilv_nodes_contains(optional, hardRt));
    EXPECT_FALSE(lilv_nodes_contains(optional, isLive));
    lilv_nodes_free(optional);
    lilv_node_free(hardRt);
    lilv_node_free(isLive);

    const std::vector<std::string> symbols = {"midi_in",  "out_1",    "out_2",    "bow_pos",
                                              "bow_pres", "mod_freq", "mod_gain", "off_gain",
                                              "level",    "latency"};
    ASSERT_EQ(lilv_plugin_get_num_ports(plugin), symbols.size());
    for (std::uint32_t index = 0; index < symbols.size(); ++index) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, index);
        EXPECT_EQ(lilv_node_as_string(lilv_port_get_symbol(plugin, port)), symbols[index]);
    }

    // Every preset, in URI order, against the VST 2 program of the same number.
    LilvNode* presetClass = lilv_new_uri(w, LV2_PRESETS__Preset);
    LilvNode* label = lilv_new_uri(w, LILV_NS_RDFS "label");
    LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
    std::vector<std::string> uris;
    LILV_FOREACH(nodes, i, presets) uris.push_back(lilv_node_as_uri(lilv_nodes_get(presets, i)));
    lilv_nodes_free(presets);
    std::sort(uris.begin(), uris.end());
    ASSERT_EQ(uris.size(), 32u);
    // The ports start at program 0's values, as a new VST 2 plug-in holds them.
    Lv2Instance instance(world, kSampleRate);
    Vst2Player vst2;
    for (int index = 0; index < 6; ++index) {
        EXPECT_EQ(instance.control(kSymbols[index]), vst2.parameter(index)) << kSymbols[index];
    }
    for (int program = 0; program < 32; ++program) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "urn:velquist:corvalen#program-%02d", program + 1);
        ASSERT_EQ(uris[program], expected);
        LilvNode* preset = lilv_new_uri(w, expected);
        lilv_world_load_resource(w, preset);
        const std::string shown = text(lilv_world_get(w, preset, label, nullptr));
        lilv_node_free(preset);
        EXPECT_EQ(shown, std::string(expected + std::strlen(expected) - 2) + " " +
                             vst2.programName(program));
        ASSERT_TRUE(instance.applyPreset(expected));
        vst2.selectProgram(program);
        for (int index = 0; index < 6; ++index) {
            EXPECT_EQ(instance.control(kSymbols[index]), vst2.parameter(index))
                << expected << " " << kSymbols[index];
        }
    }
    lilv_node_free(presetClass);
    lilv_node_free(label);
}

}  // namespace
}  // namespace corvalen::test
