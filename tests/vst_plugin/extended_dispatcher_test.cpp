// Dispatcher opcodes 25 to 58: argument routing, answers, the inverted opcode 57, and the base
// answers of an object that replaces nothing.
#include <cstring>
#include <limits>

#include "tests/vst_plugin/effect_fixture.h"

namespace corvalen::test {
namespace {

using ExtendedDispatcherTest = TestEffectFixture;

std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// An address only compared, never dereferenced.
void* token(std::uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

// One opcode's routing: the operation it must reach with which arguments, for a call with
// index 5, value 9 and the token pointer 0x5000.
struct Routing {
    VstInt32 opcode;
    Operation operation;
    VstInt32 intArg1;
    VstIntPtr intArg2;
    const void* ptrArg1;
    const void* ptrArg2;
    bool boolArg;
};

TEST_F(ExtendedDispatcherTest, EachOpcodeReachesItsOperationWithTheRightArguments) {
    void* const p = token(0x5000);
    void* const valueAsPointer = token(9);
    const Routing routes[] = {
        {effProcessEvents, kOpProcessEvents, 0, 0, p, nullptr, false},
        {effCanBeAutomated, kOpCanParameterBeAutomated, 5, 0, nullptr, nullptr, false},
        {effString2Parameter, kOpString2Parameter, 5, 0, p, nullptr, false},
        {effGetNumProgramCategories, kOpGetNumCategories, 0, 0, nullptr, nullptr, false},
        // category from value, program from index
        {effGetProgramNameIndexed, kOpGetProgramNameIndexed, 9, 5, p, nullptr, false},
        {effCopyProgram, kOpCopyProgram, 5, 0, nullptr, nullptr, false},
        {effConnectInput, kOpInputConnected, 5, 0, nullptr, nullptr, true},
        {effConnectOutput, kOpOutputConnected, 5, 0, nullptr, nullptr, true},
        {effGetInputProperties, kOpGetInputProperties, 5, 0, p, nullptr, false},
        {effGetOutputProperties, kOpGetOutputProperties, 5, 0, p, nullptr, false},
        {effGetPlugCategory, kOpGetPlugCategory, 0, 0, nullptr, nullptr, false},
        {effGetCurrentPosition, kOpReportCurrentPosition, 0, 0, nullptr, nullptr, false},
        {effGetDestinationBuffer, kOpReportDestinationBuffer, 0, 0, nullptr, nullptr, false},
        // the count from value, start from index
        {effOfflineNotify, kOpOfflineNotify, 9, 0, p, nullptr, true},
        {effOfflinePrepare, kOpOfflinePrepare, 9, 0, p, nullptr, false},
        {effOfflineRun, kOpOfflineRun, 9, 0, p, nullptr, false},
        {effProcessVarIo, kOpProcessVariableIo, 0, 0, p, nullptr, false},
        // the input arrangement from value, the output one from ptr
        {effSetSpeakerArrangement, kOpSetSpeakerArrangement, 0, 0, valueAsPointer, p, false},
        {effSetBypass, kOpSetBypass, 0, 0, nullptr, nullptr, true},
        {effGetEffectName, kOpGetEffectName, 0, 0, p, nullptr, false},
        {effGetErrorText, kOpGetErrorText, 0, 0, p, nullptr, false},
        {effGetVendorString, kOpGetVendorString, 0, 0, p, nullptr, false},
        {effGetProductString, kOpGetProductString, 0, 0, p, nullptr, false},
        {effGetVendorVersion, kOpGetVendorVersion, 0, 0, nullptr, nullptr, false},
        {effCanDo, kOpCanDo, 0, 0, p, nullptr, false},
        {effGetTailSize, kOpGetGetTailSize, 0, 0, nullptr, nullptr, false},
        {effIdle, kOpFxIdle, 0, 0, nullptr, nullptr, false},
        {effGetIcon, kOpGetIcon, 0, 0, nullptr, nullptr, false},
        {effSetViewPosition, kOpSetViewPosition, 5, 9, nullptr, nullptr, false},
        {effGetParameterProperties, kOpGetParameterProperties, 5, 0, p, nullptr, false},
        {effKeysRequired, kOpKeysRequired, 0, 0, nullptr, nullptr, false},
        {effGetVstVersion, kOpGetVstVersion, 0, 0, nullptr, nullptr, false},
        // opcode 24 passes on to the base dispatcher: setChunk(ptr, value, index != 0)
        {effSetChunk, kOpSetChunk, 9, 0, p, nullptr, true},
    };
    for (const Routing& r : routes) {
        SCOPED_TRACE(r.opcode);
        clearLog();
        effect->dispatch(r.opcode, 5, 9, p, 0.5f);
        ASSERT_EQ(probe->callCount, 1);
        const ProbeCall& call = probe->calls[0];
        EXPECT_EQ(call.operation, r.operation);
        EXPECT_EQ(call.intArg1, r.intArg1);
        EXPECT_EQ(call.intArg2, r.intArg2);
        EXPECT_EQ(call.ptrArg1, r.ptrArg1);
        EXPECT_EQ(call.ptrArg2, r.ptrArg2);
        EXPECT_EQ(call.boolArg, r.boolArg);
    }
}

TEST_F(ExtendedDispatcherTest, FlagArgumentsAreValueOrIndexNotZero) {
    effect->dispatch(effConnectInput, 1, 0);
    effect->dispatch(effSetBypass, 0, 0);
    effect->dispatch(effOfflineNotify, 0, 3, token(0x10));
    ASSERT_EQ(probe->callCount, 3);
    EXPECT_FALSE(probe->calls[0].boolArg);
    EXPECT_FALSE(probe->calls[1].boolArg);
    EXPECT_FALSE(probe->calls[2].boolArg);
}

TEST_F(ExtendedDispatcherTest, BlockSizeAndRateComeFromValueAndOpt) {
    EXPECT_EQ(effect->dispatch(effSetBlockSizeAndSampleRate, 3, 512, nullptr, 48000.0f), 1);
    EXPECT_EQ(onlyCall().operation, kOpSetBlockSizeAndSampleRate);
    EXPECT_EQ(probe->blockSize, 512);
    EXPECT_EQ(floatBits(probe->sampleRate), floatBits(48000.0f));
}

TEST_F(ExtendedDispatcherTest, VendorSpecificPassesIndexValuePtrAndOptInOrder) {
    arm(-123456);
    EXPECT_EQ(effect->dispatch(effVendorSpecific, 11, 22, token(0x3300), 4.5f), -123456);
    const ProbeCall& call = onlyCall();
    EXPECT_EQ(call.operation, kOpVendorSpecific);
    EXPECT_EQ(call.intArg1, 11);
    EXPECT_EQ(call.intArg2, 22);
    EXPECT_EQ(call.ptrArg1, token(0x3300));
    EXPECT_EQ(floatBits(call.floatArg), floatBits(4.5f));
}

TEST_F(ExtendedDispatcherTest, VendorSpecificValueKeepsItsFullWidth) {
    const VstIntPtr wide = reinterpret_cast<VstIntPtr>(&host);  // a pointer passed as value
    effect->dispatch(effVendorSpecific, 1, wide);
    EXPECT_EQ(onlyCall().intArg2, wide);
}

TEST_F(ExtendedDispatcherTest, BooleanAnswersAreOneOrZero) {
    char text[32] = {};
    VstPinProperties pin{};
    const std::pair<VstInt32, void*> opcodes[] = {
        {effCanBeAutomated, nullptr},
        {effString2Parameter, text},
        {effGetProgramNameIndexed, text},
        {effCopyProgram, nullptr},
        {effGetInputProperties, &pin},
        {effGetOutputProperties, &pin},
        {effOfflineNotify, nullptr},
        {effOfflinePrepare, nullptr},
        {effOfflineRun, nullptr},
        {effProcessVarIo, text},
        {effSetSpeakerArrangement, nullptr},
        {effSetBypass, nullptr},
        {effGetEffectName, text},
        {effGetErrorText, text},
        {effGetVendorString, text},
        {effGetProductString, text},
        {effSetViewPosition, nullptr},
        {effGetParameterProperties, text},
    };
    for (const auto& [opcode, ptr] : opcodes) {
        arm(42);  // any non-zero answer counts as true
        EXPECT_EQ(effect->dispatch(opcode, 0, 0, ptr), 1) << opcode;
        arm(0);
        EXPECT_EQ(effect->dispatch(opcode, 0, 0, ptr), 0) << opcode;
    }
}

TEST_F(ExtendedDispatcherTest, IntegerAndPointerAnswersPassThrough) {
    arm(-1, 0.0f, token(0xABC0));
    EXPECT_EQ(effect->dispatch(effCanDo, 0, 0, const_cast<char*>("x")), -1);
    EXPECT_EQ(effect->dispatch(effGetNumProgramCategories), -1);
    EXPECT_EQ(effect->dispatch(effGetPlugCategory), -1);
    EXPECT_EQ(effect->dispatch(effGetCurrentPosition), -1);
    EXPECT_EQ(effect->dispatch(effGetVendorVersion), -1);
    EXPECT_EQ(effect->dispatch(effGetTailSize), -1);
    EXPECT_EQ(effect->dispatch(effIdle), -1);
    EXPECT_EQ(effect->dispatch(effGetVstVersion), -1);
    EXPECT_EQ(effect->dispatch(effProcessEvents, 0, 0, token(0x40)), -1);
    EXPECT_EQ(effect->dispatch(effGetDestinationBuffer),
              reinterpret_cast<VstIntPtr>(token(0xABC0)));
    EXPECT_EQ(effect->dispatch(effGetIcon), reinterpret_cast<VstIntPtr>(token(0xABC0)));
}

TEST_F(ExtendedDispatcherTest, KeysRequiredIsInverted) {
    EXPECT_EQ(effect->dispatch(effKeysRequired), 1);  // base: keys not required
    arm(1);
    EXPECT_EQ(effect->dispatch(effKeysRequired), 0);
}

TEST_F(ExtendedDispatcherTest, ConnectionOpcodesAnswerOneWhateverTheValue) {
    for (VstIntPtr value : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{-1}}) {
        EXPECT_EQ(effect->dispatch(effConnectInput, 0, value), 1);
        EXPECT_EQ(effect->dispatch(effConnectOutput, 1, value), 1);
    }
}

TEST_F(ExtendedDispatcherTest, RecordFillingOpcodesWithANullPointerCallNothing) {
    for (VstInt32 opcode :
         {effString2Parameter, effGetProgramNameIndexed, effGetInputProperties,
          effGetOutputProperties, effProcessVarIo, effGetEffectName, effGetErrorText,
          effGetVendorString, effGetProductString, effCanDo, effGetParameterProperties}) {
        EXPECT_EQ(effect->dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_EQ(probe->callCount, 0);
}

TEST_F(ExtendedDispatcherTest, ANullEventListStillReachesProcessEvents) {
    // A null list means "nothing for the coming block": the plug-in must still hear of it, to
    // drop what an earlier list queued.
    effect->dispatch(effProcessEvents, 0, 0, nullptr);
    ASSERT_EQ(probe->callCount, 1);
    EXPECT_EQ(probe->calls[0].operation, kOpProcessEvents);
    EXPECT_EQ(probe->calls[0].ptrArg1, nullptr);
}

TEST_F(ExtendedDispatcherTest, OpcodesOutsideTheTablesReachTheBaseAndAnswerZero) {
    EXPECT_EQ(effect->dispatch(59, 1, 1, token(0x10), 1.0f), 0);
    EXPECT_EQ(effect->dispatch(-25, 1, 1, token(0x10), 1.0f), 0);
    EXPECT_EQ(probe->callCount, 0);
}

TEST_F(ExtendedDispatcherTest, PlugCategoryFollowsTheSynthFlagAtCallTime) {
    EXPECT_EQ(effect->dispatch(effGetPlugCategory), kPlugCategUnknown);
    probe->argA = 1;
    effect->dispatch(effVendorSpecific, kCommandSetter, kSetIsSynth);
    EXPECT_EQ(effect->dispatch(effGetPlugCategory), kPlugCategSynth);
    probe->argA = 0;
    effect->dispatch(effVendorSpecific, kCommandSetter, kSetIsSynth);
    EXPECT_EQ(effect->dispatch(effGetPlugCategory), kPlugCategUnknown);
}

TEST_F(ExtendedDispatcherTest, PlainObjectGivesTheBaseAnswers) {
    Effect plain(create(kPlainEffectX, host.callback()));
    ASSERT_TRUE(plain.isOpen());
    char text[64] = "kept";
    VstPinProperties pin{};
    EXPECT_EQ(plain.dispatch(effProcessEvents, 0, 0, text), 0);
    EXPECT_EQ(plain.dispatch(effCanBeAutomated, 0), 1);
    EXPECT_EQ(plain.dispatch(effCanBeAutomated, 1000), 1);  // also beyond numParams
    EXPECT_EQ(plain.dispatch(effCanBeAutomated, -1), 1);
    EXPECT_EQ(plain.dispatch(effString2Parameter, 0, 0, text), 0);
    EXPECT_EQ(plain.dispatch(effGetNumProgramCategories), 1);
    EXPECT_EQ(plain.dispatch(effGetProgramNameIndexed, 0, 0, text), 0);
    EXPECT_EQ(plain.dispatch(effCopyProgram, 0), 0);
    EXPECT_EQ(plain.dispatch(effGetInputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(plain.dispatch(effGetOutputProperties, 0, 0, &pin), 0);
    EXPECT_EQ(plain.dispatch(effGetPlugCategory), kPlugCategUnknown);
    EXPECT_EQ(plain.dispatch(effGetCurrentPosition), 0);
    EXPECT_EQ(plain.dispatch(effGetDestinationBuffer), 0);
    for (VstInt32 opcode = effOfflineNotify; opcode <= effSetSpeakerArrangement; ++opcode) {
        EXPECT_EQ(plain.dispatch(opcode, 1, 1, text), 0) << opcode;
    }
    EXPECT_EQ(plain.dispatch(effSetBlockSizeAndSampleRate, 0, 64, nullptr, 22050.0f), 1);
    EXPECT_EQ(plain.dispatch(effSetBypass, 0, 1), 0);
    for (VstInt32 opcode :
         {effGetEffectName, effGetErrorText, effGetVendorString, effGetProductString}) {
        const TextResult result = plain.readText(opcode);
        EXPECT_EQ(result.result, 0) << opcode;
        EXPECT_EQ(result.bytesTouched, 0u) << opcode;
    }
    EXPECT_EQ(plain.dispatch(effGetVendorVersion), 0);
    EXPECT_EQ(plain.dispatch(effVendorSpecific, 1, 2, text, 3.0f), 0);
    EXPECT_EQ(plain.dispatch(effCanDo, 0, 0, text), 0);
    EXPECT_EQ(plain.dispatch(effGetTailSize), 0);
    EXPECT_EQ(plain.dispatch(effIdle), 0);
    EXPECT_EQ(plain.dispatch(effGetIcon), 0);
    EXPECT_EQ(plain.dispatch(effSetViewPosition, 1, 2), 0);
    EXPECT_EQ(plain.dispatch(effGetParameterProperties, 0, 0, text), 0);
    EXPECT_EQ(plain.dispatch(effKeysRequired), 1);
    EXPECT_EQ(plain.dispatch(effGetVstVersion), 2);
    EXPECT_STREQ(text, "kept");
    EXPECT_TRUE(host.calls().empty());
}

}  // namespace
}  // namespace corvalen::test
