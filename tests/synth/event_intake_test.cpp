// Event lists a host should not send, or sends in bulk: crowded lists, odd bytes, odd offsets,
// null pointers and empty blocks. Each has a defined, safe answer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "tests/synth/reference_string.h"
#include "tests/synth/synth_harness.h"

namespace corvalen::test {
namespace {

TEST(EventIntake, FortyNoteOnsEndOnTheFortieth) {
    LoadedSynth synth;
    std::vector<ListedEvent> list;
    for (int i = 0; i < 40; ++i) list.push_back(noteOn(i, 30 + i));  // the last is 69, 440 Hz
    EXPECT_EQ(synth.sendMidi(list), 1);
    const auto out = synth.play(44100);
    // The string ends up at the period of note 69 played alone, not at the 31st note's.
    LoadedSynth alone;
    alone.sendMidi({noteOn(0, 69)});
    const double period = measurePeriod(alone.play(44100), 22050, 100.2);
    EXPECT_NEAR(measurePeriod(out, 22050, 100.2), period, 0.05);
    EXPECT_GT(peakMagnitude(out, 22050), 0.01);
}

TEST(EventIntake, FortyEventsEndingWithTheLastNotesReleaseEndSilent) {
    std::vector<ListedEvent> list;
    for (int i = 0; i < 39; ++i) list.push_back(noteOn(i, 30 + i));
    list.push_back(noteOff(39, 68));
    LoadedSynth synth;
    synth.sendMidi(list);
    EXPECT_LT(peakMagnitude(synth.play(44100), 22050), 1e-7);

    // Without the release the same list keeps sounding.
    list.pop_back();
    LoadedSynth held;
    held.sendMidi(list);
    EXPECT_GT(peakMagnitude(held.play(44100), 22050), 0.01);
}

TEST(EventIntake, ReleaseInAFullQueueAfterItsDuplicateEndsSilent) {
    std::vector<ListedEvent> list;
    for (int i = 0; i < 36; ++i) list.push_back(noteOn(i, 40 + i));
    list.push_back(noteOff(36, 75));
    list.push_back(noteOff(37, 75));
    list.push_back(controller(38, 123, 0));
    LoadedSynth synth;
    synth.sendMidi(list);
    EXPECT_LT(peakMagnitude(synth.play(44100), 22050), 1e-7);
}

TEST(EventIntake, ArdourStylePanicAtTheLastFrameReleases) {
    // Sustain off, All Notes Off and Reset All Controllers on all 16 channels, all at the
    // last frame of the block.
    LoadedSynth synth;
    synth.sendMidi({noteOn(0, 62)});
    auto out = synth.play(1024);
    std::vector<ListedEvent> panic;
    for (int channel = 0; channel < 16; ++channel) {
        panic.push_back(controller(255, 64, 0, channel));
        panic.push_back(controller(255, 123, 0, channel));
        panic.push_back(controller(255, 121, 0, channel));
    }
    ASSERT_EQ(panic.size(), 48u);
    synth.sendMidi(panic);
    const Block block = synth.render(256);
    out.insert(out.end(), block.left.begin(), block.left.end());
    const auto rest = synth.play(44100);
    out.insert(out.end(), rest.begin(), rest.end());

    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(62, 100);
    reference.render(1024 + 255, expected);
    reference.noteOff();
    reference.render(1 + 44100, expected);
    EXPECT_TRUE(bitEqual(out, expected));
    EXPECT_LT(peakMagnitude(out, out.size() - 22050), 1e-7);
}

TEST(EventIntake, AllSoundOffReleasesAndOtherControllersDoNothing) {
    auto playWith = [](const std::vector<ListedEvent>& second) {
        LoadedSynth synth;
        synth.sendMidi({noteOn(0, 50)});
        auto out = synth.play(512);
        synth.sendMidi(second);
        const auto rest = synth.play(2048);
        out.insert(out.end(), rest.begin(), rest.end());
        return out;
    };
    auto reference = [](bool release) {
        ReferenceString string;
        std::vector<float> expected;
        string.noteOn(50, 100);
        string.render(512 + 30, expected);
        if (release) string.noteOff();
        string.render(2048 - 30, expected);
        return expected;
    };
    EXPECT_TRUE(bitEqual(playWith({controller(30, 120, 0)}), reference(true)));
    EXPECT_TRUE(bitEqual(playWith({controller(30, 123, 0, 9)}), reference(true)));
    // Bank select (controller 0), modulation wheel (1), volume (7), controller 11 and 120's
    // neighbours do not reach the instrument's numbered controls.
    EXPECT_TRUE(bitEqual(
        playWith({controller(30, 0, 127), controller(30, 1, 127), controller(30, 7, 10),
                  controller(30, 11, 127), controller(30, 119, 0), controller(30, 122, 0)}),
        reference(false)));
}

TEST(EventIntake, NoteNumbersAreSevenBitsVelocitiesAWholeByte) {
    // Note byte 0xC5 reads as 0x45 (69); the velocity byte is unsigned, so 0xE4 (228) starts the
    // note with amplitude 228 / 127, and 0x80 starts one too rather than releasing.
    for (int velocity : {0xE4, 0x80}) {
        LoadedSynth high;
        high.sendMidi({MidiMessage{0, 0x90, 0xC5, static_cast<std::uint8_t>(velocity)}});
        ReferenceString reference;
        std::vector<float> expected;
        reference.noteOn(69, velocity);
        reference.render(4096, expected);
        EXPECT_TRUE(bitEqual(high.play(4096), expected)) << velocity;
    }
}

TEST(EventIntake, ZeroAndNegativeBlocksWriteNothingButApplyTheirEntries) {
    for (VstInt32 frames : {0, -1, -100000}) {
        LoadedSynth synth;
        synth.sendMidi({noteOn(0, 64)});
        // render() checks itself that the sentinel-filled buffers come back untouched.
        const Block empty = synth.render(frames);
        EXPECT_TRUE(empty.left.empty());
        ReferenceString reference;
        std::vector<float> expected;
        reference.noteOn(64, 100);
        reference.render(2048, expected);
        EXPECT_TRUE(bitEqual(synth.play(2048), expected)) << frames;
    }
}

TEST(EventIntake, NullAndEmptyListsLeaveTheQueueEmpty) {
    LoadedSynth synth;
    EXPECT_EQ(synth.dispatch(effProcessEvents, 0, 0, nullptr), 1);
    VstEvents negative{};
    negative.numEvents = -3;
    EXPECT_EQ(synth.dispatch(effProcessEvents, 0, 0, &negative), 1);
    EXPECT_EQ(synth.sendMidi({}), 1);
    for (float sample : synth.play(2048)) ASSERT_EQ(sample, 0.0f);

    // A list replaces whatever an earlier one queued, even when it holds nothing.
    synth.sendMidi({noteOn(0, 60)});
    EXPECT_EQ(synth.dispatch(effProcessEvents, 0, 0, nullptr), 1);
    for (float sample : synth.play(2048)) ASSERT_EQ(sample, 0.0f);
    synth.sendMidi({noteOn(0, 60)});
    EXPECT_EQ(synth.dispatch(effProcessEvents, 0, 0, &negative), 1);
    for (float sample : synth.play(2048)) ASSERT_EQ(sample, 0.0f);
    synth.sendMidi({noteOn(0, 60)});
    EXPECT_EQ(synth.sendMidi({}), 1);
    for (float sample : synth.play(2048)) ASSERT_EQ(sample, 0.0f);
}

TEST(EventIntake, NullEventPointersAreSkipped) {
    LoadedSynth synth;
    VstMidiEvent on{};
    on.type = kVstMidiType;
    on.byteSize = sizeof on;
    on.deltaFrames = 0;
    on.midiData[0] = static_cast<char>(0x90);
    on.midiData[1] = 69;
    on.midiData[2] = 100;
    struct {
        VstInt32 numEvents;
        VstIntPtr reserved;
        VstEvent* events[3];
    } list{3, 0, {nullptr, reinterpret_cast<VstEvent*>(&on), nullptr}};
    EXPECT_EQ(synth.dispatch(effProcessEvents, 0, 0, &list), 1);
    LoadedSynth plain;
    plain.sendMidi({noteOn(0, 69, 100)});
    EXPECT_TRUE(bitEqual(synth.play(2048), plain.play(2048)));
}

TEST(EventIntake, NegativeOffsetsActAtTheFirstSample) {
    LoadedSynth synth;
    synth.sendMidi({noteOn(-50, 66)});
    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(66, 100);
    reference.render(2048, expected);
    EXPECT_TRUE(bitEqual(synth.play(2048), expected));
}

TEST(EventIntake, OffsetsPastTheBlockActFromTheNextBlock) {
    LoadedSynth synth;
    synth.sendMidi({noteOn(0, 66), noteOff(300, 66)});  // the release is past a 256 block
    const Block first = synth.render(256);
    const Block second = synth.render(256);
    std::vector<float> out = first.left;
    out.insert(out.end(), second.left.begin(), second.left.end());

    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(66, 100);
    reference.render(256, expected);
    reference.noteOff();
    reference.render(256, expected);
    EXPECT_TRUE(bitEqual(out, expected));

    // A note on far past the block starts at the next block's first sample.
    LoadedSynth late;
    late.sendMidi({noteOn(100000, 66)});
    std::vector<float> lateOut = late.render(128).left;
    const auto lateRest = late.play(1024);
    lateOut.insert(lateOut.end(), lateRest.begin(), lateRest.end());
    ReferenceString lateReference;
    std::vector<float> lateExpected;
    lateReference.render(128, lateExpected);
    lateReference.noteOn(66, 100);
    lateReference.render(1024, lateExpected);
    EXPECT_TRUE(bitEqual(lateOut, lateExpected));
    for (int i = 0; i < 128; ++i) ASSERT_EQ(lateOut[i], 0.0f);
}

TEST(EventIntake, OutOfOrderOffsetsWaitForTheirTurn) {
    // Entries apply in list order: one with a smaller offset behind a later one waits.
    LoadedSynth synth;
    synth.sendMidi({noteOn(100, 60), noteOn(20, 64)});
    ReferenceString reference;
    std::vector<float> expected;
    reference.render(100, expected);
    reference.noteOn(60, 100);
    reference.noteOn(64, 100);
    reference.render(924, expected);
    EXPECT_TRUE(bitEqual(synth.play(1024), expected));
}

TEST(EventIntake, MissingOutputBuffersWriteNothing) {
    LoadedSynth synth;
    AEffect* effect = synth.effect();
    synth.sendMidi({noteOn(0, 60)});
    effect->processReplacing(effect, nullptr, nullptr, 256);
    std::vector<float> left(256, 7.0f);
    float* onlyLeft[2] = {left.data(), nullptr};
    effect->processReplacing(effect, nullptr, onlyLeft, 256);
    effect->process(effect, nullptr, onlyLeft, 256);
    for (float sample : left) ASSERT_EQ(sample, 7.0f);
    // The note still started, at what became the first rendered sample.
    ReferenceString reference;
    std::vector<float> expected;
    reference.noteOn(60, 100);
    reference.render(1024, expected);
    EXPECT_TRUE(bitEqual(synth.play(1024), expected));
}

}  // namespace
}  // namespace corvalen::test
