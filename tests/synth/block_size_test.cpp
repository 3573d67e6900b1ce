// The host's block size is not part of the sound: the same events at the same absolute sample
// positions give the same samples, bit for bit, whatever the blocks they arrive in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "synth/note_frequencies.h"
#include "tests/synth/synth_harness.h"

namespace corvalen::test {
namespace {

// Every block size below divides it, so parameter changes (which hosts make between blocks)
// can happen at the same sample in every rendering.
constexpr VstInt32 kCommonBoundary = 7 * 4096;
constexpr VstInt32 kLength = 3 * kCommonBoundary;

struct TimedParameter {
    VstInt32 position;  // a multiple of kCommonBoundary
    VstInt32 index;
    float value;
};

// Notes that overlap, a release of a note no longer sounding, a release and a start at one
// sample, a note-on with velocity 0, events at the first and last sample of blocks of 7 and 64,
// and a stretch with Mod Gain above 0 (the nut-side delay set again every sample).
// Frames are absolute; each block sends them relative to its start.
const std::vector<MidiMessage> kNotes = {
    noteOn(100, 60, 90),    noteOn(5000, 64, 127),     noteOff(6000, 60),    noteOff(6006, 64),
    noteOn(6006, 67, 50),   noteOn(6399, 69, 80, 3),   noteOff(6400, 69, 9), noteOn(20000, 67, 0),
    noteOn(28705, 72, 100), noteOn(40000, 74, 110),    noteOn(50000, 74, 0), noteOn(58344, 62, 127),
    noteOn(58344, 62, 127), controller(80000, 123, 0),
};

const std::vector<TimedParameter> kParameters = {
    {kCommonBoundary, 0, 0.9f},     {kCommonBoundary, 1, 0.3f},     {kCommonBoundary, 2, 0.7f},
    {kCommonBoundary, 3, 0.5f},     {kCommonBoundary, 5, 0.6f},     {2 * kCommonBoundary, 3, 0.0f},
    {2 * kCommonBoundary, 4, 0.5f}, {2 * kCommonBoundary, 0, 0.2f},
};

// The whole phrase through the record in blocks of `blockSize` frames; left channel (the
// harness checks the right one against it).
std::vector<float> renderInBlocks(VstInt32 blockSize) {
    LoadedSynth synth;
    std::vector<float> out;
    out.reserve(kLength);
    for (VstInt32 start = 0; start < kLength; start += blockSize) {
        const VstInt32 frames = std::min(blockSize, kLength - start);
        for (const TimedParameter& change : kParameters) {
            if (change.position == start) synth.setParameter(change.index, change.value);
        }
        std::vector<ListedEvent> block;
        for (MidiMessage note : kNotes) {
            if (note.frame >= start && note.frame < start + frames) {
                note.frame -= start;
                block.push_back(note);
            }
        }
        if (!block.empty()) synth.sendMidi(block);
        const Block rendered = synth.render(frames);
        EXPECT_TRUE(bitEqual(rendered.left, rendered.right)) << blockSize << " at " << start;
        out.insert(out.end(), rendered.left.begin(), rendered.left.end());
    }
    return out;
}

TEST(BlockSize, SameEventsGiveTheSameSamplesInBlocksOfAnySize) {
    const std::vector<float> reference = renderInBlocks(4096);
    ASSERT_EQ(reference.size(), static_cast<std::size_t>(kLength));
    // The phrase sounds in each of its parts, so equality is not that of silence.
    // The first note (C4 at sample 100) sounds after the bow-to-bridge delay of its loop.
    const float loopDelay = 44100.0f / noteFrequencies[60] - 4.0f;
    EXPECT_EQ(firstNonZero(reference), 100 + static_cast<long>(std::floor(loopDelay * 0.127236f)));
    EXPECT_GT(peakMagnitude(reference, 2000, 6000), 0.01);
    EXPECT_GT(peakMagnitude(reference, 30000, 40000), 0.01);
    EXPECT_GT(peakMagnitude(reference, 60000, 80000), 0.01);

    for (VstInt32 blockSize : {1, 7, 64, 512}) {
        const std::vector<float> rendered = renderInBlocks(blockSize);
        ASSERT_EQ(rendered.size(), reference.size()) << blockSize;
        std::size_t firstDifference = 0;
        while (firstDifference < reference.size() &&
               bitEqual({rendered[firstDifference]}, {reference[firstDifference]})) {
            ++firstDifference;
        }
        EXPECT_EQ(firstDifference, reference.size()) << "blocks of " << blockSize;
    }
}

}  // namespace
}  // namespace corvalen::test
