#include "tools/render/timeline.h"

#include <gtest/gtest.h>

namespace {

using corvalen::render::TempoChange;
using corvalen::render::TempoMap;
using corvalen::render::TimeDivision;

TimeDivision ppq(int ticks) {
    TimeDivision division;
    division.ticksPerQuarter = static_cast<std::uint16_t>(ticks);
    return division;
}

TEST(TempoMap, DefaultTempoIs120BeatsPerMinute) {
    const TempoMap map(ppq(480), {});
    EXPECT_EQ(map.frameAt(0, 44100), 0);
    EXPECT_EQ(map.frameAt(480, 44100), 22050);  // one beat, half a second
    EXPECT_EQ(map.frameAt(1, 44100), 46);       // 45.9375 rounds up
    EXPECT_EQ(map.frameAt(8, 44100), 368);      // 367.5: halves round up
    EXPECT_EQ(map.frameAt(960, 48000), 48000);
}

TEST(TempoMap, TempoChangesApplyFromTheirTickOn) {
    // 120 bpm for two beats (1 s), then 100 bpm (0.6 s per beat).
    const TempoMap map(ppq(480), {{0, 500000}, {960, 600000}});
    EXPECT_EQ(map.frameAt(960, 44100), 44100);
    EXPECT_EQ(map.frameAt(1000, 44100), 46305);  // 1 s + 40/480 × 0.6 s = 1.05 s
    EXPECT_EQ(map.frameAt(1920, 44100), 97020);  // 1 s + 1.2 s
}

TEST(TempoMap, TempoAtTickZeroReplacesTheDefault) {
    const TempoMap map(ppq(480), {{0, 1000000}});
    EXPECT_EQ(map.frameAt(480, 44100), 44100);
}

TEST(TempoMap, ManyTempoChangesDoNotAccumulateRoundingError) {
    // A change on every tick; each tick lasts 30.62496… frames, so rounding per segment would
    // drift by thousands of frames. Exact: 3000 × 333333 µs / 480 → 91874.908 frames.
    std::vector<TempoChange> tempos;
    for (std::uint64_t tick = 0; tick < 3000; ++tick) {
        tempos.push_back({tick, 333333u});
    }
    const TempoMap map(ppq(480), tempos);
    EXPECT_EQ(map.frameAt(3000, 44100), 91875);
}

TEST(TempoMap, SmpteTimeIgnoresTempo) {
    TimeDivision division;
    division.smpte = true;
    division.framesPerSecond = 25;
    division.ticksPerFrame = 40;  // 1000 ticks per second
    const TempoMap map(division, {{0, 123456}});
    EXPECT_EQ(map.frameAt(1000, 44100), 44100);
    EXPECT_EQ(map.frameAt(1, 44100), 44);  // 44.1

    division.framesPerSecond = 29;  // 29.97 drop-frame: 30000/1001 frames per second
    division.ticksPerFrame = 100;
    const TempoMap dropFrame(division, {});
    EXPECT_EQ(dropFrame.frameAt(2997, 44100), 44100);  // 44099.9559
    EXPECT_EQ(dropFrame.frameAt(2997000, 1000), 999999);
}

TEST(TempoMap, SequencesLongerThanADayAreRefused) {
    const TempoMap map(ppq(1), {{0, 0xFFFFFF}});  // 16.8 s per tick
    EXPECT_NO_THROW(map.frameAt(5000, 44100));
    EXPECT_THROW(map.frameAt(6000, 44100), corvalen::render::TimelineError);
    EXPECT_THROW(map.frameAt(std::uint64_t{1} << 62, 44100), corvalen::render::TimelineError);
}

TEST(Timeline, EventsKeepTheirBytesAndOrder) {
    corvalen::render::MidiSequence sequence;
    sequence.division = ppq(480);
    sequence.messages = {{0, 0x90, 60, 100}, {240, 0xB3, 7, 90}, {240, 0x80, 60, 0}};
    sequence.endTick = 480;
    const corvalen::render::Timeline timeline = corvalen::render::buildTimeline(sequence, 44100);
    ASSERT_EQ(timeline.events.size(), 3u);
    EXPECT_EQ(timeline.events[1].frame, 11025);
    EXPECT_EQ(timeline.events[1].bytes[0], 0xB3);
    EXPECT_EQ(timeline.events[1].bytes[1], 7);
    EXPECT_EQ(timeline.events[1].bytes[2], 90);
    EXPECT_EQ(timeline.events[2].bytes[0], 0x80);
    EXPECT_EQ(timeline.endFrame, 22050);
}

TEST(Timeline, NotesHeldAtTheEndAreReleasedThere) {
    corvalen::render::MidiSequence sequence;
    sequence.division = ppq(480);
    sequence.messages = {
        {0, 0x90, 60, 100},  // released by a velocity-0 note on
        {0, 0x95, 62, 100},  // held to the end, on channel 6
        {0, 0x90, 64, 100},  // released by a note off
        {0, 0x90, 60, 0},   {10, 0x80, 64, 0}, {20, 0x90, 67, 80},  // started twice, released once
        {30, 0x90, 67, 80}, {40, 0x80, 67, 0},
    };
    sequence.endTick = 960;
    const corvalen::render::Timeline timeline = corvalen::render::buildTimeline(sequence, 44100);
    ASSERT_EQ(timeline.events.size(), 10u);
    EXPECT_EQ(timeline.endFrame, 44100);
    for (std::size_t i = 8; i < 10; ++i) EXPECT_EQ(timeline.events[i].frame, 44100);
    EXPECT_EQ(timeline.events[8].bytes[0], 0x80);
    EXPECT_EQ(timeline.events[8].bytes[1], 67);
    EXPECT_EQ(timeline.events[9].bytes[0], 0x85);
    EXPECT_EQ(timeline.events[9].bytes[1], 62);
}

}  // namespace
