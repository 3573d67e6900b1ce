// Choosing what of a MIDI file plays (channels, tracks), and telling what a file holds.
#pragma once

#include <string>
#include <vector>

#include "tools/render/midi_file.h"

namespace corvalen::render {

struct MidiSelection {
    std::vector<int> channels;  // 1 to 16; empty: all
    std::vector<int> tracks;    // 1 to the track count; empty: all
};

// The sequence with only the chosen channels' and tracks' messages; tempo changes stay,
// whichever track holds them. Throws MidiFileError when a chosen track does not exist.
MidiSequence selectMessages(const MidiSequence& sequence, const MidiSelection& selection);

// Note-ons with a velocity above 0.
std::size_t countNotes(const MidiSequence& sequence);

// Format, division, length, tempo changes, and per track and per channel what plays there.
std::string describeMidi(const MidiSequence& sequence, const std::string& name);

}  // namespace corvalen::render
