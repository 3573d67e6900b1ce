// Parameter changes from a host's other threads while the audio thread renders. Run under
// ThreadSanitizer (preset tsan) this also proves the two threads share no unsynchronised data.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>
#include <thread>

#include "tests/synth/reference_string.h"
#include "tests/synth/synth_harness.h"

namespace corvalen::test {
namespace {

TEST(Threads, ParametersAndDisplaysWhileRendering) {
    LoadedSynth synth;
    std::atomic<bool> done{false};
    std::atomic<int> blocksRendered{0};

    std::thread audio([&] {
        for (int block = 0; block < 400; ++block) {
            if (block % 50 == 0) synth.sendMidi({noteOn(block % 7, 48 + block / 50)});
            const Block out = synth.render(256);
            for (float sample : out.left) ASSERT_TRUE(std::isfinite(sample));
            ++blocksRendered;
        }
        done = true;
    });

    int changes = 0;
    while (!done || changes < 200) {
        const int index = changes % 6;
        // Level stays positive so that the sound is checked, not silenced.
        synth.setParameter(index, 0.05f + 0.9f * ((changes * 37) % 101) / 100.0f);
        const std::string shown = synth.text(effGetParamDisplay, index);
        EXPECT_FALSE(shown.empty());
        EXPECT_LE(shown.size(), 8u);
        EXPECT_GE(synth.getParameter(index), 0.05f);
        if (changes % 97 == 0) synth.dispatch(effSetProgram, 0, changes % 32);
        ++changes;
        if (done && changes >= 200) break;
    }
    audio.join();
    EXPECT_EQ(blocksRendered.load(), 400);

    // The last value set wins.
    synth.setParameter(3, 0.375f);
    EXPECT_EQ(synth.getParameter(3), 0.375f);
    EXPECT_EQ(synth.text(effGetParamDisplay, 3), "0.38");
}

TEST(Threads, ASetRacingAProgramSelectionEndsInOneOfTheTwoOrders) {
    // Whichever call lands first, the instrument hears the set value, and the value read back
    // is either the set one (select, then set) or the program's (set, then select).
    ReferenceString reference;
    std::vector<float> expected;
    reference.control(120, 0.25f * 127.0f);
    reference.noteOn(64, 100);
    reference.render(1024, expected);

    for (int round = 0; round < 50; ++round) {
        LoadedSynth synth;
        std::atomic<int> ready{0};
        auto startTogether = [&ready] {
            ++ready;
            while (ready.load() < 2) {
            }
        };
        std::thread automation([&] {
            startTogether();
            synth.setParameter(1, 0.25f);
        });
        std::thread restore([&] {
            startTogether();
            synth.dispatch(effSetProgram, 0, 9);
        });
        automation.join();
        restore.join();
        const float readBack = synth.getParameter(1);
        EXPECT_TRUE(readBack == 0.25f || readBack == 0.6f) << readBack;
        synth.sendMidi({noteOn(0, 64)});
        ASSERT_TRUE(bitEqual(synth.play(1024), expected)) << "round " << round;
    }
}

}  // namespace
}  // namespace corvalen::test
