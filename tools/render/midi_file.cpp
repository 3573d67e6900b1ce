#include "tools/render/midi_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace corvalen::render {
namespace {

// The longest variable-length quantity the format allows is four bytes (28 bits).
constexpr int kMaxVariableLengthBytes = 4;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size, std::size_t base)
        : data_(data), size_(size), base_(base) {}

    bool atEnd() const { return position_ >= size_; }
    std::size_t offset() const { return base_ + position_; }

    [[noreturn]] void fail(const std::string& what) const {
        throw MidiFileError(what + " (at byte " + std::to_string(offset()) + ")");
    }

    std::uint8_t byte() {
        if (atEnd()) fail("unexpected end of data");
        return data_[position_++];
    }

    std::uint32_t bigEndian(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = (value << 8) | byte();
        return value;
    }

    std::uint32_t variableLength() {
        std::uint32_t value = 0;
        for (int i = 0; i < kMaxVariableLengthBytes; ++i) {
            const std::uint8_t b = byte();
            value = (value << 7) | (b & 0x7Fu);
            if ((b & 0x80u) == 0) return value;
        }
        fail("variable-length number longer than four bytes");
    }

    void skip(std::uint32_t count) {
        if (count > size_ - position_) fail("length runs past the end of its chunk");
        position_ += count;
    }

    const std::uint8_t* here() const { return data_ + position_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t base_;
    std::size_t position_ = 0;
};

struct TrackContents {
    std::vector<ChannelMessage> messages;
    std::vector<TempoChange> tempos;
    std::uint64_t endTick = 0;
};

TrackContents readTrack(ByteReader reader) {
    TrackContents track;
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;
    while (!reader.atEnd()) {
        tick += reader.variableLength();
        std::uint8_t first = reader.byte();
        if (first == 0xFF) {
            // Meta event: type, length, data. Cancels running status.
            runningStatus = 0;
            const std::uint8_t type = reader.byte();
            const std::uint32_t length = reader.variableLength();
            const std::uint8_t* payload = reader.here();
            reader.skip(length);
            if (type == kMetaTempo) {
                if (length != 3) reader.fail("tempo event whose length is not 3");
                const std::uint32_t tempo = (std::uint32_t{payload[0]} << 16) |
                                            (std::uint32_t{payload[1]} << 8) | payload[2];
                if (tempo == 0) reader.fail("tempo of zero microseconds per quarter note");
                track.tempos.push_back({tick, tempo});
            } else if (type == kMetaEndOfTrack) {
                // Anything after the end of track is not part of the track.
                break;
            }
            continue;
        }
        if (first == 0xF0 || first == 0xF7) {
            // System exclusive (or its continuation / an escape): length and data, dropped.
            runningStatus = 0;
            reader.skip(reader.variableLength());
            continue;
        }
        if (first >= 0xF1) reader.fail("system message that a MIDI file cannot hold");

        std::uint8_t status = first;
        bool firstIsData = false;
        if (first < 0x80) {
            if (runningStatus == 0) reader.fail("data byte without a status (no running status)");
            status = runningStatus;
            firstIsData = true;
        }
        runningStatus = status;
        ChannelMessage message;
        message.tick = tick;
        message.status = status;
        message.data1 = firstIsData ? first : reader.byte();
        if (channelMessageDataBytes(status) == 2) message.data2 = reader.byte();
        if ((message.data1 | message.data2) & 0x80)
            reader.fail("status byte where a data byte belongs");
        track.messages.push_back(message);
    }
    track.endTick = tick;
    return track;
}

}  // namespace

int channelMessageDataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

MidiSequence parseMidiFile(const std::uint8_t* data, std::size_t size) {
    ByteReader file(data, size, 0);
    if (size < 14 || std::string(reinterpret_cast<const char*>(data), 4) != "MThd") {
        throw MidiFileError("not a Standard MIDI File (no MThd header)");
    }
    file.skip(4);
    const std::uint32_t headerLength = file.bigEndian(4);
    if (headerLength < 6) file.fail("header chunk shorter than 6 bytes");
    MidiSequence sequence;
    sequence.format = static_cast<int>(file.bigEndian(2));
    const std::uint32_t trackCount = file.bigEndian(2);
    const std::uint32_t division = file.bigEndian(2);
    file.skip(headerLength - 6);
    if (sequence.format > 1) {
        throw MidiFileError("MIDI file format " + std::to_string(sequence.format) +
                            " is not supported (only formats 0 and 1)");
    }
    if (sequence.format == 0 && trackCount != 1) {
        throw MidiFileError("format 0 MIDI file with " + std::to_string(trackCount) +
                            " tracks (must be 1)");
    }
    if (division & 0x8000u) {
        sequence.division.smpte = true;
        const int frames = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
        sequence.division.framesPerSecond = static_cast<std::uint8_t>(frames);
        sequence.division.ticksPerFrame = static_cast<std::uint8_t>(division & 0xFF);
        const bool knownRate = frames == 24 || frames == 25 || frames == 29 || frames == 30;
        if (!knownRate || sequence.division.ticksPerFrame == 0) {
            throw MidiFileError("invalid SMPTE time division");
        }
    } else {
        if (division == 0) throw MidiFileError("time division of zero ticks per quarter note");
        sequence.division.ticksPerQuarter = static_cast<std::uint16_t>(division);
    }

    std::uint32_t tracksRead = 0;
    while (tracksRead < trackCount) {
        if (file.atEnd()) {
            throw MidiFileError("the header announces " + std::to_string(trackCount) +
                                " tracks but the file holds " + std::to_string(tracksRead));
        }
        if (size - file.offset() < 8) file.fail("truncated chunk header");
        const std::string id(reinterpret_cast<const char*>(file.here()), 4);
        file.skip(4);
        const std::uint32_t length = file.bigEndian(4);
        const std::size_t start = file.offset();
        file.skip(length);
        // Chunks of other kinds may appear and are to be skipped.
        if (id != "MTrk") continue;
        TrackContents track = readTrack(ByteReader(data + start, length, start));
        sequence.messages.insert(sequence.messages.end(), track.messages.begin(),
                                 track.messages.end());
        sequence.tempos.insert(sequence.tempos.end(), track.tempos.begin(), track.tempos.end());
        sequence.endTick = std::max(sequence.endTick, track.endTick);
        ++tracksRead;
    }
    // Tracks were appended in file order, so a stable sort by tick gives track order for
    // messages of the same tick and file order within a track.
    std::stable_sort(
        sequence.messages.begin(), sequence.messages.end(),
        [](const ChannelMessage& a, const ChannelMessage& b) { return a.tick < b.tick; });
    std::stable_sort(sequence.tempos.begin(), sequence.tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    return sequence;
}

MidiSequence readMidiFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw MidiFileError("cannot open MIDI file " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    if (in.bad()) throw MidiFileError("cannot read MIDI file " + path);
    try {
        return parseMidiFile(bytes.data(), bytes.size());
    } catch (const MidiFileError& error) {
        throw MidiFileError(path + ": " + error.what());
    }
}

}  // namespace corvalen::render
