// The calls the effect classes make back into the host, made as the plug-in's own code makes
// them: opcode and argument positions of each, how the host's answer becomes the result, the
// answers without a host callback, and the setters of the record's fields.
#include <cstring>
#include <utility>

#include "tests/vst_plugin/recording_effect.h"

namespace corvalen::test {
namespace {

constexpr VstInt32 kArgA = 7;
constexpr VstInt32 kArgB = 11;
constexpr float kOpt = 0.75f;
void* const kPtr = token(0x6000);
void* const kArgPointer = token(0x7000);

enum class Result { kAnswer, kNonZero, kNone, kStoredRate, kStoredBlockSize };

struct ServiceCase {
    const char* name;
    VstIntPtr (*call)(RecordingEffect&);
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
    Result result;
};

// A service called with the arguments above, and its name for the failure message.
// clang-format off
#define SERVICE(call) #call, [](RecordingEffect& e) { return word(e.call); }
#define ACTION(call) #call, [](RecordingEffect& e) { return e.call, VstIntPtr{0}; }
// clang-format on

const ServiceCase kServiceCases[] = {
    {ACTION(setParameterAutomated(kArgA, kOpt)), audioMasterAutomate, kArgA, 0, nullptr, kOpt,
     Result::kNone},
    {SERVICE(getCurrentUniqueId()), audioMasterCurrentId, 0, 0, nullptr, 0, Result::kAnswer},
    {ACTION(masterIdle()), audioMasterIdle, 0, 0, nullptr, 0, Result::kNone},
    {ACTION(wantEvents(kArgA)), audioMasterWantMidi, 0, kArgA, nullptr, 0, Result::kNone},
    {SERVICE(getTimeInfo(kArgA)), audioMasterGetTime, 0, kArgA, nullptr, 0, Result::kAnswer},
    {SERVICE(tempoAt(kArgA)), audioMasterTempoAt, 0, kArgA, nullptr, 0, Result::kAnswer},
    {SERVICE(getNumAutomatableParameters()), audioMasterGetNumAutomatableParameters, 0, 0, nullptr,
     0, Result::kAnswer},
    {SERVICE(getParameterQuantization()), audioMasterGetParameterQuantization, 0, 0, nullptr, 0,
     Result::kAnswer},
    {SERVICE(ioChanged()), audioMasterIOChanged, 0, 0, nullptr, 0, Result::kNonZero},
    {SERVICE(needIdle()), audioMasterNeedIdle, 0, 0, nullptr, 0, Result::kNonZero},
    {SERVICE(sizeWindow(kArgA, kArgB)), audioMasterSizeWindow, kArgA, kArgB, nullptr, 0,
     Result::kNonZero},
    {SERVICE(updateSampleRate()), audioMasterGetSampleRate, 0, 0, nullptr, 0, Result::kStoredRate},
    {SERVICE(updateBlockSize()), audioMasterGetBlockSize, 0, 0, nullptr, 0,
     Result::kStoredBlockSize},
    {SERVICE(getInputLatency()), audioMasterGetInputLatency, 0, 0, nullptr, 0, Result::kAnswer},
    {SERVICE(getOutputLatency()), audioMasterGetOutputLatency, 0, 0, nullptr, 0, Result::kAnswer},
    {SERVICE(getPreviousPlug()), audioMasterGetPreviousPlug, 0, 0, nullptr, 0, Result::kAnswer},
    {SERVICE(getNextPlug()), audioMasterGetNextPlug, 0, 0, nullptr, 0, Result::kAnswer},
    {SERVICE(willProcessReplacing()), audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0,
     Result::kAnswer},
    {SERVICE(getCurrentProcessLevel()), audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0,
     Result::kAnswer},
    {SERVICE(getAutomationState()), audioMasterGetAutomationState, 0, 0, nullptr, 0,
     Result::kAnswer},
    // index numNewAudioFiles, value numAudioFiles
    {SERVICE(offlineStart(static_cast<VstAudioFile*>(kPtr), kArgA, kArgB)), audioMasterOfflineStart,
     kArgB, kArgA, kPtr, 0, Result::kNonZero},
    // index readSource, value option
    {SERVICE(offlineRead(static_cast<VstOfflineTask*>(kPtr), kArgA, true)), audioMasterOfflineRead,
     1, kArgA, kPtr, 0, Result::kNonZero},
    {SERVICE(offlineWrite(static_cast<VstOfflineTask*>(kPtr), kArgA)), audioMasterOfflineWrite, 0,
     kArgA, kPtr, 0, Result::kNonZero},
    {SERVICE(offlineGetCurrentPass()), audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0,
     Result::kNonZero},
    {SERVICE(offlineGetCurrentMetaPass()), audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0,
     Result::kNonZero},
    {ACTION(setOutputSamplerate(kOpt)), audioMasterSetOutputSampleRate, 0, 0, nullptr, kOpt,
     Result::kNone},
    // the input arrangement pointer travels as value
    {SERVICE(getSpeakerArrangement(static_cast<VstSpeakerArrangement**>(kArgPointer),
                                   static_cast<VstSpeakerArrangement**>(kPtr))),
     audioMasterGetSpeakerArrangement, 0, word(kArgPointer), kPtr, 0, Result::kNonZero},
    {SERVICE(getHostVendorString(static_cast<char*>(kPtr))), audioMasterGetVendorString, 0, 0, kPtr,
     0, Result::kNonZero},
    {SERVICE(getHostProductString(static_cast<char*>(kPtr))), audioMasterGetProductString, 0, 0,
     kPtr, 0, Result::kNonZero},
    {SERVICE(getHostVendorVersion()), audioMasterGetVendorVersion, 0, 0, nullptr, 0,
     Result::kAnswer},
    {SERVICE(hostVendorSpecific(kArgA, kArgB, kPtr, kOpt)), audioMasterVendorSpecific, kArgA, kArgB,
     kPtr, kOpt, Result::kAnswer},
    {SERVICE(canHostDo(static_cast<const char*>(kPtr))), audioMasterCanDo, 0, 0, kPtr, 0,
     Result::kNonZero},
    {SERVICE(getHostLanguage()), audioMasterGetLanguage, 0, 0, nullptr, 0, Result::kAnswer},
    {SERVICE(openWindow(static_cast<VstWindow*>(kPtr))), audioMasterOpenWindow, 0, 0, kPtr, 0,
     Result::kAnswer},
    {SERVICE(closeWindow(static_cast<VstWindow*>(kPtr))), audioMasterCloseWindow, 0, 0, kPtr, 0,
     Result::kNonZero},
    {SERVICE(getDirectory()), audioMasterGetDirectory, 0, 0, nullptr, 0, Result::kAnswer},
    {SERVICE(updateDisplay()), audioMasterUpdateDisplay, 0, 0, nullptr, 0, Result::kNonZero},
};

#undef SERVICE
#undef ACTION

class HostServices : public RecordingFixture {
protected:
    VstIntPtr expectedResult(const ServiceCase& c, VstIntPtr answer) const {
        switch (c.result) {
            case Result::kAnswer:
                return answer;
            case Result::kNonZero:
                return answer != 0 ? 1 : 0;
            case Result::kStoredRate:
                return static_cast<VstIntPtr>(object->rate());
            case Result::kStoredBlockSize:
                return object->block();
            case Result::kNone:
                return 0;
        }
        return 0;
    }
};

TEST_F(HostServices, EachServiceSendsItsOpcodeAndArgumentsWithTheOwnRecord) {
    for (const ServiceCase& c : kServiceCases) {
        SCOPED_TRACE(c.name);
        host.clearCalls();
        c.call(*object);
        const auto calls = host.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].effect, effect.record());
        EXPECT_EQ(calls[0].opcode, c.opcode);
        EXPECT_EQ(calls[0].index, c.index);
        EXPECT_EQ(calls[0].value, c.value);
        EXPECT_EQ(calls[0].ptr, c.ptr);
        EXPECT_EQ(bitsOf(calls[0].opt), bitsOf(c.opt));
    }
}

TEST_F(HostServices, AnswersBecomeResultsAsEachServiceDefines) {
    // The stored settings differ from anything the host answers.
    effect.dispatch(effSetBlockSizeAndSampleRate, 0, 333, nullptr, 22050.0f);
    for (VstIntPtr answer : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{5}, VstIntPtr{-3}}) {
        for (const ServiceCase& c : kServiceCases) {
            SCOPED_TRACE(c.name);
            host.setAnswer(c.opcode, answer);
            EXPECT_EQ(c.call(*object), expectedResult(c, answer)) << "answer " << answer;
        }
        EXPECT_EQ(object->updateSampleRate(), 22050.0);  // the rate whole, not as an integer
    }
}

TEST_F(HostServices, SampleRateQuerySeesAChangeTheHostMakesMeanwhile) {
    // A host may answer the rate query by sending opcode 10 from inside the callback.
    AEffect* record = effect.record();
    host.setObserver([record](const vsthost::HostCall& call) {
        if (call.opcode == audioMasterGetSampleRate) {
            record->dispatcher(record, effSetSampleRate, 0, 0, nullptr, 88200.0f);
        }
    });
    EXPECT_EQ(object->updateSampleRate(), 88200.0);
}

TEST_F(HostServices, MasterVersionIsOneWhenTheHostAnswersZero) {
    host.setAnswer(audioMasterVersion, 0);
    EXPECT_EQ(object->getMasterVersion(), 1);
    host.setAnswer(audioMasterVersion, 2400);
    EXPECT_EQ(object->getMasterVersion(), 2400);
    const auto calls = host.callsWithOpcode(audioMasterVersion);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].effect, effect.record());
}

TEST_F(HostServices, PinConnectedMeansTheHostAnswersZero) {
    host.setAnswer(audioMasterPinConnected, 0);
    EXPECT_TRUE(object->isInputConnected(kArgA));
    EXPECT_TRUE(object->isOutputConnected(kArgA));
    host.setAnswer(audioMasterPinConnected, 1);
    EXPECT_FALSE(object->isInputConnected(kArgA));
    EXPECT_FALSE(object->isOutputConnected(kArgA));
    const auto calls = host.callsWithOpcode(audioMasterPinConnected);
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].index, kArgA);
    EXPECT_EQ(calls[0].value, 0);  // input
    EXPECT_EQ(calls[1].index, kArgA);
    EXPECT_EQ(calls[1].value, 1);  // output
}

TEST_F(HostServices, OfflineReadSendsIndexZeroWhenNotReadingTheSource) {
    object->offlineRead(nullptr, kArgA, false);
    const auto calls = host.callsWithOpcode(audioMasterOfflineRead);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].index, 0);
}

TEST_F(HostServices, AutomatedChangeSetsTheParameterBeforeTellingTheHost) {
    std::size_t loggedBeforeHostCall = 0;
    host.setObserver([&](const vsthost::HostCall& call) {
        if (call.opcode == audioMasterAutomate) loggedBeforeHostCall = object->calls.size();
    });
    object->setParameterAutomated(kArgA, kOpt);
    EXPECT_EQ(loggedBeforeHostCall, 1u);
    EXPECT_EQ(onlyCall().operation, "setParameter");
    EXPECT_EQ(onlyCall().args, Words{kArgA});
    EXPECT_EQ(bitsOf(onlyCall().value), bitsOf(kOpt));
}

TEST_F(HostServices, WithoutAHostCallbackNothingIsCalledAndDefaultsAreAnswered) {
    RecordingEffect orphan(nullptr);
    for (const ServiceCase& c : kServiceCases) {
        VstIntPtr expected = 0;
        if (c.result == Result::kStoredRate) expected = 44100;
        if (c.result == Result::kStoredBlockSize) expected = 1024;
        EXPECT_EQ(c.call(orphan), expected) << c.name;
    }
    EXPECT_EQ(orphan.updateSampleRate(), 44100.0);
    EXPECT_EQ(orphan.getMasterVersion(), 1);
    EXPECT_TRUE(orphan.isInputConnected(0));
    EXPECT_TRUE(orphan.isOutputConnected(0));
    // setParameterAutomated still reaches setParameter.
    ASSERT_FALSE(orphan.calls.empty());
    EXPECT_EQ(orphan.calls[0].operation, "setParameter");
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(HostServices, EachFlagSetterTouchesOnlyItsOwnBit) {
    const std::pair<void (AudioEffectX::*)(bool), VstInt32> setters[] = {
        {&AudioEffectX::hasClip, effFlagsHasClip},
        {&AudioEffectX::hasVu, effFlagsHasVu},
        {&AudioEffectX::canMono, effFlagsCanMono},
        {&AudioEffectX::canProcessReplacing, effFlagsCanReplacing},
        {&AudioEffectX::programsAreChunks, effFlagsProgramChunks},
        {&AudioEffectX::isSynth, effFlagsIsSynth},
        {&AudioEffectX::noTail, effFlagsNoSoundInStop},
        {&AudioEffectX::wantAsyncOperation, effFlagsExtIsAsync},
        {&AudioEffectX::hasExternalBuffer, effFlagsExtHasBuffer},
    };
    AEffect* record = effect.record();
    for (const auto& [setter, bit] : setters) {
        SCOPED_TRACE(bit);
        for (VstInt32 others : {VstInt32{0}, ~VstInt32{0}}) {
            record->flags = others;
            (object->*setter)(true);
            EXPECT_EQ(record->flags, others | bit);
            (object->*setter)(false);
            EXPECT_EQ(record->flags, others & ~bit);
        }
    }
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(HostServices, FieldSettersWriteTheirRecordFields) {
    AEffect* record = effect.record();
    const AEffect before = *record;
    const std::pair<void (AudioEffectX::*)(VstInt32), VstInt32 AEffect::*> setters[] = {
        {&AudioEffectX::setUniqueID, &AEffect::uniqueID},
        {&AudioEffectX::setNumInputs, &AEffect::numInputs},
        {&AudioEffectX::setNumOutputs, &AEffect::numOutputs},
        {&AudioEffectX::setRealtimeQualities, &AEffect::realQualities},
        {&AudioEffectX::setOfflineQualities, &AEffect::offQualities},
        {&AudioEffectX::setInitialDelay, &AEffect::initialDelay},
    };
    VstInt32 value = 1000;
    for (const auto& [setter, field] : setters) {
        (object->*setter)(++value);
        EXPECT_EQ(record->*field, value);
    }
    AEffect expected = before;
    value = 1000;
    for (const auto& entry : setters) expected.*(entry.second) = ++value;
    EXPECT_EQ(std::memcmp(&expected, record, sizeof expected), 0);
}

}  // namespace
}  // namespace corvalen::test
