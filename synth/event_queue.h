#pragma once

#include <cstdint>

// One accepted note message, waiting for its sample in the coming block.
struct QueuedEvent {
    std::uint8_t note = 0;
    std::uint8_t velocity = 0;
    std::int32_t deltaFrames = 0;  // sample offset from the start of the coming block
    bool isOn = false;             // false: release
};

// The note messages of one block's event list, in list order, at most 32 of them.
//
// The queue follows the note that will be sounding when each entry is applied (the rendering
// loop applies every entry, in order, within its block). A release only acts on that note,
// so a release naming any other note is dropped here rather than queued: same sound, fewer
// entries. When the 32 places are taken, the newest note wins and a release of the sounding
// note still silences it, so a crowded list never leaves a note hanging.
class EventQueue {
public:
    static constexpr int kCapacity = 32;

    // Empties the queue for a new list. `soundingNote` is the note the instrument last started.
    void begin(std::uint8_t soundingNote);
    // Takes the next MIDI message of the list: status byte, two data bytes, and its frame offset
    // in the coming block. A status below 0x10 carries no kind of its own and repeats the kind of
    // the list's previous message (running status); as the list's first message it is ignored.
    void add(std::int32_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void clear() { eventCount = 0; }

    int count() const { return eventCount; }
    const QueuedEvent& operator[](int index) const { return eventQueue[index]; }

private:
    void queueNoteOn(std::uint8_t note, std::uint8_t velocity, std::int32_t deltaFrames);
    void queueRelease(std::uint8_t velocity, std::int32_t deltaFrames);

    QueuedEvent eventQueue[kCapacity];
    int eventCount = 0;
    // The note sounding once every queued entry has been applied, and the one sounding just
    // before the last entry: a release that finds the queue full undoes that entry with it.
    std::uint8_t trackedNote = 0;
    std::uint8_t noteBeforeLastEntry = 0;
    int runningKind = 0;  // the kind (status & 0xF0) of the list's previous message
};
