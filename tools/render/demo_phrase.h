// The phrase rendered when no MIDI file is given.
#pragma once

#include "tools/render/midi_file.h"

namespace corvalen::render {

// About 14 s at 90 beats per minute: detached notes climbing from G3 to E5, a legato melody
// (each note starts before the previous one ends, so the bow changes pitch without a new
// attack), a detached run up to A6 and a legato descent to a long D3.
MidiSequence demoPhrase();

}  // namespace corvalen::render
