#include "vst_host/event_scheduler.h"

#include <gtest/gtest.h>

namespace {

using corvalen::vsthost::EventList;
using corvalen::vsthost::EventScheduler;
using corvalen::vsthost::TimedEvent;

std::vector<TimedEvent> notesAt(std::initializer_list<std::int64_t> frames) {
    std::vector<TimedEvent> events;
    int note = 0;
    for (std::int64_t frame : frames) {
        TimedEvent event;
        event.frame = frame;
        event.bytes[0] = 0x90;
        event.bytes[1] = static_cast<std::uint8_t>(note++);
        event.bytes[2] = 100;
        events.push_back(event);
    }
    return events;
}

struct Delivered {
    std::int64_t frame;  // absolute: slice start + deltaFrames
    int note;
};

// Plays the timeline, asking each time for a full block of `block` frames; returns what the plug-in
// would see and checks every slice's invariants on the way.
std::vector<Delivered> play(const std::vector<TimedEvent>& events, int block, int cap,
                            std::int64_t length, std::vector<int>* sliceLengths = nullptr) {
    EventScheduler scheduler(events, cap);
    EventList list(static_cast<std::size_t>(cap));
    std::vector<Delivered> delivered;
    std::int64_t position = 0;
    while (position < length || !scheduler.finished()) {
        const auto slice = scheduler.next(position, block, list);
        EXPECT_GE(slice.frames, 1);
        EXPECT_LE(slice.frames, block);
        EXPECT_LE(slice.eventCount, cap);
        EXPECT_EQ(list.size(), static_cast<std::size_t>(slice.eventCount));
        // The record declares two pointers; the list holds as many as it has events.
        VstEvent* const* const sent = list.get()->events;
        for (int i = 0; i < slice.eventCount; ++i) {
            const VstMidiEvent& event = *reinterpret_cast<const VstMidiEvent*>(sent[i]);
            EXPECT_GE(event.deltaFrames, 0);
            EXPECT_LT(event.deltaFrames, slice.frames);
            delivered.push_back({position + event.deltaFrames, event.midiData[1]});
        }
        if (sliceLengths) sliceLengths->push_back(slice.frames);
        position += slice.frames;
    }
    return delivered;
}

TEST(EventScheduler, EventsLandAtTheirFrameAcrossBlockBoundaries) {
    std::vector<int> slices;
    const auto delivered = play(notesAt({0, 511, 512, 1000, 1023}), 512, 32, 1536, &slices);
    ASSERT_EQ(delivered.size(), 5u);
    const std::int64_t expected[] = {0, 511, 512, 1000, 1023};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(delivered[i].frame, expected[i]);
        EXPECT_EQ(delivered[i].note, static_cast<int>(i));
    }
    EXPECT_EQ(slices, (std::vector<int>{512, 512, 512}));
}

TEST(EventScheduler, AFullListCutsTheBlockAtTheFirstEventThatDidNotFit) {
    std::vector<int> slices;
    const auto delivered = play(notesAt({5, 10, 20, 30}), 512, 2, 512, &slices);
    ASSERT_EQ(delivered.size(), 4u);
    EXPECT_EQ(delivered[2].frame, 20);
    EXPECT_EQ(delivered[3].frame, 30);
    EXPECT_EQ(slices, (std::vector<int>{20, 512}));
}

TEST(EventScheduler, EventsOfOneFrameStayInOneList) {
    std::vector<int> slices;
    const auto delivered = play(notesAt({5, 10, 10}), 512, 2, 512, &slices);
    ASSERT_EQ(delivered.size(), 3u);
    EXPECT_EQ(delivered[0].frame, 5);
    EXPECT_EQ(delivered[1].frame, 10);
    EXPECT_EQ(delivered[2].frame, 10);
    EXPECT_EQ(slices, (std::vector<int>{10, 512}));
}

TEST(EventScheduler, MoreEventsOnOneFrameThanAListHoldsWaitOneFrame) {
    std::vector<int> slices;
    const auto delivered = play(notesAt({7, 7, 7, 7, 7}), 64, 2, 64, &slices);
    ASSERT_EQ(delivered.size(), 5u);
    const std::int64_t expected[] = {7, 7, 8, 8, 9};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(delivered[i].frame, expected[i]) << i;
        EXPECT_EQ(delivered[i].note, static_cast<int>(i)) << "list order is kept";
    }
    EXPECT_EQ(slices, (std::vector<int>{7, 1, 1, 64}));
}

// The list sized for the densest block never splits a block, however the blocks fall.
TEST(EventScheduler, AListAsLargeAsTheDensestBlockSplitsNothing) {
    const auto events = notesAt({0, 0, 5, 63, 64, 64, 64, 100, 127, 130, 131, 131, 200});
    // Frames 63 to 126, 64 to 127 and 100 to 163 hold 5 events each; 0 to 63 hold 4.
    EXPECT_EQ(corvalen::vsthost::densestBlock(events, 64), 5);
    EXPECT_EQ(corvalen::vsthost::densestBlock(events, 1), 3);
    EXPECT_EQ(corvalen::vsthost::densestBlock({}, 64), 1);
    for (int block : {1, 7, 64, 100}) {
        std::vector<int> slices;
        const auto delivered =
            play(events, block, corvalen::vsthost::densestBlock(events, block), 256, &slices);
        ASSERT_EQ(delivered.size(), events.size());
        for (std::size_t i = 0; i < events.size(); ++i)
            EXPECT_EQ(delivered[i].frame, events[i].frame);
        for (std::size_t i = 0; i + 1 < slices.size(); ++i) EXPECT_EQ(slices[i], block) << block;
    }
}

TEST(EventScheduler, MidiEventFieldsAreFilledAsASequencerSendsThem) {
    auto events = notesAt({3});
    events[0].bytes[0] = 0xC4;
    events[0].bytes[1] = 0x7F;
    events[0].bytes[2] = 0;
    EventScheduler scheduler(events, 4);
    EventList list(4);
    list.addMidi(9, 0x90, 1, 2);  // left from an earlier block: must be gone
    const auto slice = scheduler.next(0, 16, list);
    ASSERT_EQ(slice.eventCount, 1);
    ASSERT_EQ(list.get()->numEvents, 1);
    const VstMidiEvent& event = *reinterpret_cast<const VstMidiEvent*>(list.get()->events[0]);
    EXPECT_EQ(event.type, kVstMidiType);
    EXPECT_EQ(event.byteSize, 32);
    EXPECT_EQ(event.deltaFrames, 3);
    EXPECT_EQ(event.flags, 0);
    EXPECT_EQ(event.noteLength, 0);
    EXPECT_EQ(static_cast<unsigned char>(event.midiData[0]), 0xC4);
    EXPECT_EQ(event.midiData[1], 0x7F);
    EXPECT_EQ(event.midiData[2], 0);
    EXPECT_EQ(event.midiData[3], 0);
    EXPECT_EQ(event.detune, 0);
}

}  // namespace
