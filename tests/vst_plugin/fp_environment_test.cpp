// Floating-point exceptions are masked when the plug-in library is loaded, on the loading
// thread, without touching the x87 precision and rounding fields.
#include "vst_plugin/fp_environment.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/vst_plugin/test_effect.h"
#include "vst_host/plugin_library.h"

namespace corvalen::test {
namespace {

#if defined(__i386__) || defined(__x86_64__)

// Exception flags left over from earlier arithmetic would trap at the next x87 instruction
// once their masks are cleared, so they are cleared first.
void clearExceptionFlags() {
    __asm__ __volatile__("fnclex");
}

// A fresh copy of the library, so that its initialisation runs even if the process has loaded
// the original before (a second dlopen of the same file runs nothing).
class FreshLibraryCopy {
public:
    FreshLibraryCopy() {
        const std::filesystem::path original = testEffectPath();
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        path_ = std::filesystem::temp_directory_path() /
                ("corvalen_fp_" + std::to_string(stamp) + original.extension().string());
        std::filesystem::copy_file(original, path_);
    }
    ~FreshLibraryCopy() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

TEST(FloatingPointEnvironment, LoadingTheLibraryMasksExceptionsAndKeepsTheRest) {
    FreshLibraryCopy copy;
    const std::uint16_t originalControlWord = readX87ControlWord();
    const std::uint32_t originalMxcsr = readMxcsr();

    // Unmasked exceptions, double precision (0x200) and round toward zero (0xC00); the bit
    // 0x40 is reserved and reads back as 1 on real processors, so it is left as it is. Nothing
    // between here and the check computes with floating point, so nothing can trap.
    const std::uint16_t unmasked =
        static_cast<std::uint16_t>((originalControlWord & 0x0040) | 0x0E00);
    const std::uint32_t unmaskedMxcsr = (originalMxcsr & ~(kMxcsrExceptionMasks | 0x3F)) | 0x6000;
    clearExceptionFlags();
    writeX87ControlWord(unmasked);
    writeMxcsr(unmaskedMxcsr);
    std::uint16_t controlWordAfterLoad = 0;
    std::uint32_t mxcsrAfterLoad = 0;
    {
        vsthost::PluginLibrary library(copy.path());
        controlWordAfterLoad = readX87ControlWord();
        mxcsrAfterLoad = readMxcsr();
        writeX87ControlWord(originalControlWord);
        writeMxcsr(originalMxcsr);
        ASSERT_TRUE(library.entry());
    }
    EXPECT_EQ(controlWordAfterLoad, unmasked | kX87ExceptionMasks);
    // The rounding field (0x6000, round toward zero) and flags stay; only the masks are set.
    EXPECT_EQ(mxcsrAfterLoad & ~std::uint32_t{0x3F}, unmaskedMxcsr | kMxcsrExceptionMasks);
}

TEST(FloatingPointEnvironment, MaskingSetsOnlyTheSixMaskBits) {
    const std::uint16_t originalControlWord = readX87ControlWord();
    const std::uint32_t originalMxcsr = readMxcsr();
    clearExceptionFlags();
    writeX87ControlWord(0x0240);
    writeMxcsr(0x2000);  // round down, everything unmasked
    maskFloatingPointExceptions();
    const std::uint16_t controlWord = readX87ControlWord();
    const std::uint32_t mxcsr = readMxcsr();
    writeX87ControlWord(originalControlWord);
    writeMxcsr(originalMxcsr);
    EXPECT_EQ(controlWord, 0x027F);
    EXPECT_EQ(mxcsr & ~std::uint32_t{0x3F}, 0x3F80u);
}

#else

TEST(FloatingPointEnvironment, NotX86) {
    GTEST_SKIP() << "x87 and MXCSR exist on x86 only";
}

#endif

}  // namespace
}  // namespace corvalen::test
