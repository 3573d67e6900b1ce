// Dispatcher opcodes 0 to 24 and everything outside 0 to 58, sent through the record's
// dispatcher entry: which operation each reaches, with which arguments, and what it answers.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "tests/vst_plugin/recording_effect.h"

namespace corvalen::test {
namespace {

using BaseDispatcher = RecordingFixture;
constexpr VstInt32 kPrograms = RecordingEffect::kPrograms;

TEST_F(BaseDispatcher, OpenCallsItsOperationAndAnswersZero) {
    EXPECT_EQ(effect.dispatch(effOpen, 5, 6, nullptr, 7.0f), 0);
    EXPECT_EQ(onlyCall().operation, "open");
}

TEST_F(BaseDispatcher, SetProgramTakesTheNumberFromValueBelowTheProgramCount) {
    EXPECT_EQ(effect.dispatch(effSetProgram, 9, kPrograms - 1), 0);
    EXPECT_EQ(onlyCall().operation, "setProgram");
    EXPECT_EQ(onlyCall().args, Words{kPrograms - 1});
    EXPECT_EQ(object->program(), kPrograms - 1);
    EXPECT_EQ(effect.dispatch(effGetProgram), kPrograms - 1);
}

TEST_F(BaseDispatcher, SetProgramIgnoresNumbersFromTheProgramCountUp) {
    EXPECT_EQ(effect.dispatch(effSetProgram, 0, kPrograms), 0);
    EXPECT_EQ(effect.dispatch(effSetProgram, 0, std::numeric_limits<VstInt32>::max()), 0);
    EXPECT_TRUE(object->calls.empty());
    EXPECT_EQ(object->program(), 0);
}

TEST_F(BaseDispatcher, SetProgramPassesNegativeNumbersOn) {
    // The comparison is signed: a negative number reaches setProgram, whose job it is to check.
    effect.dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(onlyCall().args, Words{-1});
}

#if INTPTR_MAX > INT32_MAX
// Only 64-bit targets have values beyond 32 bits.
TEST_F(BaseDispatcher, SetProgramKeepsOrderForValuesBeyond32Bits) {
    const auto big = static_cast<VstIntPtr>(std::int64_t{1} << 32);  // would wrap to 0
    effect.dispatch(effSetProgram, 0, big + 1);
    EXPECT_TRUE(object->calls.empty());
    effect.dispatch(effSetProgram, 0, -big);
    EXPECT_EQ(onlyCall().args, Words{std::numeric_limits<VstInt32>::min()});
}
#endif

TEST_F(BaseDispatcher, GetProgramAnswersTheOperationsResult) {
    EXPECT_EQ(effect.dispatch(effGetProgram), 0);
    object->arm(-5);
    EXPECT_EQ(effect.dispatch(effGetProgram), -5);
}

TEST_F(BaseDispatcher, TextOpcodesPassIndexAndBufferAndAnswerZero) {
    struct Case {
        VstInt32 opcode;
        const char* operation;
        bool takesIndex;
    };
    const Case cases[] = {
        {effSetProgramName, "setProgramName", false},
        {effGetProgramName, "getProgramName", false},
        {effGetParamLabel, "getParameterLabel", true},
        {effGetParamDisplay, "getParameterDisplay", true},
        {effGetParamName, "getParameterName", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        object->calls.clear();
        char buffer[64] = "x";
        EXPECT_EQ(effect.dispatch(c.opcode, 3, 99, buffer, 1.0f), 0);
        EXPECT_EQ(onlyCall().operation, c.operation);
        EXPECT_EQ(onlyCall().args, (c.takesIndex ? Words{3, word(buffer)} : Words{word(buffer)}));
    }
}

TEST_F(BaseDispatcher, TextOpcodesWithANullBufferCallNothing) {
    for (VstInt32 opcode : {effSetProgramName, effGetProgramName, effGetParamLabel,
                            effGetParamDisplay, effGetParamName}) {
        EXPECT_EQ(effect.dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(BaseDispatcher, VuIsScaledTo32767AndRoundedHalfToEven) {
    struct Case {
        float vu;
        VstIntPtr expected;
    };
    const Case cases[] = {
        {0.0f, 0},
        {1.0f, 32767},
        {0.5f, 16384},    // 16383.5: the even neighbour is above
        {1.5f, 49150},    // 49150.5: the even neighbour is below
        {-0.5f, -16384},  // -16383.5
        {0.25f, 8192},    // 8191.75
        {0.125f, 4096},   // 4095.875
        {std::nanf(""), 0},
        {1e30f, std::numeric_limits<VstInt32>::max()},
        {-1e30f, std::numeric_limits<VstInt32>::min()},
    };
    for (const Case& c : cases) {
        object->arm(0, c.vu);
        EXPECT_EQ(effect.dispatch(effGetVu), c.expected) << c.vu;
    }
}

TEST_F(BaseDispatcher, SampleRateComesFromOptAndBlockSizeFromValue) {
    EXPECT_EQ(effect.dispatch(effSetSampleRate, 1, 96000, nullptr, 48000.0f), 0);
    EXPECT_EQ(onlyCall().operation, "setSampleRate");
    EXPECT_EQ(bitsOf(object->rate()), bitsOf(48000.0f));
    object->calls.clear();
    EXPECT_EQ(effect.dispatch(effSetBlockSize, 1, 256, nullptr, 22050.0f), 0);
    EXPECT_EQ(onlyCall().operation, "setBlockSize");
    EXPECT_EQ(object->block(), 256);
    EXPECT_EQ(bitsOf(object->rate()), bitsOf(48000.0f));
}

TEST_F(BaseDispatcher, MainsChangedSuspendsOnZeroAndResumesOtherwise) {
    const VstIntPtr values[] = {0, 1, -1, 2};
    const char* const expected[] = {"suspend", "resume", "resume", "resume"};
    for (int i = 0; i < 4; ++i) {
        object->calls.clear();
        EXPECT_EQ(effect.dispatch(effMainsChanged, 0, values[i]), 0);
        EXPECT_EQ(onlyCall().operation, expected[i]) << values[i];
    }
}

TEST_F(BaseDispatcher, EditorOpcodesWithoutEditorAnswerZeroAndTouchNothing) {
    ERect* rect = reinterpret_cast<ERect*>(0x1234);
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1234));
    EXPECT_EQ(effect.dispatch(effEditGetRect, 0, 0, nullptr), 0);
    int window = 0;
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, &window), 0);
    for (VstInt32 opcode = effEditClose; opcode <= effEditSleep; ++opcode) {
        EXPECT_EQ(effect.dispatch(opcode, 1, 1, &window, 1.0f), 0) << opcode;
    }
    EXPECT_TRUE(object->calls.empty());
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(BaseDispatcher, IdentifyAnswersNvEf) {
    EXPECT_EQ(effect.dispatch(effIdentify), 0x4E764566);
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(BaseDispatcher, GetChunkTakesPresetFromIndexAndTheDataPointerFromPtr) {
    void* data = nullptr;
    EXPECT_EQ(effect.dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(onlyCall().operation, "getChunk");
    EXPECT_EQ(onlyCall().args, (Words{word(&data), 1}));
    object->calls.clear();
    object->arm(321);
    EXPECT_EQ(effect.dispatch(effGetChunk, 0, 0, &data), 321);
    EXPECT_EQ(onlyCall().args, (Words{word(&data), 0}));
    object->calls.clear();
    EXPECT_EQ(effect.dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_TRUE(object->calls.empty());
}

TEST_F(BaseDispatcher, SetChunkTakesSizeFromValueAndAnswersItsResult) {
    char data[8] = {};
    object->arm(17);
    EXPECT_EQ(effect.dispatch(effSetChunk, 2, 8, data), 17);
    EXPECT_EQ(onlyCall().operation, "setChunk");
    EXPECT_EQ(onlyCall().args, (Words{word(data), 8, 1}));
}

TEST_F(BaseDispatcher, UnknownOpcodesAnswerZeroAndTouchNothing) {
    const AEffect before = *effect.record();
    char buffer[16] = "untouched";
    for (VstInt32 opcode : {-1, -2, 59, 60, 100, 1000, std::numeric_limits<VstInt32>::max(),
                            std::numeric_limits<VstInt32>::min()}) {
        EXPECT_EQ(effect.dispatch(opcode, -1, -1, buffer, -1.0f), 0) << opcode;
        EXPECT_EQ(effect.dispatch(opcode, std::numeric_limits<VstInt32>::max(),
                                  std::numeric_limits<VstIntPtr>::max(), buffer, 1e30f),
                  0)
            << opcode;
    }
    EXPECT_TRUE(object->calls.empty());
    EXPECT_TRUE(host.calls().empty());
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(std::memcmp(&before, effect.record(), sizeof before), 0);
}

TEST_F(BaseDispatcher, PlainObjectGivesTheBaseAnswers) {
    vsthost::Effect plain((new PlainEffectX(host.callback()))->getAeffect());
    EXPECT_EQ(plain.dispatch(effGetProgram), 0);
    EXPECT_EQ(plain.dispatch(effGetVu), 0);
    void* data = nullptr;
    EXPECT_EQ(plain.dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(plain.dispatch(effSetChunk, 0, 4, &data), 0);
    // The base getProgramName leaves the buffer untouched.
    const vsthost::TextResult name = plain.readText(effGetProgramName);
    EXPECT_EQ(name.bytesTouched, 0u);
    EXPECT_EQ(name.result, 0);
    // Opcode 2 with a valid number stores it; 1 program here.
    EXPECT_EQ(plain.dispatch(effSetProgram, 0, 1), 0);
    EXPECT_EQ(plain.dispatch(effGetProgram), 0);
    EXPECT_EQ(plain.dispatch(effSetProgram, 0, -3), 0);
    EXPECT_EQ(plain.dispatch(effGetProgram), -3);
    EXPECT_EQ(plain.getParameter(0), 0.0f);
    EXPECT_TRUE(host.calls().empty());
}

}  // namespace
}  // namespace corvalen::test
