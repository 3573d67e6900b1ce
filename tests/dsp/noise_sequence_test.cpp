// The generator is process-wide and starts at 0 when the library is loaded, so its absolute
// sequence can only be checked in a process where nothing has drawn before: this executable
// holds that one test.
#include <gtest/gtest.h>

#include <cstdint>

#include "dsp/noise.h"
#include "tests/support/float_bits.h"

TEST(RandomGenerator, FirstSixNoiseValuesAfterLoad) {
    ASSERT_EQ(0u, velquistdsp::randomState());
    velquistdsp::tnoise noise;
    EXPECT_SAME_FLOAT(0.0f, noise.lastSample);
    const uint32_t states[6] = {1u, 134775814u, 3698175007u, 870078620u, 1172187917u, 2884733762u};
    const float values[6] = {-0.5f,
                             -0.4686279296875f,
                             0.36102294921875f,
                             -0.29742431640625f,
                             -0.227081298828125f,
                             0.171630859375f};
    for (int i = 0; i < 6; ++i) {
        EXPECT_SAME_FLOAT(values[i], noise.computeSample()) << i;
        EXPECT_EQ(states[i], velquistdsp::randomState()) << i;
        EXPECT_SAME_FLOAT(values[i], noise.lastSample);
    }
}
