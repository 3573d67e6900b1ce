// The plug-in as a host first meets it: the entry point, the effect record, the identity
// texts and the capability answers.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/synth/synth_harness.h"

namespace corvalen::test {
namespace {

int hostCallCount = 0;
int versionQueryCount = 0;
VstIntPtr hostAnsweringZero(AEffect* effect, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    ++hostCallCount;
    if (effect == nullptr && opcode == audioMasterVersion) ++versionQueryCount;
    return 0;
}

TEST(EntryPoint, HostAnsweringZeroToVersionQueryGetsNullAndOneCall) {
    hostCallCount = 0;
    versionQueryCount = 0;
    EXPECT_EQ(pluginMain()(hostAnsweringZero), nullptr);
    EXPECT_EQ(hostCallCount, 1);
    EXPECT_EQ(versionQueryCount, 1);
}

TEST(EntryPoint, OnlyMainIsExported) {
    EXPECT_TRUE(exportsSymbol("main"));
    EXPECT_FALSE(exportsSymbol("corvalenPluginMain"));
    EXPECT_FALSE(exportsSymbol("VSTPluginMain"));
    EXPECT_FALSE(exportsSymbol("_ZN10AtestsynthC1EPFlP7AEffectiilPvfE"));
}

TEST(EntryPoint, NullCallbackGivesNull) {
    EXPECT_EQ(pluginMain()(nullptr), nullptr);
}

TEST(EntryPoint, TwoObjectsHaveTheirOwnRecords) {
    LoadedSynth first;
    LoadedSynth second;
    ASSERT_NE(first.effect(), nullptr);
    ASSERT_NE(second.effect(), nullptr);
    EXPECT_NE(first.effect(), second.effect());
    EXPECT_NE(first.effect()->object, second.effect()->object);
    // Independent state: a parameter set on one is not seen by the other.
    first.setParameter(0, 0.25f);
    EXPECT_EQ(first.getParameter(0), 0.25f);
    EXPECT_EQ(second.getParameter(0), 0.5f);
}

TEST(EffectRecord, AfterConstruction) {
    LoadedSynth synth;
    const AEffect& record = *synth.effect();
    EXPECT_EQ(record.magic, 0x56737450);
    EXPECT_EQ(record.numPrograms, 32);
    EXPECT_EQ(record.numParams, 6);
    EXPECT_EQ(record.numInputs, 0);
    EXPECT_EQ(record.numOutputs, 2);
    EXPECT_EQ(record.flags, 272);
    EXPECT_EQ(record.uniqueID, 0x4B717A74);  // 'Kqzt'
    EXPECT_EQ(record.version, 1);
    EXPECT_EQ(record.ioRatio, 1.0f);
    EXPECT_EQ(record.initialDelay, 0);
    EXPECT_NE(record.object, nullptr);
    EXPECT_NE(record.dispatcher, nullptr);
    EXPECT_NE(record.process, nullptr);
    EXPECT_NE(record.processReplacing, nullptr);
    EXPECT_NE(record.setParameter, nullptr);
    EXPECT_NE(record.getParameter, nullptr);
    EXPECT_EQ(synth.dispatch(effGetPlugCategory), kPlugCategSynth);
    EXPECT_EQ(synth.dispatch(effGetProgram), 0);
}

TEST(Identity, Texts) {
    LoadedSynth synth;
    EXPECT_EQ(synth.text(effGetEffectName), "Corvalen");
    EXPECT_EQ(synth.text(effGetVendorString), "Velquist");
    EXPECT_EQ(synth.text(effGetProductString), "Vst Corvalen");
    EXPECT_EQ(synth.dispatch(effGetVendorVersion), 1);
    char buffer[64];
    EXPECT_EQ(synth.dispatch(effGetEffectName, 0, 0, buffer), 1);
    EXPECT_EQ(synth.dispatch(effGetVendorString, 0, 0, buffer), 1);
    EXPECT_EQ(synth.dispatch(effGetProductString, 0, 0, buffer), 1);
}

TEST(Identity, CanDoAnswersOneOrMinusOne) {
    LoadedSynth synth;
    auto canDo = [&](const char* text) {
        return synth.dispatch(effCanDo, 0, 0, const_cast<char*>(text));
    };
    EXPECT_EQ(canDo("receiveVstEvents"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvents"), -1);
    EXPECT_EQ(canDo("receivevstevents"), -1);
    EXPECT_EQ(canDo("receiveVstEvent"), -1);
    EXPECT_EQ(canDo(""), -1);
    EXPECT_EQ(canDo("sendVstEvents"), -1);
}

TEST(Identity, OutputPinProperties) {
    LoadedSynth synth;
    VstPinProperties pin;
    std::memset(&pin, 0x55, sizeof pin);
    EXPECT_EQ(synth.dispatch(effGetOutputProperties, 0, 0, &pin), 1);
    EXPECT_STREQ(pin.label, "Vstx 1");
    EXPECT_EQ(pin.flags, 3);
    // Only the label and the flags are the plug-in's to write.
    EXPECT_EQ(pin.arrangementType, 0x55555555);

    VstPinProperties untouched;
    std::memset(&untouched, 0x55, sizeof untouched);
    VstPinProperties second = untouched;
    EXPECT_EQ(synth.dispatch(effGetOutputProperties, 1, 0, &second), 0);
    EXPECT_EQ(std::memcmp(&second, &untouched, sizeof second), 0);
    EXPECT_EQ(synth.dispatch(effGetOutputProperties, 0, 0, nullptr), 0);
    EXPECT_EQ(synth.dispatch(effGetInputProperties, 0, 0, &second), 0);
}

TEST(Identity, ResumeAsksForMidi) {
    LoadedSynth synth;
    auto wantMidiCalls = [&] {
        int count = 0;
        for (const auto& call : synth.hostCalls()) {
            if (call.first == audioMasterWantMidi) {
                EXPECT_EQ(call.second, 1);
                ++count;
            }
        }
        return count;
    };
    const int before = wantMidiCalls();
    synth.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(wantMidiCalls(), before + 1);
    synth.dispatch(effMainsChanged, 0, 0);  // suspend asks nothing
    EXPECT_EQ(wantMidiCalls(), before + 1);
    synth.dispatch(effMainsChanged, 0, 1);
    EXPECT_EQ(wantMidiCalls(), before + 2);
}

TEST(Identity, SampleRateAndBlockSizeDoNotChangeTheSound) {
    LoadedSynth reference;
    LoadedSynth changed;
    changed.dispatch(effSetSampleRate, 0, 0, nullptr, 96000.0f);
    changed.dispatch(effSetBlockSize, 0, 64);
    reference.sendMidi({noteOn(0, 57)});
    changed.sendMidi({noteOn(0, 57)});
    EXPECT_TRUE(bitEqual(reference.play(4096), changed.play(4096)));
}

}  // namespace
}  // namespace corvalen::test
