// Faults the fuzz targets found, each reproduced through the exported entry points as a host
// would meet it, with the input that exposed it kept in fuzz/corpus/.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>

#include "tests/support/plugin_under_test.h"
#include "vst_host/audio_block.h"
#include "vst_host/effect.h"
#include "vst_host/event_list.h"
#include "vst_host/host.h"

namespace corvalen::test {
namespace {

constexpr VstInt32 kBowPresParameter = 1;
constexpr float kDefaultBowPres = 0.6f;

// Number of samples that are NaN or infinite in `blocks` blocks of 512 frames.
std::size_t nonFiniteSamples(vsthost::Effect& effect, int blocks) {
    std::size_t count = 0;
    for (int b = 0; b < blocks; ++b) {
        vsthost::AudioBlock block(512);
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
    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    for (const float huge : {std::numeric_limits<float>::max(), -std::numeric_limits<float>::max(),
                             1.9e38f, 2.7e36f}) {
        vsthost::Effect effect(host.open(pluginUnderTest()));
        ASSERT_TRUE(effect.isOpen());
        effect.dispatch(effMainsChanged, 0, 1);
        effect.setParameter(kBowPresParameter, huge);
        // The value is kept as sent (no clamping) ...
        const float readBack = effect.getParameter(kBowPresParameter);
        EXPECT_EQ(std::memcmp(&readBack, &huge, sizeof huge), 0);
        EXPECT_EQ(nonFiniteSamples(effect, 4), 0u) << huge;  // silent string

        vsthost::EventList note;
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
}  // namespace corvalen::test
