// The command-line host's Standard MIDI File reader, and what the host builds from a file it
// accepted: the timeline and the block-by-block event lists. Arbitrary file bytes.
//
// A file is either refused with MidiFileError (the timeline with TimelineError), or read into
// a sequence that keeps these invariants, checked here:
//  - format 0 or 1; a positive time division;
//  - messages ordered by tick, each a channel status (0x80..0xEF) with 7-bit data bytes and
//    data 2 zero for the one-data-byte kinds; tempos ordered by tick and non-zero;
//  - endTick at or after every message;
//  - timeline events ordered by frame, none before frame 0 or after endFrame;
//  - the scheduler hands every timeline event on exactly once and in order, in lists of at
//    most the cap, each at a deltaFrames inside its slice, never early, and late only when
//    more events than a list holds fall on one frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz/plugin_harness.h"
#include "tools/render/midi_file.h"
#include "tools/render/timeline.h"
#include "vst_host/event_scheduler.h"

namespace {

void checkSequence(const corvalen::render::MidiSequence& sequence) {
    CORVALEN_FUZZ_CHECK(sequence.format == 0 || sequence.format == 1, "format", sequence.format);
    if (sequence.division.smpte) {
        CORVALEN_FUZZ_CHECK(sequence.division.ticksPerFrame > 0, "SMPTE ticks per frame", 0);
    } else {
        CORVALEN_FUZZ_CHECK(sequence.division.ticksPerQuarter > 0, "ticks per quarter", 0);
    }
    std::uint64_t previousTick = 0;
    for (const corvalen::render::ChannelMessage& message : sequence.messages) {
        CORVALEN_FUZZ_CHECK(message.tick >= previousTick, "messages out of order",
                            static_cast<long long>(message.tick));
        previousTick = message.tick;
        CORVALEN_FUZZ_CHECK(message.status >= 0x80 && message.status <= 0xEF,
                            "not a channel status", message.status);
        CORVALEN_FUZZ_CHECK(message.data1 < 0x80 && message.data2 < 0x80, "data byte >= 0x80",
                            message.status);
        if (corvalen::render::channelMessageDataBytes(message.status) == 1) {
            CORVALEN_FUZZ_CHECK(message.data2 == 0, "second data byte of a one-byte kind",
                                message.status);
        }
        CORVALEN_FUZZ_CHECK(message.tick <= sequence.endTick, "message after the end",
                            static_cast<long long>(message.tick));
    }
    previousTick = 0;
    for (const corvalen::render::TempoChange& tempo : sequence.tempos) {
        CORVALEN_FUZZ_CHECK(tempo.tick >= previousTick, "tempos out of order",
                            static_cast<long long>(tempo.tick));
        previousTick = tempo.tick;
        CORVALEN_FUZZ_CHECK(tempo.microsecondsPerQuarter > 0, "zero tempo", 0);
    }
}

void checkTimeline(const corvalen::render::Timeline& timeline) {
    std::int64_t previousFrame = 0;
    for (const corvalen::render::TimedEvent& event : timeline.events) {
        CORVALEN_FUZZ_CHECK(event.frame >= previousFrame, "timeline out of order", event.frame);
        previousFrame = event.frame;
        CORVALEN_FUZZ_CHECK(event.frame <= timeline.endFrame, "event after the end frame",
                            event.frame);
    }
}

// Plays the timeline through the scheduler as corvalen-render does, in blocks of `blockSize`.
void checkScheduling(const corvalen::render::Timeline& timeline, int blockSize, int cap) {
    corvalen::vsthost::EventScheduler scheduler(timeline.events, cap);
    corvalen::vsthost::EventList list(static_cast<std::size_t>(scheduler.maxEventsPerList()));
    std::int64_t blockStart = 0;
    std::size_t delivered = 0;
    // Each slice either hands on an event or moves a whole block on; stop once the last event
    // is out, so that a file lasting hours costs no more than its events.
    while (!scheduler.finished()) {
        const corvalen::vsthost::EventScheduler::Slice slice =
            scheduler.next(blockStart, blockSize, list);
        CORVALEN_FUZZ_CHECK(slice.frames >= 1 && slice.frames <= blockSize, "slice length",
                            slice.frames);
        CORVALEN_FUZZ_CHECK(
            slice.eventCount >= 0 && slice.eventCount <= scheduler.maxEventsPerList(),
            "list length", slice.eventCount);
        CORVALEN_FUZZ_CHECK(list.size() == static_cast<std::size_t>(slice.eventCount),
                            "list holds other than the slice's events",
                            static_cast<long long>(list.size()));
        // The record declares two pointers; the list holds as many as it has events.
        VstEvent* const* const sent = list.get()->events;
        for (int i = 0; i < slice.eventCount; ++i) {
            const VstMidiEvent& event = *reinterpret_cast<const VstMidiEvent*>(sent[i]);
            const corvalen::render::TimedEvent& timed = timeline.events[delivered++];
            CORVALEN_FUZZ_CHECK(event.deltaFrames >= 0 && event.deltaFrames < slice.frames,
                                "deltaFrames outside its slice", event.deltaFrames);
            const std::int64_t at = blockStart + event.deltaFrames;
            CORVALEN_FUZZ_CHECK(at >= timed.frame, "event handed on early", at);
            // Late only when it waited behind a full list of events on its own frame.
            if (at > timed.frame) {
                CORVALEN_FUZZ_CHECK(event.deltaFrames == 0, "late event not at the slice start",
                                    at);
            }
            for (int b = 0; b < 3; ++b) {
                CORVALEN_FUZZ_CHECK(static_cast<std::uint8_t>(event.midiData[b]) == timed.bytes[b],
                                    "bytes changed on the way", b);
            }
        }
        if (slice.eventCount == 0 &&
            timeline.events[delivered].frame >= blockStart + slice.frames) {
            // Nothing due in this slice: jump to the block that holds the next event.
            const std::int64_t blocks = (timeline.events[delivered].frame - blockStart) / blockSize;
            blockStart += blocks > 0 ? blocks * blockSize : slice.frames;
            continue;
        }
        blockStart += slice.frames;
    }
    CORVALEN_FUZZ_CHECK(delivered == timeline.events.size(), "events lost",
                        static_cast<long long>(delivered));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    corvalen::render::MidiSequence sequence;
    try {
        sequence = corvalen::render::parseMidiFile(data, size);
    } catch (const corvalen::render::MidiFileError&) {
        return 0;
    }
    checkSequence(sequence);

    // The usual rate, and an odd one that leaves a remainder in every conversion.
    for (const int sampleRate : {44100, 7}) {
        corvalen::render::Timeline timeline;
        try {
            timeline = corvalen::render::buildTimeline(sequence, sampleRate);
        } catch (const corvalen::render::TimelineError&) {
            continue;
        }
        checkTimeline(timeline);
        // The first byte of the file varies the block size and the list cap a little.
        checkScheduling(timeline, 1 + data[size / 2] % 1024, 1 + data[size - 1] % 40);
    }
    return 0;
}
