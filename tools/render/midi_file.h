// Standard MIDI File reading (formats 0 and 1, bare or in a RIFF RMID wrapper).
//
// The reader keeps what a renderer needs: the channel messages with their tick and track, the
// tempo changes, the track names and the file's length in ticks. Other meta events and
// system-exclusive messages are read past and dropped.
//
// It plays what players play: a file cut short (a track ending inside an event, fewer tracks
// than the header announces), running status right after a meta or system-exclusive event, and
// a format 0 file with several tracks are read with a warning. What cannot be played (no MIDI
// header, a broken header, format 2, bytes that are not MIDI) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/render/exit_code.h"

namespace corvalen::render {

class MidiFileError : public ToolError {
public:
    explicit MidiFileError(const std::string& message) : ToolError(kExitMidi, message) {}
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
    std::uint8_t data2 = 0;   // 0 for the one-data-byte kinds (program change, pressure)
    std::uint16_t track = 0;  // index of its track chunk, from 0
};

struct TempoChange {
    std::uint64_t tick = 0;
    std::uint32_t microsecondsPerQuarter = 500000;
};

struct TrackSummary {
    std::string name;  // the first track-name meta event, if any
    std::uint64_t endTick = 0;
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
    std::vector<TrackSummary> tracks;
    // What was wrong but could be played around, one sentence each.
    std::vector<std::string> warnings;
};

// Number of data bytes that follow a channel status byte (0x80..0xEF).
int channelMessageDataBytes(std::uint8_t status);

// Parses a whole file held in memory. Throws MidiFileError with the byte offset of the fault.
MidiSequence parseMidiFile(const std::uint8_t* data, std::size_t size);
// Reads and parses a file ("-" reads standard input). Throws MidiFileError naming the file,
// also when it cannot be read or is a folder.
MidiSequence readMidiFile(const std::string& path);

}  // namespace corvalen::render
