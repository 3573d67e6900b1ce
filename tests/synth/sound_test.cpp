// The sound through the effect record: note timing, pitch, release, MIDI handling and the two
// process entries. Most cases compare bit for bit with the instrument played directly.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "tests/synth/reference_string.h"
#include "tests/synth/synth_harness.h"

namespace corvalen::test {
namespace {

// Closed form of the instrument's onset: after a note on, the first floor(L * p) outputs are
// exactly 0, where L = 44100 / f - 4 (single) is the loop delay and p the bow position.
int silentSamplesAfterNoteOn(float frequency, float bowPosition) {
    const float loopDelay = 44100.0f / frequency - 4.0f;
    return static_cast<int>(std::floor(loopDelay * bowPosition));
}

TEST(Sound, SilentBeforeTheFirstNote) {
    LoadedSynth synth;
    for (float sample : synth.play(4096)) ASSERT_EQ(sample, 0.0f);
}

TEST(Sound, FirstSoundAtTheOffsetTheBowPositionPredicts) {
    for (int note : {45, 57, 69, 81}) {
        LoadedSynth synth;
        synth.sendMidi({noteOn(7, note)});
        const auto out = synth.play(1024);
        EXPECT_EQ(firstNonZero(out), 7 + silentSamplesAfterNoteOn(noteFrequencies[note], 0.127236f))
            << note;
    }
}

TEST(Sound, BowPositionParameterMovesTheFirstSound) {
    // Parameter v drives control 0 with v * 127: position 0.2 * (127 v) / 128 + 0.027236.
    for (float v : {0.0f, 0.5f, 1.0f}) {
        LoadedSynth synth;
        synth.setParameter(0, v);
        synth.sendMidi({noteOn(0, 69)});
        const auto out = synth.play(1024);
        const float position = static_cast<float>(0.2 * (v * 127.0f) * (1.0 / 128) + 0.027236);
        EXPECT_EQ(firstNonZero(out), silentSamplesAfterNoteOn(440.0f, position)) << v;
    }
    // The extremes are 2 and 21 samples apart from 440 Hz's loop of 96.2 samples.
    EXPECT_EQ(silentSamplesAfterNoteOn(440.0f, 0.027236f), 2);
    EXPECT_EQ(silentSamplesAfterNoteOn(440.0f, 0.2256735f), 21);
}

TEST(Sound, SteadyToneAtTheNotesPitch) {
    // The string's loop is tuned to 44100 / f - 4 samples, the 4 standing for the delay of the
    // filters and the bow in the loop; they actually add about 3, so every tone's period is
    // about one sample shorter than the note's: sharp by 4 cents at 110 Hz, 17 at 440 Hz and
    // 35 at 880 Hz. Checked in samples, within 0.2 of that closed form (a semitone is 6 %).
    for (int note : {45, 52, 57, 64, 69, 76, 81}) {
        LoadedSynth synth;
        synth.sendMidi({noteOn(0, note, 110)});
        const auto out = synth.play(44100);
        const double expected = 44100.0 / noteFrequencies[note];
        const double period = measurePeriod(out, 22050, expected);
        const double cents = 1200.0 * std::log2(expected / period);
        std::printf("note %d: %.3f Hz, period %.4f samples for %.4f, %+.2f cents\n", note,
                    double(noteFrequencies[note]), period, expected, cents);
        RecordProperty("cents_note_" + std::to_string(note), std::to_string(cents));
        EXPECT_NEAR(period, expected - 1.0, 0.2) << note;
    }
}

TEST(Sound, MatchesTheInstrumentPlayedDirectly) {
    LoadedSynth synth;
    synth.sendMidi({noteOn(10, 60, 90), noteOn(100, 64, 127)});
    const auto out = synth.play(4096);

    ReferenceString reference;
    std::vector<float> expected;
    reference.render(10, expected);
    reference.noteOn(60, 90);
    reference.render(90, expected);
    reference.noteOn(64, 127);
    reference.render(4096 - 100, expected);
    EXPECT_TRUE(bitEqual(out, expected));
}

TEST(Sound, ReleaseEndsInSilence) {
    LoadedSynth synth;
    synth.sendMidi({noteOn(0, 69)});
    auto out = synth.play(22050);
    const double sounding = peakMagnitude(out, 11025, 22050);
    EXPECT_GT(sounding, 0.01);
    synth.sendMidi({noteOff(0, 69)});
    out = synth.play(44100);
    // The envelope releases within about 400 samples; the loop then loses 5 % per round trip
    // of about 100 samples: far below 1e-6 of the tone after half a second.
    EXPECT_LT(peakMagnitude(out, 22050, 44100), sounding * 1e-6);
    EXPECT_GT(peakMagnitude(out, 0, 256), 0.0);  // the release is not a cut
}

TEST(Sound, ReleaseThenStartAtOneOffsetActInListOrder) {
    LoadedSynth synth;
    synth.sendMidi({noteOn(0, 60)});
    auto out = synth.play(512);
    synth.sendMidi({noteOff(10, 60), noteOn(10, 62)});
    const auto second = synth.play(2048);
    out.insert(out.end(), second.begin(), second.end());

    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(60, 100);
    reference.render(512 + 10, expected);
    reference.noteOff();
    reference.noteOn(62, 100);
    reference.render(2048 - 10, expected);
    EXPECT_TRUE(bitEqual(out, expected));
}

// Plays `first` at block start, renders 1000 samples, then `second`, renders 3000 more.
std::vector<float> playTwoLists(const std::vector<ListedEvent>& first,
                                const std::vector<ListedEvent>& second) {
    LoadedSynth synth;
    synth.sendMidi(first);
    auto out = synth.play(1000);
    synth.sendMidi(second);
    const auto rest = synth.play(3000);
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
}

std::vector<float> referenceNoteThenRelease(int note, bool release) {
    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(note, 100);
    reference.render(1000 + 20, expected);
    if (release) reference.noteOff();
    reference.render(3000 - 20, expected);
    return expected;
}

TEST(Sound, LastNotePriority) {
    // Releasing the older key while a newer one sounds does nothing.
    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(60, 100);
    reference.render(1000, expected);
    reference.noteOn(64, 100);
    reference.render(3000, expected);
    EXPECT_TRUE(
        bitEqual(playTwoLists({noteOn(0, 60)}, {noteOn(0, 64), noteOff(20, 60)}), expected));
    // Releasing the newest key stops the sound although the older one is still held.
    std::vector<float> released;
    ReferenceString second;
    second.noteOn(60, 100);
    second.render(1000, released);
    second.noteOn(64, 100);
    second.render(20, released);
    second.noteOff();
    second.render(2980, released);
    EXPECT_TRUE(
        bitEqual(playTwoLists({noteOn(0, 60)}, {noteOn(0, 64), noteOff(20, 64)}), released));
}

TEST(Sound, NoteOnWithVelocityZeroReleases) {
    EXPECT_TRUE(bitEqual(playTwoLists({noteOn(0, 57)}, {noteOn(20, 57, 0)}),
                         referenceNoteThenRelease(57, true)));
    EXPECT_TRUE(bitEqual(playTwoLists({noteOn(0, 57)}, {noteOn(20, 58, 0)}),
                         referenceNoteThenRelease(57, false)));
}

TEST(Sound, NoteOffOnAnotherChannelReleases) {
    EXPECT_TRUE(bitEqual(playTwoLists({noteOn(0, 57, 100, 1)}, {noteOff(20, 57, 5)}),
                         referenceNoteThenRelease(57, true)));
}

TEST(Sound, RunningStatus) {
    // A first byte below 0x10 repeats the previous MIDI event's kind, here note on, with its
    // own note and velocity; a non-MIDI event in between does not interrupt it.
    const MidiMessage runningOn{20, 0x00, 64, 100};
    const MidiMessage runningOff{20, 0x03, 57, 0};
    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(57, 100);
    reference.render(1000, expected);
    reference.noteOn(57, 100);
    reference.render(20, expected);
    reference.noteOn(64, 100);
    reference.render(2980, expected);
    EXPECT_TRUE(
        bitEqual(playTwoLists({noteOn(0, 57)}, {noteOn(0, 57), sysex(5), runningOn}), expected));
    // Running note off.
    EXPECT_TRUE(bitEqual(playTwoLists({noteOn(0, 57)}, {noteOff(0, 40), sysex(5), runningOff}),
                         referenceNoteThenRelease(57, true)));
    // As the first MIDI event of a list it has no kind to repeat and is ignored, even after a
    // non-MIDI event.
    EXPECT_TRUE(bitEqual(playTwoLists({noteOn(0, 57)}, {sysex(0), runningOff}),
                         referenceNoteThenRelease(57, false)));
    // Another kind in between (program change) becomes the running kind.
    EXPECT_TRUE(bitEqual(playTwoLists({noteOn(0, 57)}, {MidiMessage{0, 0xC0, 3, 0}, runningOff}),
                         referenceNoteThenRelease(57, false)));
}

TEST(Sound, SystemExclusiveAndOtherKindsAreSkipped) {
    LoadedSynth synth;
    synth.sendMidi({sysex(0), MidiMessage{0, 0xE0, 0, 127}, MidiMessage{0, 0xA0, 60, 100},
                    MidiMessage{0, 0xD0, 100, 0}, MidiMessage{0, 0xC0, 5, 0},
                    MidiMessage{0, 0xF8, 0, 0}});
    for (float sample : synth.play(2048)) ASSERT_EQ(sample, 0.0f);
}

TEST(Sound, BothOutputsCarryTheSameBits) {
    LoadedSynth synth;
    synth.sendMidi({noteOn(3, 62)});
    const Block block = synth.render(4096);
    EXPECT_GT(peakMagnitude(block.left, 0, 4096), 0.0);
    EXPECT_TRUE(bitEqual(block.left, block.right));
}

TEST(Sound, ProcessAddsWhereProcessReplacingStores) {
    LoadedSynth replacing;
    LoadedSynth accumulating;
    replacing.sendMidi({noteOn(3, 62)});
    accumulating.sendMidi({noteOn(3, 62)});
    for (int block = 0; block < 4; ++block) {
        const Block y = replacing.render(1024);
        const Block sum = accumulating.accumulate(1024, 0.25f);
        for (int i = 0; i < 1024; ++i) {
            ASSERT_EQ(sum.left[i], 0.25f + y.left[i]) << i;
            ASSERT_EQ(sum.right[i], 0.25f + y.left[i]) << i;
        }
    }
}

TEST(Sound, EntriesApplyInTheirOwnBlockOnly) {
    // Two blocks after one event list: the second block applies nothing again.
    LoadedSynth synth;
    synth.sendMidi({noteOn(10, 60)});
    Block first = synth.render(256);
    const Block second = synth.render(256);
    first.left.insert(first.left.end(), second.left.begin(), second.left.end());
    ReferenceString reference;
    std::vector<float> expected;
    reference.render(10, expected);
    reference.noteOn(60, 100);
    reference.render(502, expected);
    EXPECT_TRUE(bitEqual(first.left, expected));
}

TEST(Sound, LevelScalesEverySampleAndZeroSilences) {
    LoadedSynth silent;
    silent.setParameter(5, 0.0f);
    silent.sendMidi({noteOn(0, 60)});
    for (float sample : silent.play(4096)) ASSERT_EQ(sample, 0.0f);

    LoadedSynth quiet;
    quiet.setParameter(5, 0.3f);
    quiet.sendMidi({noteOn(0, 60)});
    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(60, 100);
    reference.render(4096, expected, 0.3f);
    EXPECT_TRUE(bitEqual(quiet.play(4096), expected));
}

TEST(Sound, ParameterChangesTakeEffectAtTheNextBlock) {
    // Set between blocks, each change sounds exactly as if the instrument had received it at
    // once: control 0 and 120 with v * 127, 11 with v * 127, control 1 with v * 32.
    LoadedSynth synth;
    synth.sendMidi({noteOn(0, 55)});
    auto out = synth.play(1024);
    synth.setParameter(1, 0.3f);
    synth.setParameter(0, 0.8f);
    synth.setParameter(0, 0.7f);  // only the latest value matters
    auto more = synth.play(1024);
    out.insert(out.end(), more.begin(), more.end());
    synth.setParameter(3, 0.5f);
    synth.setParameter(2, 0.9f);
    synth.setParameter(4, 0.2f);  // off gain: no audible effect on this instrument
    more = synth.play(1024);
    out.insert(out.end(), more.begin(), more.end());

    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(55, 100);
    reference.render(1024, expected);
    reference.control(0, 0.7f * 127.0f);
    reference.control(120, 0.3f * 127.0f);
    reference.render(1024, expected);
    reference.control(11, 0.9f * 127.0f);
    reference.control(1, 0.5f * 32.0f);
    reference.render(1024, expected);
    EXPECT_TRUE(bitEqual(out, expected));
}

TEST(Sound, SelectingAProgramLeavesTheInstrumentAlone) {
    LoadedSynth synth;
    synth.setParameter(0, 0.9f);
    synth.setParameter(5, 0.2f);
    synth.sendMidi({noteOn(0, 60)});
    auto out = synth.play(1024);
    synth.dispatch(effSetProgram, 0, 4);  // level back to 0.8, bow stays at 0.9
    const auto more = synth.play(1024);
    out.insert(out.end(), more.begin(), more.end());

    ReferenceString reference;
    std::vector<float> expected;
    reference.control(0, 0.9f * 127.0f);
    reference.noteOn(60, 100);
    reference.render(1024, expected, 0.2f);
    reference.render(1024, expected, 0.8f);
    EXPECT_TRUE(bitEqual(out, expected));
}

TEST(Sound, SetValuesReachTheInstrumentWhicheverProgramIsSelectedAfterThem) {
    // A host restoring a session sets parameters and selects a program in either order before
    // the next block. The instrument hears what setParameter gave, the last of two for one
    // index, as if each had been applied at once; selection changes only what reads back.
    auto setThenSelect = [](LoadedSynth& synth) {
        synth.setParameter(0, 0.2f);
        synth.setParameter(0, 0.9f);
        synth.setParameter(1, 0.35f);
        synth.dispatch(effSetProgram, 0, 7);
    };
    auto selectThenSet = [](LoadedSynth& synth) {
        synth.dispatch(effSetProgram, 0, 7);
        synth.setParameter(1, 0.35f);
        synth.setParameter(0, 0.9f);
    };
    ReferenceString reference;
    std::vector<float> expected;
    reference.control(0, 0.9f * 127.0f);
    reference.control(120, 0.35f * 127.0f);
    reference.noteOn(62, 100);
    reference.render(2048, expected);

    LoadedSynth restoredThenSelected;
    setThenSelect(restoredThenSelected);
    EXPECT_EQ(restoredThenSelected.getParameter(0), 0.5f);
    restoredThenSelected.sendMidi({noteOn(0, 62)});
    EXPECT_TRUE(bitEqual(restoredThenSelected.play(2048), expected));

    LoadedSynth selectedThenRestored;
    selectThenSet(selectedThenRestored);
    EXPECT_EQ(selectedThenRestored.getParameter(0), 0.9f);
    selectedThenRestored.sendMidi({noteOn(0, 62)});
    EXPECT_TRUE(bitEqual(selectedThenRestored.play(2048), expected));
}

TEST(Sound, ModFreqDrivesTheRateAndModGainTheDepth) {
    // The instrument's modulator has no vibrato or random gain, so its rate (Mod Freq) never
    // shows in the samples, while any depth (Mod Gain) sets the nut-side delay again every
    // sample and does. Swapping the two parameters' controls breaks one of these.
    auto playWith = [](int index, float value) {
        LoadedSynth synth;
        synth.setParameter(index, value);
        synth.sendMidi({noteOn(0, 57)});
        return synth.play(8192);
    };
    ReferenceString reference;
    std::vector<float> plain;
    reference.noteOn(57, 100);
    reference.render(8192, plain);
    EXPECT_TRUE(bitEqual(playWith(2, 0.9f), plain));
    EXPECT_NE(playWith(3, 0.5f), plain);
}

}  // namespace
}  // namespace corvalen::test
