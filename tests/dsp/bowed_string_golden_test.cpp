// A phrase played on the instrument, compared sample for sample with an independent
// single-precision model of the string (tests/dsp/reference_model.py, which prints the table
// and checksum below). Any change in rounding, order of operations or constants shows up here.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "dsp/bowed_string.h"
#include "tests/support/float_bits.h"

using velquistdsp::tbowedstring;

using corvalen::test::bitsOf;
namespace {

std::vector<float> playPhrase() {
    tbowedstring string(20.0f);
    std::vector<float> out;
    auto play = [&](int samples) {
        for (int i = 0; i < samples; ++i) out.push_back(string.computeSample());
    };
    string.noteOff(0.0f);
    string.noteOn(441.0f, 1.0f);
    play(3000);
    string.controlChange(0, 100.0f);
    string.controlChange(120, 90.0f);
    play(2000);
    string.noteOn(293.66476f, 90.0f / 127.0f);
    play(2000);
    string.controlChange(1, 5.0f);
    play(1000);
    string.noteOff(0.0f);
    play(1500);
    return out;
}

const std::pair<int, float> goldenSamples[] = {
    {12, 0x1.579d12p-15f},   {512, -0x1.33eb46p-6f},  {1012, -0x1.bbb604p-3f},
    {1512, -0x1.9d5786p-3f}, {2012, -0x1.0f5160p-5f}, {2512, 0x1.21d444p-3f},
    {3012, 0x1.99a9f8p-3f},  {3512, 0x1.4c9a88p-3f},  {4012, 0x1.9d147ep-4f},
    {4512, 0x1.9107e6p-4f},  {5012, 0x1.48d0e8p-5f},  {5512, -0x1.1e3808p-8f},
    {6012, -0x1.370e94p-3f}, {6512, 0x1.571868p-5f},  {7012, 0x1.5d8900p-4f},
    {7512, -0x1.5e0570p-1f}, {8012, 0x1.d7af14p-4f},  {8512, 0x1.1f41e8p-5f},
    {9012, 0x1.8a1e68p-10f},
};

}  // namespace

TEST(BowedStringGolden, PhraseMatchesTheReferenceModelBitForBit) {
    const std::vector<float> out = playPhrase();
    ASSERT_EQ(9500u, out.size());
    for (const auto& [index, expected] : goldenSamples) {
        EXPECT_SAME_FLOAT(expected, out[index]) << "sample " << index;
    }
    uint64_t checksum = 0;
    for (float sample : out) checksum = checksum * 31 + bitsOf(sample);
    EXPECT_EQ(0x6d031b296777c7bfull, checksum);
}
