// Faults the fuzz targets found, each reproduced through the exported entry points as a host
// would meet it, with the input that exposed it kept in fuzz/corpus/.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "tests/vst_plugin/test_host.h"

namespace corvalen::reliability {
namespace {

constexpr VstInt32 kBowPresParameter = 1;
constexpr float kDefaultBowPres = 0.6f;

const testing::PluginLibrary& library() {
    return testing::sharedPluginLibrary(CORVALEN_PLUGIN_DEFAULT_PATH);
}

// Number of samples that are NaN or infinite in `blocks` blocks of 512 frames.
std::size_t nonFiniteSamples(testing::Effect& effect, int blocks) {
    std::size_t count = 0;
    for (int b = 0; b < blocks; ++b) {
        testing::AudioBlock block(512);
        effect.processReplacing(block);
        for (std::size_t i = 0; i < block.frames(); ++i) {
            count += std::isfinite(block.left()[i]) && std::isfinite(block.right()[i]) ? 0 : 1;
        }
    }
    return count;
}

// Found by corvalen_fuzz_events (fuzz/corpus/corvalen_fuzz_events/finding_huge_bow_pressure):
// a finite Bow Pres beyond about 2.7e36 overflowed to infinity once scaled by 127, the friction
// curve's slope became infinite, and the silent string's zero velocity difference times that
// slope gave NaN, which then circulated in the delay lines for good: the effect answered NaN
// until the host closed it, whatever it sent afterwards.
TEST(FuzzFindings, HugeBowPressureNeverTurnsTheStringToNaN) {
    ASSERT_TRUE(library().isLoaded()) << library().error();
    testing::TestHost host;
    for (const float huge : {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                             1.9e38f, 2.7e36f}) {
        testing::Effect effect(host.open(library()));
        ASSERT_TRUE(effect.isOpen());
        effect.dispatch(effMainsChanged, 0, 1);
        effect.setParameter(kBowPresParameter, huge);
        // The value is kept as sent (no clamping) ...
        const float readBack = effect.getParameter(kBowPresParameter);
        EXPECT_EQ(std::memcmp(&readBack, &huge, sizeof huge), 0);
        EXPECT_EQ(nonFiniteSamples(effect, 4), 0u) << huge;  // silent string

        testing::EventList note;
        note.addMidi(0, 0x90, 60, 100);
        effect.sendEvents(note);
        EXPECT_EQ(nonFiniteSamples(effect, 20), 0u) << huge;

        // ... and the effect plays on once the host sends a usual value again.
        effect.setParameter(kBowPresParameter, kDefaultBowPres);
        effect.sendEvents(note);
        EXPECT_EQ(nonFiniteSamples(effect, 20), 0u) << huge;
    }
}

}  // namespace
}  // namespace corvalen::reliability
