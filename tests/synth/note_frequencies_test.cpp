// The shared table of note frequencies: built at compile time, it must hold the same bits as
// the double-precision product run at run time.
#include "synth/note_frequencies.h"

#include <gtest/gtest.h>

namespace {

TEST(NoteFrequencies, KnownEntries) {
    EXPECT_EQ(noteFrequencies[69], 440.0f);
    EXPECT_EQ(noteFrequencies[60], 261.62558f);
    EXPECT_EQ(noteFrequencies[0], static_cast<float>(8.175798915643709));
    // 440 * 2^(58/12) = 12543.8539514..., within a float's step of 0.00098 there.
    EXPECT_NEAR(noteFrequencies[127], 12543.8539514, 0.00098);
    EXPECT_EQ(noteFrequencies[57], 220.0f);
    EXPECT_EQ(noteFrequencies[81], 880.0f);
}

TEST(NoteFrequencies, SameBitsAsTheRunTimeProduct) {
    // volatile keeps the compiler from folding this loop into the compile-time table.
    volatile double semitone = 1.0594630943592953;
    double frequency = 6.875;
    for (int i = 0; i < 3; ++i) frequency *= semitone;
    for (int note = 0; note < 128; ++note) {
        ASSERT_EQ(noteFrequencies[note], static_cast<float>(frequency)) << note;
        frequency *= semitone;
    }
}

}  // namespace
