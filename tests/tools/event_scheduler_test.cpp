#include "tools/render/event_scheduler.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using corvalen::render::EventList;
using corvalen::render::EventScheduler;
using corvalen::render::TimedEvent;

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
    EventList list(cap);
    std::vector<Delivered> delivered;
    std::int64_t position = 0;
    while (position < length || !scheduler.finished()) {
        const auto slice = scheduler.next(position, block, list.events());
        EXPECT_GE(slice.frames, 1);
        EXPECT_LE(slice.frames, block);
        EXPECT_LE(slice.eventCount, cap);
        for (int i = 0; i < slice.eventCount; ++i) {
            const VstMidiEvent& event = list.events()[i];
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

TEST(EventScheduler, MidiEventFieldsAreFilledAsASequencerSendsThem) {
    auto events = notesAt({3});
    events[0].bytes[0] = 0xC4;
    events[0].bytes[1] = 0x7F;
    events[0].bytes[2] = 0;
    EventScheduler scheduler(events, 4);
    EventList list(4);
    std::memset(list.events(), 0xAB, sizeof(VstMidiEvent) * 4);
    const auto slice = scheduler.next(0, 16, list.events());
    ASSERT_EQ(slice.eventCount, 1);
    const VstMidiEvent& event = list.events()[0];
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

TEST(EventList, HoldsAsManyPointersAsItsCapacity) {
    EventList list(40);
    VstEvents* events = list.list(40);
    EXPECT_EQ(events->numEvents, 40);
    EXPECT_EQ(events->reserved, 0);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(static_cast<void*>(events->events[i]), static_cast<void*>(&list.events()[i]));
    }
}

}  // namespace
