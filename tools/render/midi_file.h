// Standard MIDI File reading (formats 0 and 1).
//
// The reader keeps what a renderer needs: the channel messages with their tick, the tempo
// changes and the file's length in ticks. Meta events other than tempo and end of track, and
// system-exclusive messages, are read past and dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace corvalen::render {

class MidiFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// How ticks turn into time: ticks per quarter note (tempo-dependent) or SMPTE frames.
struct TimeDivision {
    bool smpte = false;
    std::uint16_t ticksPerQuarter = 480;  // when !smpte
    // When smpte: frames per second (24, 25, 29 for 29.97 drop-frame, 30) and ticks per frame.
    std::uint8_t framesPerSecond = 0;
    std::uint8_t ticksPerFrame = 0;
};

struct ChannelMessage {
    std::uint64_t tick = 0;
    std::uint8_t status = 0;  // 0x80..0xEF
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;  // 0 for the one-data-byte kinds (program change, pressure)
};

struct TempoChange {
    std::uint64_t tick = 0;
    std::uint32_t microsecondsPerQuarter = 500000;
};

struct MidiSequence {
    int format = 0;
    TimeDivision division;
    // Every channel message of every track, ordered by tick; messages of the same tick keep
    // the order of their tracks, and within a track the order of the file.
    std::vector<ChannelMessage> messages;
    // Ordered by tick; tempo changes from all tracks apply to the whole file.
    std::vector<TempoChange> tempos;
    // The latest tick of any track: its end-of-track event, or its last event.
    std::uint64_t endTick = 0;
};

// Number of data bytes that follow a channel status byte (0x80..0xEF).
int channelMessageDataBytes(std::uint8_t status);

// Parses a whole file held in memory. Throws MidiFileError with the byte offset of the fault.
MidiSequence parseMidiFile(const std::uint8_t* data, std::size_t size);
// Reads and parses a file. Throws MidiFileError, also when the file cannot be read.
MidiSequence readMidiFile(const std::string& path);

}  // namespace corvalen::render
