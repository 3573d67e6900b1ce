// The floating-point state of the rendering calls, through the effect record: subnormal floats
// are flushed to zero while the plug-in renders (the released string's tail would otherwise
// sink into a slow subnormal limit cycle), and the caller's MXCSR is back, bit for bit, when a
// call returns.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tests/synth/reference_string.h"
#include "tests/synth/synth_harness.h"
#include "vst_plugin/fp_environment.h"

namespace corvalen::test {
namespace {

constexpr int kRate = 44100;
constexpr float kLevel = 0.8f;

bool isSubnormal(float x) {
    return std::fpclassify(x) == FP_SUBNORMAL;
}

// Whether any value the instrument stored during its latest step is subnormal: the slot each
// line just wrote and its interpolated output, both filters' newest input and output, the
// friction coefficient and the envelope. Every other stored value is one of these, shifted.
bool stepStoredSubnormal(const velquistdsp::tbowedstring& string) {
    auto lineStoredSubnormal = [](const velquistdsp::tdlinel& line) {
        const int written = line.writeIndex == 0 ? line.length - 1 : line.writeIndex - 1;
        return isSubnormal(line.inputs[written]) || isSubnormal(line.outputs[0]);
    };
    return lineStoredSubnormal(string.nutLine) || lineStoredSubnormal(string.bridgeLine) ||
           isSubnormal(string.lossFilter.inputs[0]) || isSubnormal(string.lossFilter.outputs[0]) ||
           isSubnormal(string.bodyResonator.inputs[0]) ||
           isSubnormal(string.bodyResonator.outputs[0]) || isSubnormal(string.bow.lastValue) ||
           isSubnormal(string.envelope.value);
}

// A4 at full velocity, held one second and released, played for `seconds` after the release.
TEST(FloatingPointState, ReleasedTailMatchesIeeeUntilItTurnsSubnormalThenIsZero) {
    constexpr int kHold = kRate;
    constexpr int kTail = 36 * kRate;

    LoadedSynth synth;
    synth.setParameter(5, kLevel);
    synth.sendMidi({noteOn(0, 69, 127)});
    std::vector<float> played = synth.play(kHold);
    synth.sendMidi({noteOff(0, 69)});
    const std::vector<float> tail = synth.play(kTail);
    played.insert(played.end(), tail.begin(), tail.end());

    // The instrument alone under this thread's IEEE arithmetic.
    ReferenceString reference;
    std::vector<float> ieee;
    reference.noteOn(69, 127);
    reference.render(kHold, ieee, kLevel);
    reference.noteOff();
    long firstSubnormal = -1;
    long subnormalOutputs = 0;
    for (int i = 0; i < kTail; ++i) {
        const float y = reference.string.computeSample() * kLevel;
        ieee.push_back(y);
        const bool subnormal = isSubnormal(y);
        subnormalOutputs += subnormal;
        if (firstSubnormal < 0 && (subnormal || stepStoredSubnormal(reference.string))) {
            firstSubnormal = kHold + i;
        }
    }
    ASSERT_GT(firstSubnormal, 0);
    const double secondsAfterRelease = static_cast<double>(firstSubnormal - kHold) / kRate;
    std::printf(
        "IEEE render: first subnormal %.3f s after the note-off; %ld subnormal outputs "
        "in the %d s that follow the release\n",
        secondsAfterRelease, subnormalOutputs, kTail / kRate);
    // About half a minute, and from then on nearly all subnormal (measured: 32.715 s, and
    // 144,851 of the 144,868 outputs that follow).
    EXPECT_GT(secondsAfterRelease, 30.0);
    EXPECT_LT(secondsAfterRelease, 34.0);
    EXPECT_GT(subnormalOutputs, (ieee.size() - firstSubnormal) / 2);

    const std::vector<float> played_before(played.begin(), played.begin() + firstSubnormal);
    const std::vector<float> ieee_before(ieee.begin(), ieee.begin() + firstSubnormal);
    EXPECT_TRUE(bitEqual(played_before, ieee_before));
    long nonZeroAfter = 0;
    for (std::size_t i = firstSubnormal; i < played.size(); ++i) nonZeroAfter += played[i] != 0.0f;
    EXPECT_EQ(nonZeroAfter, 0);
    // The flush does not reach the host's thread: it computed subnormals just above, and
    // computes one now.
    volatile float smallestNormal = 1.17549435e-38f;
    EXPECT_TRUE(isSubnormal(smallestNormal / 2.0f));
}

#if defined(CORVALEN_HAS_MXCSR)

constexpr std::uint32_t kDefaultMxcsr = 0x1F80;     // all masked, to nearest, no flags
constexpr std::uint32_t kFlushAndDaz = 0x8040;      // what the plug-in sets for itself
constexpr std::uint32_t kRoundTowardZero = 0x6000;  // rounding control 3
constexpr std::uint32_t kAllFlags = 0x003F;
constexpr std::uint32_t kPrecisionAndUnderflowMasks = 0x1800;

TEST(FloatingPointState, CallersMxcsrIsRestoredExactlyAndDoesNotChangeTheSound) {
    // The sound of the same events rendered under the test's own (default) state.
    const std::uint32_t own = readMxcsr();
    ASSERT_EQ(own & ~kAllFlags, kDefaultMxcsr);
    std::vector<float> expected;
    {
        LoadedSynth synth;
        synth.sendMidi({noteOn(0, 57, 100)});
        expected = synth.play(4096);
    }

    // States a host thread may be in: FTZ/DAZ already on, another rounding, sticky flags
    // raised, and exceptions the sound raises all the time (inexact, underflow) unmasked.
    const std::uint32_t callerStates[] = {
        kDefaultMxcsr,
        kDefaultMxcsr | kFlushAndDaz,
        kDefaultMxcsr | kFlushAndDaz | kAllFlags,  // already the rendering state: no write on entry
        kDefaultMxcsr | kRoundTowardZero,
        kDefaultMxcsr | kAllFlags,
        (kDefaultMxcsr & ~kPrecisionAndUnderflowMasks) | 0x4000,  // and round down
    };
    for (const std::uint32_t caller : callerStates) {
        for (const bool accumulate : {false, true}) {
            LoadedSynth synth;
            synth.sendMidi({noteOn(0, 57, 100)});
            AEffect* const effect = synth.effect();
            std::vector<float> left(4096, 0.0f), right(4096, 0.0f);
            float* outputs[2] = {left.data(), right.data()};
            std::uint32_t after[8];
            for (int block = 0; block < 8; ++block) {
                float* at[2] = {outputs[0] + 512 * block, outputs[1] + 512 * block};
                writeMxcsr(caller);
                if (accumulate) {
                    effect->process(effect, nullptr, at, 512);
                } else {
                    effect->processReplacing(effect, nullptr, at, 512);
                }
                after[block] = readMxcsr();
                writeMxcsr(own);
            }
            for (std::uint32_t state : after) {
                EXPECT_EQ(state, caller) << std::hex << caller << (accumulate ? " process" : "");
            }
            EXPECT_TRUE(bitEqual(left, expected)) << std::hex << caller;
            EXPECT_TRUE(bitEqual(right, expected)) << std::hex << caller;
        }
    }
}

#endif  // CORVALEN_HAS_MXCSR

}  // namespace
}  // namespace corvalen::test
