#include "synth/event_queue.h"

namespace {

constexpr int kNoteOff = 0x80;
constexpr int kNoteOn = 0x90;
constexpr int kControlChange = 0xB0;
constexpr int kNoRunningKind = 0;
constexpr int kAllSoundOff = 120;
constexpr int kAllNotesOff = 123;

// Note and controller numbers carry 7 bits; masking keeps a stray high bit from indexing past
// the 128 notes. The velocity is taken as the whole byte, as an unsigned 8-bit value: its
// amplitude, velocity / 127, is defined for every byte, so a high bit needs no repair.
std::uint8_t numberByte(std::uint8_t byte) {
    return static_cast<std::uint8_t>(byte & 0x7F);
}

}  // namespace

void EventQueue::begin(std::uint8_t soundingNote) {
    eventCount = 0;
    trackedNote = soundingNote;
    noteBeforeLastEntry = soundingNote;
    runningKind = kNoRunningKind;
}

void EventQueue::add(std::int32_t frame, std::uint8_t status, std::uint8_t data1,
                     std::uint8_t data2) {
    int kind = status & 0xF0;
    if (kind == kNoRunningKind) {
        kind = runningKind;
    } else {
        runningKind = kind;
    }
    const std::uint8_t first = numberByte(data1);
    const std::uint8_t second = data2;

    if (kind == kNoteOn && second != 0) {
        queueNoteOn(first, second, frame);
    } else if (kind == kNoteOn || kind == kNoteOff) {
        // Releasing a key other than the last started one changes nothing.
        if (first == trackedNote) queueRelease(second, frame);
    } else if (kind == kControlChange) {
        // All Notes Off and All Sound Off release the sounding note. Other controllers are
        // ignored: the instrument's control numbers are not MIDI controller numbers (bank
        // select, controller 0, must not move the bow).
        if (first == kAllNotesOff || first == kAllSoundOff) queueRelease(0, frame);
    }
}

void EventQueue::queueNoteOn(std::uint8_t note, std::uint8_t velocity, std::int32_t deltaFrames) {
    const QueuedEvent entry{note, velocity, deltaFrames, true};
    if (eventCount < kCapacity) {
        noteBeforeLastEntry = trackedNote;
        eventQueue[eventCount++] = entry;
    } else {
        // Full: the newest note wins over the last entry. Whatever that entry was, it acted
        // only on the note sounding before it, which this note replaces anyway.
        eventQueue[kCapacity - 1] = entry;
    }
    trackedNote = note;
}

void EventQueue::queueRelease(std::uint8_t velocity, std::int32_t deltaFrames) {
    if (eventCount < kCapacity) {
        noteBeforeLastEntry = trackedNote;
        eventQueue[eventCount++] = QueuedEvent{trackedNote, velocity, deltaFrames, false};
        return;
    }
    QueuedEvent& last = eventQueue[kCapacity - 1];
    // Full and the last entry already releases the sounding note: a duplicate.
    if (!last.isOn) return;
    // Full and the last entry starts the note now released: instead of starting it, release
    // the note sounding before it, which ends in the silence the host asked for.
    last = QueuedEvent{noteBeforeLastEntry, velocity, deltaFrames, false};
    trackedNote = noteBeforeLastEntry;
}
