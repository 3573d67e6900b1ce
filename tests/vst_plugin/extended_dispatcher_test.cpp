// Dispatcher opcodes 25 to 58: argument routing, answers, the inverted opcode 57, and the base
// answers of an object that replaces nothing.
#include <limits>

#include "tests/vst_plugin/recording_effect.h"

namespace corvalen::test {
namespace {

using ExtendedDispatcher = RecordingFixture;

TEST_F(ExtendedDispatcher, EachOpcodeReachesItsOperationWithTheRightArguments) {
    // Every call has index 5, value 9 and the token pointer p; the expected arguments are in the
    // order the operation takes them.
    void* const p = token(0x5000);
    const VstIntPtr P = word(p);
    struct Routing {
        VstInt32 opcode;
        const char* operation;
        Words args;
    };
    const Routing routes[] = {
        {effProcessEvents, "processEvents", {P}},
        {effCanBeAutomated, "canParameterBeAutomated", {5}},
        {effString2Parameter, "string2parameter", {5, P}},
        {effGetNumProgramCategories, "getNumCategories", {}},
        {effGetProgramNameIndexed, "getProgramNameIndexed", {9, 5, P}},  // category from value
        {effCopyProgram, "copyProgram", {5}},
        {effConnectInput, "inputConnected", {5, 1}},
        {effConnectOutput, "outputConnected", {5, 1}},
        {effGetInputProperties, "getInputProperties", {5, P}},
        {effGetOutputProperties, "getOutputProperties", {5, P}},
        {effGetPlugCategory, "getPlugCategory", {}},
        {effGetCurrentPosition, "reportCurrentPosition", {}},
        {effGetDestinationBuffer, "reportDestinationBuffer", {}},
        {effOfflineNotify, "offlineNotify", {P, 9, 1}},  // the count from value, start from index
        {effOfflinePrepare, "offlinePrepare", {P, 9}},
        {effOfflineRun, "offlineRun", {P, 9}},
        {effProcessVarIo, "processVariableIo", {P}},
        {effSetSpeakerArrangement, "setSpeakerArrangement", {9, P}},  // the input one from value
        {effSetBypass, "setBypass", {1}},
        {effGetEffectName, "getEffectName", {P}},
        {effGetErrorText, "getErrorText", {P}},
        {effGetVendorString, "getVendorString", {P}},
        {effGetProductString, "getProductString", {P}},
        {effGetVendorVersion, "getVendorVersion", {}},
        {effCanDo, "canDo", {P}},
        {effGetTailSize, "getGetTailSize", {}},
        {effIdle, "fxIdle", {}},
        {effGetIcon, "getIcon", {}},
        {effSetViewPosition, "setViewPosition", {5, 9}},
        {effGetParameterProperties, "getParameterProperties", {5, P}},
        {effKeysRequired, "keysRequired", {}},
        {effGetVstVersion, "getVstVersion", {}},
        // opcode 24 passes on to the base dispatcher: setChunk(ptr, value, index != 0)
        {effSetChunk, "setChunk", {P, 9, 1}},
    };
    for (const Routing& r : routes) {
        SCOPED_TRACE(r.operation);
        object->calls.clear();
        effect.dispatch(r.opcode, 5, 9, p, 0.5f);
        EXPECT_EQ(onlyCall().operation, r.operation);
        EXPECT_EQ(onlyCall().args, r.args);
    }
}

TEST_F(ExtendedDispatcher, FlagArgumentsAreValueOrIndexNotZero) {
    effect.dispatch(effConnectInput, 1, 0);
    effect.dispatch(effSetBypass, 0, 0);
    effect.dispatch(effOfflineNotify, 0, 3, token(0x10));
    ASSERT_EQ(object->calls.size(), 3u);
    EXPECT_EQ(object->calls[0].args, (Words{1, 0}));
    EXPECT_EQ(object->calls[1].args, Words{0});
    EXPECT_EQ(object->calls[2].args, (Words{0x10, 3, 0}));
}

TEST_F(ExtendedDispatcher, BlockSizeAndRateComeFromValueAndOpt) {
    EXPECT_EQ(effect.dispatch(effSetBlockSizeAndSampleRate, 3, 512, nullptr, 48000.0f), 1);
    EXPECT_EQ(onlyCall().operation, "setBlockSizeAndSampleRate");
    EXPECT_EQ(object->block(), 512);
    EXPECT_EQ(bitsOf(object->rate()), bitsOf(48000.0f));
}

TEST_F(ExtendedDispatcher, VendorSpecificPassesIndexValuePtrAndOptInOrder) {
    object->arm(-123456);
    EXPECT_EQ(effect.dispatch(effVendorSpecific, 11, 22, token(0x3300), 4.5f), -123456);
    EXPECT_EQ(onlyCall().operation, "vendorSpecific");
    EXPECT_EQ(onlyCall().args, (Words{11, 22, 0x3300}));
    EXPECT_EQ(bitsOf(onlyCall().value), bitsOf(4.5f));
}

TEST_F(ExtendedDispatcher, VendorSpecificValueKeepsItsFullWidth) {
    const VstIntPtr wide = word(&host);  // a pointer passed as value
    effect.dispatch(effVendorSpecific, 1, wide);
    EXPECT_EQ(onlyCall().args.at(1), wide);
}

TEST_F(ExtendedDispatcher, BooleanAnswersAreOneOrZero) {
    char scratch[512] = {};  // a buffer for the opcodes that need one
    for (VstInt32 opcode :
         {effCanBeAutomated, effString2Parameter, effGetProgramNameIndexed, effCopyProgram,
          effGetInputProperties, effGetOutputProperties, effOfflineNotify, effOfflinePrepare,
          effOfflineRun, effProcessVarIo, effSetSpeakerArrangement, effSetBypass, effGetEffectName,
          effGetErrorText, effGetVendorString, effGetProductString, effSetViewPosition,
          effGetParameterProperties}) {
        object->arm(42);  // any non-zero answer counts as true
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, scratch), 1) << opcode;
        object->arm(0);
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, scratch), 0) << opcode;
    }
}

TEST_F(ExtendedDispatcher, IntegerAndPointerAnswersPassThrough) {
    object->arm(-1);
    EXPECT_EQ(effect.dispatch(effCanDo, 0, 0, const_cast<char*>("x")), -1);
    EXPECT_EQ(effect.dispatch(effGetNumProgramCategories), -1);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), -1);
    EXPECT_EQ(effect.dispatch(effGetCurrentPosition), -1);
    EXPECT_EQ(effect.dispatch(effGetVendorVersion), -1);
    EXPECT_EQ(effect.dispatch(effGetTailSize), -1);
    EXPECT_EQ(effect.dispatch(effIdle), -1);
    EXPECT_EQ(effect.dispatch(effGetVstVersion), -1);
    EXPECT_EQ(effect.dispatch(effProcessEvents, 0, 0, token(0x40)), -1);
    object->arm(0xABC0);
    EXPECT_EQ(effect.dispatch(effGetDestinationBuffer), 0xABC0);
    EXPECT_EQ(effect.dispatch(effGetIcon), 0xABC0);
}

TEST_F(ExtendedDispatcher, KeysRequiredIsInverted) {
    EXPECT_EQ(effect.dispatch(effKeysRequired), 1);  // base: keys not required
    object->arm(1);
    EXPECT_EQ(effect.dispatch(effKeysRequired), 0);
}

TEST_F(ExtendedDispatcher, ConnectionOpcodesAnswerOneWhateverTheValue) {
    for (VstIntPtr value : {VstIntPtr{0}, VstIntPtr{1}, VstIntPtr{-1}}) {
        EXPECT_EQ(effect.dispatch(effConnectInput, 0, value), 1);
        EXPECT_EQ(effect.dispatch(effConnectOutput, 1, value), 1);
    }
}

TEST_F(ExtendedDispatcher, RecordFillingOpcodesWithANullPointerCallNothing) {
    for (VstInt32 opcode :
         {effString2Parameter, effGetProgramNameIndexed, effGetInputProperties,
          effGetOutputProperties, effProcessVarIo, effGetEffectName, effGetErrorText,
          effGetVendorString, effGetProductString, effCanDo, effGetParameterProperties}) {
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(ExtendedDispatcher, ANullEventListStillReachesProcessEvents) {
    // A null list means "nothing for the coming block": the plug-in must still hear of it, to
    // drop what an earlier list queued.
    effect.dispatch(effProcessEvents, 0, 0, nullptr);
    EXPECT_EQ(onlyCall().operation, "processEvents");
    EXPECT_EQ(onlyCall().args, Words{0});
}

TEST_F(ExtendedDispatcher, OpcodesOutsideTheTablesReachTheBaseAndAnswerZero) {
    EXPECT_EQ(effect.dispatch(59, 1, 1, token(0x10), 1.0f), 0);
    EXPECT_EQ(effect.dispatch(-25, 1, 1, token(0x10), 1.0f), 0);
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(ExtendedDispatcher, PlugCategoryFollowsTheSynthFlagAtCallTime) {
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), kPlugCategUnknown);
    object->isSynth(true);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), kPlugCategSynth);
    object->isSynth(false);
    EXPECT_EQ(effect.dispatch(effGetPlugCategory), kPlugCategUnknown);
}

TEST_F(ExtendedDispatcher, PlainObjectGivesTheBaseAnswers) {
    vsthost::Effect plain((new PlainEffectX(host.callback()))->getAeffect());
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
        const vsthost::TextResult result = plain.readText(opcode);
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
