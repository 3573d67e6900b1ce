// The calls the effect classes make back into the host: opcode and argument positions of each,
// how the host's answer becomes the result, and the answers without a host callback.
#include <cstring>

#include "tests/vst_plugin/effect_fixture.h"

namespace corvalen::test {
namespace {

std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

void* token(std::uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

constexpr VstInt32 kArgA = 7;
constexpr VstInt32 kArgB = 11;
constexpr float kOpt = 0.75f;
void* const kPtr = token(0x6000);
void* const kArgPointer = token(0x7000);

enum class Result { kAnswer, kNonZero, kNone, kStoredRate, kStoredBlockSize };

struct ServiceCase {
    HostService service;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    Result result;
};

const ServiceCase kServiceCases[] = {
    {kServiceSetParameterAutomated, audioMasterAutomate, kArgA, 0, nullptr, kOpt, Result::kNone},
    {kServiceGetCurrentUniqueId, audioMasterCurrentId, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceMasterIdle, audioMasterIdle, 0, 0, nullptr, 0.0f, Result::kNone},
    {kServiceWantEvents, audioMasterWantMidi, 0, kArgA, nullptr, 0.0f, Result::kNone},
    {kServiceGetTimeInfo, audioMasterGetTime, 0, kArgA, nullptr, 0.0f, Result::kAnswer},
    {kServiceTempoAt, audioMasterTempoAt, 0, kArgA, nullptr, 0.0f, Result::kAnswer},
    {kServiceGetNumAutomatableParameters, audioMasterGetNumAutomatableParameters, 0, 0, nullptr,
     0.0f, Result::kAnswer},
    {kServiceGetParameterQuantization, audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f,
     Result::kAnswer},
    {kServiceIoChanged, audioMasterIOChanged, 0, 0, nullptr, 0.0f, Result::kNonZero},
    {kServiceNeedIdle, audioMasterNeedIdle, 0, 0, nullptr, 0.0f, Result::kNonZero},
    {kServiceSizeWindow, audioMasterSizeWindow, kArgA, kArgB, nullptr, 0.0f, Result::kNonZero},
    {kServiceUpdateSampleRate, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f, Result::kStoredRate},
    {kServiceUpdateBlockSize, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f,
     Result::kStoredBlockSize},
    {kServiceGetInputLatency, audioMasterGetInputLatency, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceGetOutputLatency, audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceGetPreviousPlug, audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceGetNextPlug, audioMasterGetNextPlug, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceWillProcessReplacing, audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f,
     Result::kAnswer},
    {kServiceGetCurrentProcessLevel, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f,
     Result::kAnswer},
    {kServiceGetAutomationState, audioMasterGetAutomationState, 0, 0, nullptr, 0.0f,
     Result::kAnswer},
    // index numNewAudioFiles, value numAudioFiles
    {kServiceOfflineStart, audioMasterOfflineStart, kArgB, kArgA, kPtr, 0.0f, Result::kNonZero},
    // index readSource (argB != 0 gives 1), value option
    {kServiceOfflineRead, audioMasterOfflineRead, 1, kArgA, kPtr, 0.0f, Result::kNonZero},
    {kServiceOfflineWrite, audioMasterOfflineWrite, 0, kArgA, kPtr, 0.0f, Result::kNonZero},
    {kServiceOfflineGetCurrentPass, audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f,
     Result::kNonZero},
    {kServiceOfflineGetCurrentMetaPass, audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f,
     Result::kNonZero},
    {kServiceSetOutputSamplerate, audioMasterSetOutputSampleRate, 0, 0, nullptr, kOpt,
     Result::kNone},
    // the input arrangement pointer travels as value
    {kServiceGetSpeakerArrangement, audioMasterGetSpeakerArrangement, 0,
     reinterpret_cast<VstIntPtr>(kArgPointer), kPtr, 0.0f, Result::kNonZero},
    {kServiceGetHostVendorString, audioMasterGetVendorString, 0, 0, kPtr, 0.0f, Result::kNonZero},
    {kServiceGetHostProductString, audioMasterGetProductString, 0, 0, kPtr, 0.0f, Result::kNonZero},
    {kServiceGetHostVendorVersion, audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f,
     Result::kAnswer},
    {kServiceHostVendorSpecific, audioMasterVendorSpecific, kArgA, kArgB, kPtr, kOpt,
     Result::kAnswer},
    {kServiceCanHostDo, audioMasterCanDo, 0, 0, kPtr, 0.0f, Result::kNonZero},
    {kServiceGetHostLanguage, audioMasterGetLanguage, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceOpenWindow, audioMasterOpenWindow, 0, 0, kPtr, 0.0f, Result::kAnswer},
    {kServiceCloseWindow, audioMasterCloseWindow, 0, 0, kPtr, 0.0f, Result::kNonZero},
    {kServiceGetDirectory, audioMasterGetDirectory, 0, 0, nullptr, 0.0f, Result::kAnswer},
    {kServiceUpdateDisplay, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f, Result::kNonZero},
};

class HostServicesTest : public TestEffectFixture {
protected:
    void SetUp() override {
        TestEffectFixture::SetUp();
        probe->argA = kArgA;
        probe->argB = kArgB;
        probe->argPointer = kArgPointer;
        probe->sampleRate = 0.0f;
    }

    VstIntPtr call(Effect& target, HostService service) {
        return target.dispatch(effVendorSpecific, kCommandCallHost, service, kPtr, kOpt);
    }
    VstIntPtr call(HostService service) { return call(*effect, service); }

    VstIntPtr expectedResult(const ServiceCase& c, VstIntPtr answer) const {
        switch (c.result) {
            case Result::kAnswer:
                return answer;
            case Result::kNonZero:
                return answer != 0 ? 1 : 0;
            case Result::kStoredBlockSize:
                return probe->blockSize;
            case Result::kNone:
            case Result::kStoredRate:
                return 0;
        }
        return 0;
    }
};

TEST_F(HostServicesTest, EachServiceSendsItsOpcodeAndArgumentsWithTheOwnRecord) {
    for (const ServiceCase& c : kServiceCases) {
        SCOPED_TRACE(c.service);
        host.clearCalls();
        call(c.service);
        const auto calls = host.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].effect, effect->record());
        EXPECT_EQ(calls[0].opcode, c.opcode);
        EXPECT_EQ(calls[0].index, c.index);
        EXPECT_EQ(calls[0].value, c.value);
        EXPECT_EQ(calls[0].ptr, c.ptr);
        EXPECT_EQ(floatBits(calls[0].opt), floatBits(c.opt));
    }
}

TEST_F(HostServicesTest, AnswersBecomeResultsAsEachServiceDefines) {
    for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{5}, VstIntPtr{-3}}) {
        for (const ServiceCase& c : kServiceCases) {
            SCOPED_TRACE(c.service);
            host.setAnswer(c.opcode, answer);
            EXPECT_EQ(call(c.service), expectedResult(c, answer)) << "answer " << answer;
        }
    }
}

TEST_F(HostServicesTest, StreamSettingQueriesReturnTheStoredValues) {
    effect->dispatch(effSetBlockSizeAndSampleRate, 0, 333, nullptr, 22050.0f);
    host.setAnswer(audioMasterGetSampleRate, 96000);
    host.setAnswer(audioMasterGetBlockSize, 64);
    call(kServiceUpdateSampleRate);
    EXPECT_EQ(probe->lastDouble, 22050.0);
    EXPECT_EQ(call(kServiceUpdateBlockSize), 333);
}

TEST_F(HostServicesTest, SampleRateQuerySeesAChangeTheHostMakesMeanwhile) {
    // A host may answer the rate query by sending opcode 10 from inside the callback.
    AEffect* record = effect->record();
    host.setObserver([record](const HostCall& hostCall) {
        if (hostCall.opcode == audioMasterGetSampleRate) {
            record->dispatcher(record, effSetSampleRate, 0, 0, nullptr, 88200.0f);
        }
    });
    call(kServiceUpdateSampleRate);
    EXPECT_EQ(probe->lastDouble, 88200.0);
}

TEST_F(HostServicesTest, MasterVersionIsOneWhenTheHostAnswersZero) {
    host.setAnswer(audioMasterVersion, 0);
    EXPECT_EQ(call(kServiceGetMasterVersion), 1);
    host.setAnswer(audioMasterVersion, 2400);
    EXPECT_EQ(call(kServiceGetMasterVersion), 2400);
    const auto calls = host.callsWithOpcode(audioMasterVersion);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].effect, effect->record());
}

TEST_F(HostServicesTest, PinConnectedMeansTheHostAnswersZero) {
    host.setAnswer(audioMasterPinConnected, 0);
    EXPECT_EQ(call(kServiceIsInputConnected), 1);
    EXPECT_EQ(call(kServiceIsOutputConnected), 1);
    host.setAnswer(audioMasterPinConnected, 1);
    EXPECT_EQ(call(kServiceIsInputConnected), 0);
    EXPECT_EQ(call(kServiceIsOutputConnected), 0);
    const auto calls = host.callsWithOpcode(audioMasterPinConnected);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].index, kArgA);
    EXPECT_EQ(calls[0].value, 0);  // input
    EXPECT_EQ(calls[1].index, kArgA);
    EXPECT_EQ(calls[1].value, 1);  // output
}

TEST_F(HostServicesTest, OfflineReadSendsIndexZeroWhenNotReadingTheSource) {
    probe->argB = 0;
    call(kServiceOfflineRead);
    const auto calls = host.callsWithOpcode(audioMasterOfflineRead);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 0);
}

TEST_F(HostServicesTest, AutomatedChangeSetsTheParameterBeforeTellingTheHost) {
    int loggedBeforeHostCall = -1;
    Probe* observed = probe;
    host.setObserver([&](const HostCall& hostCall) {
        if (hostCall.opcode == audioMasterAutomate) loggedBeforeHostCall = observed->callCount;
    });
    call(kServiceSetParameterAutomated);
    EXPECT_EQ(loggedBeforeHostCall, 1);
    ASSERT_EQ(probe->callCount, 1);
    EXPECT_EQ(probe->calls[0].operation, kOpSetParameter);
    EXPECT_EQ(probe->calls[0].intArg1, kArgA);
    EXPECT_EQ(floatBits(probe->calls[0].floatArg), floatBits(kOpt));
}

TEST_F(HostServicesTest, WithoutAHostCallbackNothingIsCalledAndDefaultsAreAnswered) {
    Effect orphan(create(kRecordingEffect, nullptr));
    ASSERT_TRUE(orphan.isOpen());
    Probe* orphanProbe = probeOf(orphan);
    orphanProbe->argA = kArgA;
    orphanProbe->argB = kArgB;
    orphanProbe->argPointer = kArgPointer;
    for (const ServiceCase& c : kServiceCases) {
        const VstIntPtr expected = c.result == Result::kStoredBlockSize ? 1024 : 0;
        EXPECT_EQ(call(orphan, c.service), expected) << c.service;
    }
    call(orphan, kServiceUpdateSampleRate);
    EXPECT_EQ(orphanProbe->lastDouble, 44100.0);
    EXPECT_EQ(call(orphan, kServiceGetMasterVersion), 1);
    EXPECT_EQ(call(orphan, kServiceIsInputConnected), 1);
    EXPECT_EQ(call(orphan, kServiceIsOutputConnected), 1);
    // setParameterAutomated still reaches setParameter.
    ASSERT_GE(orphanProbe->callCount, 1);
    EXPECT_EQ(orphanProbe->calls[0].operation, kOpSetParameter);
    EXPECT_TRUE(host.calls().empty());
}

struct SetterCase {
    Setter setter;
    VstInt32 bit;
};

TEST_F(HostServicesTest, EachFlagSetterTouchesOnlyItsOwnBit) {
    const SetterCase setters[] = {
        {kSetHasClip, effFlagsHasClip},
        {kSetHasVu, effFlagsHasVu},
        {kSetCanMono, effFlagsCanMono},
        {kSetCanProcessReplacing, effFlagsCanReplacing},
        {kSetProgramsAreChunks, effFlagsProgramChunks},
        {kSetIsSynth, effFlagsIsSynth},
        {kSetNoTail, effFlagsNoSoundInStop},
        {kSetWantAsyncOperation, effFlagsExtIsAsync},
        {kSetHasExternalBuffer, effFlagsExtHasBuffer},
    };
    AEffect* record = effect->record();
    for (const SetterCase& s : setters) {
        SCOPED_TRACE(s.setter);
        for (VstInt32 others : {VstInt32{0}, ~VstInt32{0}}) {
            record->flags = others;
            probe->argA = 1;
            effect->dispatch(effVendorSpecific, kCommandSetter, s.setter);
            EXPECT_EQ(record->flags, others | s.bit);
            probe->argA = 0;
            effect->dispatch(effVendorSpecific, kCommandSetter, s.setter);
            EXPECT_EQ(record->flags, others & ~s.bit);
        }
    }
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(HostServicesTest, FieldSettersWriteTheirRecordFields) {
    AEffect* record = effect->record();
    const AEffect before = *record;
    const std::pair<Setter, VstInt32 AEffect::*> setters[] = {
        {kSetUniqueID, &AEffect::uniqueID},
        {kSetNumInputs, &AEffect::numInputs},
        {kSetNumOutputs, &AEffect::numOutputs},
        {kSetRealtimeQualities, &AEffect::realQualities},
        {kSetOfflineQualities, &AEffect::offQualities},
        {kSetInitialDelay, &AEffect::initialDelay},
    };
    VstInt32 value = 1000;
    for (const auto& [setter, field] : setters) {
        probe->argA = ++value;
        effect->dispatch(effVendorSpecific, kCommandSetter, setter);
        EXPECT_EQ(record->*field, value) << setter;
    }
    AEffect expected = before;
    value = 1000;
    for (const auto& entry : setters) expected.*(entry.second) = ++value;
    EXPECT_EQ(std::memcmp(&expected, record, sizeof expected), 0);
}

}  // namespace
}  // namespace corvalen::test
