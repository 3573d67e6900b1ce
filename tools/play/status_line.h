// The line a terminal shows while the player runs, redrawn by the main thread (never by the
// audio thread): DSP load, xruns, notes held, latency.
#pragma once

#include <cstdint>
#include <string>

namespace corvalen::play {

struct StatusFigures {
    float dspLoad = 0.0f;  // percent, as JACK measures it
    std::uint64_t xruns = 0;
    int notesHeld = 0;
    int latencyFrames = 0;
    int sampleRate = 48000;
    std::uint64_t droppedFrames = 0;  // of the recording
};

std::string statusLine(const StatusFigures& figures);

}  // namespace corvalen::play
