// MIDI messages at frame offsets, and the event list (VstEvents) that hands them to a plug-in
// through effProcessEvents.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// One short MIDI message at a frame offset within the block it is sent with.
struct MidiMessage {
    VstInt32 frame = 0;
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

inline MidiMessage noteOn(VstInt32 frame, int note, int velocity = 100, int channel = 0) {
    return {frame, static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(note),
            static_cast<std::uint8_t>(velocity)};
}
inline MidiMessage noteOff(VstInt32 frame, int note, int channel = 0) {
    return {frame, static_cast<std::uint8_t>(0x80 | channel), static_cast<std::uint8_t>(note), 64};
}
inline MidiMessage controller(VstInt32 frame, int number, int value, int channel = 0) {
    return {frame, static_cast<std::uint8_t>(0xB0 | channel), static_cast<std::uint8_t>(number),
            static_cast<std::uint8_t>(value)};
}

// A VstEvents list of MIDI, system-exclusive or any other events, in the order added. Filling
// a cleared list again allocates nothing while it stays within what was reserved (or within
// its largest size so far), so a host can refill one list every block on its audio thread.
// The list returned by get() stays valid until the next add, clear or the list's destruction.
class EventList {
public:
    explicit EventList(std::size_t reserved = 0);

    void reserve(std::size_t events);
    void clear();
    void add(const MidiMessage& message);
    void addMidi(VstInt32 frame, int status, int data1, int data2 = 0);
    void addSysex(VstInt32 frame, const std::vector<unsigned char>& bytes);
    // Any event record of up to 64 bytes, copied as it is (its byteSize too).
    void addRaw(const VstEvent& event) { addRaw(&event, sizeof event); }
    void addRaw(const void* event, std::size_t size);

    std::size_t size() const { return events_.size(); }
    bool empty() const { return events_.empty(); }
    VstEvents* get();

private:
    // Room for the largest event kind of this target (a system-exclusive event on 64 bits).
    struct StoredEvent {
        alignas(std::intptr_t) unsigned char bytes[64];
    };
    void store(const void* event, std::size_t size);

    std::vector<StoredEvent> events_;
    std::vector<std::vector<unsigned char>> sysexData_;
    // numEvents, reserved and the event pointers, each one pointer-sized word.
    std::vector<std::intptr_t> list_;
};

}  // namespace corvalen::vsthost
