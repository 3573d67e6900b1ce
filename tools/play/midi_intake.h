// What the player makes of one JACK MIDI message, on the audio thread: messages on channels
// not taken are dropped, mapped controllers become timed parameter changes (0..127 to 0..1),
// every other channel message goes to the plug-in as it came (a program change is applied by
// the plug-in source, vst_host/plugin_source.h). System messages are dropped: an event for the
// plug-in holds three bytes. Also counts the notes held. Allocates nothing.
#pragma once

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

#include "rate/rate_adapter.h"

namespace corvalen::play {

struct MidiSettings {
    std::uint16_t channelMask = 0xFFFF;        // bit c: channel c + 1 is taken
    std::array<int, 128> controllerParameter;  // the parameter a controller moves, or -1
    MidiSettings() { controllerParameter.fill(-1); }
};

class MidiIntake {
public:
    explicit MidiIntake(const MidiSettings& settings) : settings_(settings) {}

    // The message `bytes` (`size` of them) at `frame` of the period: true when `out` now holds
    // what goes to the plug-in.
    bool take(const std::uint8_t* bytes, std::size_t size, int frame, rate::TimedEvent& out);

    int notesHeld() const { return notesHeld_; }

private:
    void track(std::uint8_t status, std::uint8_t data1, std::uint8_t data2);
    void hold(std::size_t key, bool held);

    MidiSettings settings_;
    std::bitset<16 * 128> held_;
    int notesHeld_ = 0;  // held_.count(), kept up to date rather than counted every period
};

}  // namespace corvalen::play
