// Checks of the binary interface as a host of this target sees it: where the fields of the
// effect record lie, the calling convention of the entry points, the export names, and the
// floating-point control state after the library is loaded. The offsets are written out for
// each pointer size rather than taken from the record's declaration, so a declaration that
// drifts from what hosts expect fails here.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/cross/phrase.h"
#include "tests/support/plugin_under_test.h"
#include "vst_host/host.h"
#include "vst_plugin/fp_environment.h"

namespace corvalen::test {
namespace {

struct RecordOffsets {
    std::size_t dispatcher, process, setParameter, getParameter, numPrograms, numParams, numInputs,
        numOutputs, flags, resvd1, resvd2, initialDelay, realQualities, offQualities, ioRatio,
        object, user, uniqueID, version, processReplacing, future, size;
};

// 32-bit hosts: 4-byte pointers, 144 bytes. 64-bit hosts: 8-byte pointers with 8-byte
// alignment, 192 bytes.
constexpr RecordOffsets kRecord32 = {4,  8,  12, 16, 20, 24, 28, 32, 36, 40, 44,
                                     48, 52, 56, 60, 64, 68, 72, 76, 80, 84, 144};
constexpr RecordOffsets kRecord64 = {8,  16, 24, 32, 40, 44,  48,  52,  56,  64,  72,
                                     80, 84, 88, 92, 96, 104, 112, 116, 120, 128, 192};
constexpr RecordOffsets kRecord = sizeof(void*) == 4 ? kRecord32 : kRecord64;

using vsthost::PluginLibrary;

std::string pluginPath() {
    return pluginUnderTestPath();
}

template <typename T>
T readAt(const AEffect* effect, std::size_t offset) {
    T value;
    std::memcpy(&value, reinterpret_cast<const unsigned char*>(effect) + offset, sizeof value);
    return value;
}

// Exception flags left over from earlier arithmetic would trap at the next x87 instruction
// once their masks are cleared, so they are cleared first.
void setX87ControlWord(std::uint16_t word) {
    __asm__ __volatile__("fnclex");
    writeX87ControlWord(word);
}

class LoadedPlugin : public ::testing::Test {
protected:
    void SetUp() override {
        effect_ = host_.open(library_);
        ASSERT_NE(effect_, nullptr);
    }
    void TearDown() override {
        if (effect_ != nullptr) effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
    }

    PluginLibrary library_{pluginPath()};
    vsthost::Host host_{vsthost::HostProfile::kVersionOnly};
    AEffect* effect_ = nullptr;
};

TEST_F(LoadedPlugin, RecordFieldsLieAtTheOffsetsHostsRead) {
    EXPECT_EQ(sizeof(AEffect), kRecord.size);
    EXPECT_EQ(readAt<std::int32_t>(effect_, 0), 0x56737450);  // 'VstP'
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.numPrograms), 32);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.numParams), 6);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.numInputs), 0);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.numOutputs), 2);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.flags), 272);  // replacing + synth
    EXPECT_EQ(readAt<std::intptr_t>(effect_, kRecord.resvd1), 0);
    EXPECT_EQ(readAt<std::intptr_t>(effect_, kRecord.resvd2), 0);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.initialDelay), 0);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.realQualities), 0);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.offQualities), 0);
    EXPECT_EQ(readAt<std::uint32_t>(effect_, kRecord.ioRatio), 0x3F800000u);  // 1.0f
    EXPECT_NE(readAt<void*>(effect_, kRecord.object), nullptr);
    EXPECT_EQ(readAt<void*>(effect_, kRecord.user), nullptr);
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.uniqueID), 0x4B717A74);  // 'Kqzt'
    EXPECT_EQ(readAt<std::int32_t>(effect_, kRecord.version), 1);
    for (std::size_t offset = kRecord.future; offset < kRecord.future + 60; ++offset) {
        EXPECT_EQ(readAt<unsigned char>(effect_, offset), 0) << "future byte at " << offset;
    }
    for (std::size_t offset : {kRecord.dispatcher, kRecord.process, kRecord.setParameter,
                               kRecord.getParameter, kRecord.processReplacing}) {
        EXPECT_NE(readAt<void*>(effect_, offset), nullptr) << "entry point at " << offset;
    }
}

// The entry points are called through pointers read from the raw offsets, with the default C
// convention of the target: arguments on the stack on 32-bit x86, a float result in st(0).
TEST_F(LoadedPlugin, EntryPointsTakeAndReturnValuesInTheCConvention) {
    const auto setParameter = readAt<SetParameterEntry>(effect_, kRecord.setParameter);
    const auto getParameter = readAt<GetParameterEntry>(effect_, kRecord.getParameter);
    const auto dispatcher = readAt<DispatcherEntry>(effect_, kRecord.dispatcher);

    setParameter(effect_, 4, 0.375f);
    const float level = getParameter(effect_, 4);
    std::uint32_t levelBits;
    std::memcpy(&levelBits, &level, sizeof levelBits);
    EXPECT_EQ(levelBits, 0x3EC00000u);  // 0.375f, bit for bit

    char vendor[64] = "unchanged";
    EXPECT_EQ(dispatcher(effect_, effGetVendorString, 0, 0, vendor, 0.0f), 1);
    EXPECT_STREQ(vendor, "Velquist");
    char canDoText[] = "receiveVstMidiEvent";
    EXPECT_EQ(dispatcher(effect_, effCanDo, 0, 0, canDoText, 0.0f), 1);
    EXPECT_EQ(dispatcher(effect_, effGetVendorVersion, 0, 0, nullptr, 0.0f), 1);

    // effClose answers 1 and destroys the effect; the fixture must not close it again.
    EXPECT_EQ(dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f), 1);
    effect_ = nullptr;
}

TEST(PluginExports, OnlyMainIsVisibleToTheLoader) {
    const PluginLibrary library(pluginPath());
    EXPECT_EQ(library.entryName(), "main");
    EXPECT_EQ(library.findSymbol("corvalenPluginMain"), nullptr);
    EXPECT_EQ(library.findSymbol("VSTPluginMain"), nullptr);
    EXPECT_EQ(library.findSymbol("_main"), nullptr);
}

// Loading masks all six exceptions on the loading thread and keeps everything else of its
// floating-point control state: a host may have chosen a rounding mode or flush-to-zero for
// the thread that loads plug-ins. Only meaningful for the first load in the process.
TEST(PluginLoading, MasksExceptionsAndKeepsTheRestOfTheThreadsControlState) {
    if (PluginLibrary::isMapped(pluginPath())) GTEST_SKIP() << "library already loaded";
    const std::uint16_t originalControlWord = readX87ControlWord();
    const std::uint32_t originalMxcsr = readMxcsr();
    // x87: 53-bit precision, round toward zero; invalid, division by zero and overflow
    // unmasked. SSE: flush-to-zero, denormals-are-zero, round toward zero, all unmasked.
    setX87ControlWord(0x0E72);
    writeMxcsr(0xE040);
    std::uint16_t controlWordAfterLoad = 0;
    std::uint32_t mxcsrAfterLoad = 0;
    {
        const PluginLibrary library(pluginPath());
        controlWordAfterLoad = readX87ControlWord();
        mxcsrAfterLoad = readMxcsr();
        setX87ControlWord(originalControlWord);
        writeMxcsr(originalMxcsr);
        ASSERT_NE(library.entry(), nullptr);
    }
    EXPECT_EQ(controlWordAfterLoad, 0x0E7F);
    EXPECT_EQ(mxcsrAfterLoad & ~0x3Fu, 0xFFC0u);  // the low six bits are sticky flags
}

}  // namespace
}  // namespace corvalen::test
