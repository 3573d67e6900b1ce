// Dispatcher opcodes 0 to 24 and everything outside 0 to 58, sent through the record's
// dispatcher entry: which operation each reaches, with which arguments, and what it answers.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "tests/vst_plugin/effect_fixture.h"
#include "vst_plugin/aeffeditor.h"

namespace corvalen::test {
namespace {

using BaseDispatcherTest = TestEffectFixture;

std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

TEST_F(BaseDispatcherTest, OpenAndCloseCallTheirOperationsAndAnswerZero) {
    EXPECT_EQ(effect->dispatch(effOpen, 5, 6, nullptr, 7.0f), 0);
    EXPECT_EQ(onlyCall().operation, kOpOpen);
}

TEST_F(BaseDispatcherTest, SetProgramTakesTheNumberFromValueBelowTheProgramCount) {
    EXPECT_EQ(effect->dispatch(effSetProgram, 9, kTestEffectPrograms - 1), 0);
    EXPECT_EQ(onlyCall().operation, kOpSetProgram);
    EXPECT_EQ(onlyCall().intArg1, kTestEffectPrograms - 1);
    EXPECT_EQ(probe->curProgram, kTestEffectPrograms - 1);
    EXPECT_EQ(effect->dispatch(effGetProgram), kTestEffectPrograms - 1);
}

TEST_F(BaseDispatcherTest, SetProgramIgnoresNumbersFromTheProgramCountUp) {
    EXPECT_EQ(effect->dispatch(effSetProgram, 0, kTestEffectPrograms), 0);
    EXPECT_EQ(effect->dispatch(effSetProgram, 0, std::numeric_limits<VstInt32>::max()), 0);
    EXPECT_EQ(probe->callCount, 0);
    EXPECT_EQ(probe->curProgram, 0);
}

TEST_F(BaseDispatcherTest, SetProgramPassesNegativeNumbersOn) {
    // The comparison is signed: a negative number reaches setProgram, whose job it is to check.
    effect->dispatch(effSetProgram, 0, -1);
    EXPECT_EQ(onlyCall().intArg1, -1);
}

#if INTPTR_MAX > INT32_MAX
// Only 64-bit targets have values beyond 32 bits.
TEST_F(BaseDispatcherTest, SetProgramKeepsOrderForValuesBeyond32Bits) {
    const auto big = static_cast<VstIntPtr>(std::int64_t{1} << 32);  // would wrap to 0
    effect->dispatch(effSetProgram, 0, big + 1);
    EXPECT_EQ(probe->callCount, 0);
    effect->dispatch(effSetProgram, 0, -big);
    EXPECT_EQ(onlyCall().intArg1, std::numeric_limits<VstInt32>::min());
}
#endif

TEST_F(BaseDispatcherTest, GetProgramAnswersTheOperationsResult) {
    EXPECT_EQ(effect->dispatch(effGetProgram), 0);
    arm(-5);
    EXPECT_EQ(effect->dispatch(effGetProgram), -5);
}

TEST_F(BaseDispatcherTest, TextOpcodesPassIndexAndBufferAndAnswerZero) {
    std::strcpy(probe->text, "written");
    struct Case {
        VstInt32 opcode;
        Operation operation;
        bool takesIndex;
    };
    const Case cases[] = {
        {effSetProgramName, kOpSetProgramName, false},
        {effGetProgramName, kOpGetProgramName, false},
        {effGetParamLabel, kOpGetParameterLabel, true},
        {effGetParamDisplay, kOpGetParameterDisplay, true},
        {effGetParamName, kOpGetParameterName, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.opcode);
        clearLog();
        char buffer[64] = "x";
        EXPECT_EQ(effect->dispatch(c.opcode, 3, 99, buffer, 1.0f), 0);
        ASSERT_EQ(probe->callCount, 1);
        EXPECT_EQ(probe->calls[0].operation, c.operation);
        EXPECT_EQ(probe->calls[0].ptrArg1, buffer);
        EXPECT_EQ(probe->calls[0].intArg1, c.takesIndex ? 3 : 0);
    }
}

TEST_F(BaseDispatcherTest, TextOpcodesWithANullBufferCallNothing) {
    for (VstInt32 opcode : {effSetProgramName, effGetProgramName, effGetParamLabel,
                            effGetParamDisplay, effGetParamName}) {
        EXPECT_EQ(effect->dispatch(opcode, 0, 0, nullptr), 0) << opcode;
    }
    EXPECT_EQ(probe->callCount, 0);
}

TEST_F(BaseDispatcherTest, VuIsScaledTo32767AndRoundedHalfToEven) {
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
        arm(0, c.vu);
        EXPECT_EQ(effect->dispatch(effGetVu), c.expected) << c.vu;
    }
}

TEST_F(BaseDispatcherTest, SampleRateComesFromOptAndBlockSizeFromValue) {
    EXPECT_EQ(effect->dispatch(effSetSampleRate, 1, 96000, nullptr, 48000.0f), 0);
    EXPECT_EQ(onlyCall().operation, kOpSetSampleRate);
    EXPECT_EQ(floatBits(probe->sampleRate), floatBits(48000.0f));
    clearLog();
    EXPECT_EQ(effect->dispatch(effSetBlockSize, 1, 256, nullptr, 48000.0f), 0);
    EXPECT_EQ(onlyCall().operation, kOpSetBlockSize);
    EXPECT_EQ(probe->blockSize, 256);
    EXPECT_EQ(floatBits(probe->sampleRate), floatBits(48000.0f));
}

TEST_F(BaseDispatcherTest, MainsChangedSuspendsOnZeroAndResumesOtherwise) {
    const VstIntPtr values[] = {0, 1, -1, 2};
    const Operation expected[] = {kOpSuspend, kOpResume, kOpResume, kOpResume};
    for (int i = 0; i < 4; ++i) {
        clearLog();
        EXPECT_EQ(effect->dispatch(effMainsChanged, 0, values[i]), 0);
        EXPECT_EQ(onlyCall().operation, expected[i]) << values[i];
    }
}

TEST_F(BaseDispatcherTest, EditorOpcodesWithoutEditorAnswerZeroAndTouchNothing) {
    ERect* rect = reinterpret_cast<ERect*>(0x1234);
    EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, &rect), 0);
    EXPECT_EQ(rect, reinterpret_cast<ERect*>(0x1234));
    EXPECT_EQ(effect->dispatch(effEditGetRect, 0, 0, nullptr), 0);
    int window = 0;
    EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, &window), 0);
    for (VstInt32 opcode = effEditClose; opcode <= effEditSleep; ++opcode) {
        EXPECT_EQ(effect->dispatch(opcode, 1, 1, &window, 1.0f), 0) << opcode;
    }
    EXPECT_EQ(probe->callCount, 0);
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(BaseDispatcherTest, IdentifyAnswersNvEf) {
    EXPECT_EQ(effect->dispatch(effIdentify), 0x4E764566);
    EXPECT_EQ(probe->callCount, 0);
}

TEST_F(BaseDispatcherTest, GetChunkTakesPresetFromIndexAndTheDataPointerFromPtr) {
    void* data = nullptr;
    EXPECT_EQ(effect->dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(onlyCall().operation, kOpGetChunk);
    EXPECT_EQ(onlyCall().ptrArg1, &data);
    EXPECT_TRUE(onlyCall().boolArg);
    clearLog();
    arm(321);
    EXPECT_EQ(effect->dispatch(effGetChunk, 0, 0, &data), 321);
    EXPECT_FALSE(onlyCall().boolArg);
    clearLog();
    EXPECT_EQ(effect->dispatch(effGetChunk, 0, 0, nullptr), 0);
    EXPECT_EQ(probe->callCount, 0);
}

TEST_F(BaseDispatcherTest, SetChunkTakesSizeFromValueAndAnswersItsResult) {
    char data[8] = {};
    arm(17);
    EXPECT_EQ(effect->dispatch(effSetChunk, 2, 8, data), 17);
    EXPECT_EQ(onlyCall().operation, kOpSetChunk);
    EXPECT_EQ(onlyCall().ptrArg1, data);
    EXPECT_EQ(onlyCall().intArg1, 8);
    EXPECT_TRUE(onlyCall().boolArg);
}

TEST_F(BaseDispatcherTest, UnknownOpcodesAnswerZeroAndTouchNothing) {
    const AEffect before = *effect->record();
    char buffer[16] = "untouched";
    for (VstInt32 opcode : {-1, -2, 59, 60, 100, 1000, std::numeric_limits<VstInt32>::max(),
                            std::numeric_limits<VstInt32>::min()}) {
        EXPECT_EQ(effect->dispatch(opcode, -1, -1, buffer, -1.0f), 0) << opcode;
        EXPECT_EQ(effect->dispatch(opcode, std::numeric_limits<VstInt32>::max(),
                                   std::numeric_limits<VstIntPtr>::max(), buffer, 1e30f),
                  0)
            << opcode;
    }
    EXPECT_EQ(probe->callCount, 0);
    EXPECT_TRUE(host.calls().empty());
    EXPECT_STREQ(buffer, "untouched");
    EXPECT_EQ(std::memcmp(&before, effect->record(), sizeof before), 0);
}

TEST_F(BaseDispatcherTest, PlainObjectGivesTheBaseAnswers) {
    Effect plain(create(kPlainEffectX, host.callback()));
    ASSERT_TRUE(plain.isOpen());
    EXPECT_EQ(plain.dispatch(effGetProgram), 0);
    EXPECT_EQ(plain.dispatch(effGetVu), 0);
    void* data = nullptr;
    EXPECT_EQ(plain.dispatch(effGetChunk, 1, 0, &data), 0);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(plain.dispatch(effSetChunk, 0, 4, &data), 0);
    // The base getProgramName leaves the buffer untouched.
    const TextResult name = plain.readText(effGetProgramName);
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
