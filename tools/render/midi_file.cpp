#include "tools/render/midi_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace corvalen::render {
namespace {

// The longest variable-length quantity the format allows is four bytes (28 bits).
constexpr int kMaxVariableLengthBytes = 4;
constexpr std::uint8_t kMetaTempo = 0x51;
constexpr std::uint8_t kMetaEndOfTrack = 0x2F;
constexpr std::uint8_t kMetaTrackName = 0x03;

// Thrown when the data ends inside an event: the track was cut short.
struct TruncatedData {
    std::size_t offset;
};

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
        if (atEnd()) throw TruncatedData{offset()};
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
        fail("a time or length longer than four bytes");
    }

    void skip(std::uint32_t count) {
        if (count > size_ - position_) throw TruncatedData{offset()};
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
    TrackSummary summary;
    bool truncated = false;
    bool runningStatusAfterMeta = false;
};

// A meta event after its 0xFF: tempo and the first track name are kept. Returns false at the
// end of the track.
bool readMeta(ByteReader& reader, std::uint64_t tick, TrackContents& track) {
    const std::uint8_t type = reader.byte();
    const std::uint32_t length = reader.variableLength();
    const std::uint8_t* payload = reader.here();
    reader.skip(length);
    if (type == kMetaTempo) {
        if (length != 3) reader.fail("tempo event whose length is not 3");
        const std::uint32_t tempo =
            (std::uint32_t{payload[0]} << 16) | (std::uint32_t{payload[1]} << 8) | payload[2];
        if (tempo == 0) reader.fail("tempo of zero microseconds per quarter note");
        track.tempos.push_back({tick, tempo});
    } else if (type == kMetaTrackName && track.summary.name.empty()) {
        track.summary.name.assign(reinterpret_cast<const char*>(payload), length);
    } else if (type == kMetaEndOfTrack) {
        // Anything after the end of track is not part of the track.
        return false;
    }
    return true;
}

// A channel message whose first byte (a status, or its first data byte under running status)
// was read.
ChannelMessage readChannelMessage(ByteReader& reader, std::uint8_t status, std::uint8_t first,
                                  bool firstIsData) {
    ChannelMessage message;
    message.status = status;
    message.data1 = firstIsData ? first : reader.byte();
    if (channelMessageDataBytes(status) == 2) message.data2 = reader.byte();
    if ((message.data1 | message.data2) & 0x80)
        reader.fail("status byte where a data byte belongs");
    return message;
}

TrackContents readTrack(ByteReader reader, std::uint16_t trackIndex) {
    TrackContents track;
    std::uint64_t tick = 0;
    std::uint8_t runningStatus = 0;
    // The format cancels running status at meta and system-exclusive events, but files that
    // go on with data bytes after them exist, and common readers keep the last channel status.
    bool afterMetaOrSysex = false;
    try {
        while (!reader.atEnd()) {
            tick += reader.variableLength();
            const std::uint8_t first = reader.byte();
            if (first == 0xFF) {
                afterMetaOrSysex = true;
                if (!readMeta(reader, tick, track)) break;
                continue;
            }
            if (first == 0xF0 || first == 0xF7) {
                // System exclusive (or its continuation / an escape): length and data, dropped.
                afterMetaOrSysex = true;
                reader.skip(reader.variableLength());
                continue;
            }
            if (first >= 0xF1) reader.fail("system message that a MIDI file cannot hold");
            const bool firstIsData = first < 0x80;
            if (firstIsData) {
                if (runningStatus == 0) reader.fail("data byte without a status byte before it");
                if (afterMetaOrSysex) track.runningStatusAfterMeta = true;
            }
            const std::uint8_t status = firstIsData ? runningStatus : first;
            afterMetaOrSysex = false;
            runningStatus = status;
            ChannelMessage message = readChannelMessage(reader, status, first, firstIsData);
            message.tick = tick;
            message.track = trackIndex;
            track.messages.push_back(message);
        }
    } catch (const TruncatedData&) {
        // The event that was cut off is dropped; everything before it plays.
        track.truncated = true;
    }
    track.summary.endTick = tick;
    if (!track.messages.empty())
        track.summary.endTick = std::max(track.summary.endTick, track.messages.back().tick);
    return track;
}

// A RIFF file of form RMID carries a Standard MIDI File in its "data" chunk. Returns the
// offset of that file inside `data` and its size, or false when `data` is not RMID.
bool findRmidPayload(const std::uint8_t* data, std::size_t size, std::size_t& offset,
                     std::size_t& length) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "RMID", 4) != 0)
        return false;
    std::size_t position = 12;
    while (size - position >= 8) {
        const std::uint32_t chunkSize =
            std::uint32_t{data[position + 4]} | (std::uint32_t{data[position + 5]} << 8) |
            (std::uint32_t{data[position + 6]} << 16) | (std::uint32_t{data[position + 7]} << 24);
        if (std::memcmp(data + position, "data", 4) == 0) {
            offset = position + 8;
            length = std::min<std::size_t>(chunkSize, size - offset);
            return true;
        }
        // RIFF chunks are padded to an even size.
        const std::size_t advance = 8 + static_cast<std::size_t>(chunkSize) + (chunkSize & 1u);
        if (advance > size - position) break;
        position += advance;
    }
    throw MidiFileError("a RIFF MIDI (RMID) file without a MIDI data chunk");
}

void readDivision(std::uint32_t division, TimeDivision& out) {
    if (division & 0x8000u) {
        out.smpte = true;
        const int frames = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
        out.framesPerSecond = static_cast<std::uint8_t>(frames);
        out.ticksPerFrame = static_cast<std::uint8_t>(division & 0xFF);
        const bool knownRate = frames == 24 || frames == 25 || frames == 29 || frames == 30;
        if (!knownRate || out.ticksPerFrame == 0)
            throw MidiFileError("invalid SMPTE time division");
    } else {
        if (division == 0) throw MidiFileError("time division of zero ticks per quarter note");
        out.ticksPerQuarter = static_cast<std::uint16_t>(division);
    }
}

// The header chunk: format and time division into `sequence`; returns the announced track count.
std::uint32_t readHeader(ByteReader& file, const std::uint8_t* data, std::size_t size,
                         MidiSequence& sequence) {
    if (size < 4 || std::memcmp(data, "MThd", 4) != 0) {
        throw MidiFileError("not a Standard MIDI File (it does not start with \"MThd\")");
    }
    if (size < 14) {
        throw MidiFileError("the file ends inside its MIDI header (" + std::to_string(size) +
                            " bytes; the header alone takes 14)");
    }
    file.skip(4);
    const std::uint32_t headerLength = file.bigEndian(4);
    if (headerLength < 6) file.fail("header chunk shorter than 6 bytes");
    sequence.format = static_cast<int>(file.bigEndian(2));
    const std::uint32_t trackCount = file.bigEndian(2);
    const std::uint32_t division = file.bigEndian(2);
    if (headerLength - 6 > size - file.offset()) file.fail("header chunk longer than the file");
    file.skip(headerLength - 6);
    if (sequence.format > 1) {
        throw MidiFileError("MIDI file format " + std::to_string(sequence.format) +
                            " (independent patterns) cannot be played; only formats 0 and 1");
    }
    readDivision(division, sequence.division);
    return trackCount;
}

struct TracksRead {
    std::uint32_t count = 0;
    bool truncated = false;
    std::vector<std::uint32_t> runningAfterMeta;  // tracks, from 1
};

// The track chunks after the header, up to the announced count; other chunks are skipped.
TracksRead readTracks(ByteReader& file, const std::uint8_t* data, std::size_t size,
                      std::uint32_t trackCount, MidiSequence& sequence) {
    TracksRead read;
    while (read.count < trackCount && !read.truncated && !file.atEnd()) {
        if (size - file.offset() < 8) {
            read.truncated = true;
            break;
        }
        const std::string id(reinterpret_cast<const char*>(file.here()), 4);
        file.skip(4);
        std::uint32_t length = file.bigEndian(4);
        const std::size_t start = file.offset();
        if (length > size - start) {
            // The last chunk is cut short: read what there is.
            length = static_cast<std::uint32_t>(size - start);
            read.truncated = true;
        }
        file.skip(length);
        if (id != "MTrk") continue;
        if (read.count >= UINT16_MAX) file.fail("more than 65535 tracks");
        TrackContents track = readTrack(ByteReader(data + start, length, start),
                                        static_cast<std::uint16_t>(read.count));
        read.truncated = read.truncated || track.truncated;
        if (track.runningStatusAfterMeta) read.runningAfterMeta.push_back(read.count + 1);
        sequence.messages.insert(sequence.messages.end(), track.messages.begin(),
                                 track.messages.end());
        sequence.tempos.insert(sequence.tempos.end(), track.tempos.begin(), track.tempos.end());
        sequence.endTick = std::max(sequence.endTick, track.summary.endTick);
        sequence.tracks.push_back(track.summary);
        ++read.count;
    }
    return read;
}

void warnAboutTracks(MidiSequence& sequence, std::uint32_t trackCount, const TracksRead& read) {
    if (read.truncated) {
        sequence.warnings.push_back("the file is cut short: track " + std::to_string(read.count) +
                                    " ends inside an event; playing what is there");
    }
    if (read.count < trackCount) {
        sequence.warnings.push_back("the header announces " + std::to_string(trackCount) +
                                    " tracks but the file holds " + std::to_string(read.count));
    }
    if (sequence.format == 0 && read.count > 1) {
        sequence.warnings.push_back("a format 0 file with " + std::to_string(read.count) +
                                    " tracks (format 0 has one); playing them all together");
    }
    if (!read.runningAfterMeta.empty()) {
        std::string list;
        for (std::uint32_t track : read.runningAfterMeta)
            list += (list.empty() ? "" : ", ") + std::to_string(track);
        sequence.warnings.push_back(
            "running status right after a meta or system-exclusive event (track " + list +
            "); the last channel status was kept, as common players do");
    }
}

MidiSequence parseSmf(const std::uint8_t* data, std::size_t size) {
    ByteReader file(data, size, 0);
    MidiSequence sequence;
    const std::uint32_t trackCount = readHeader(file, data, size, sequence);
    const TracksRead read = readTracks(file, data, size, trackCount, sequence);
    if (read.count == 0) {
        throw MidiFileError(trackCount == 0 ? "the MIDI file has no tracks"
                                            : "the file ends before its first track");
    }
    warnAboutTracks(sequence, trackCount, read);
    // Tracks were appended in file order, so a stable sort by tick gives track order for
    // messages of the same tick and file order within a track.
    std::stable_sort(
        sequence.messages.begin(), sequence.messages.end(),
        [](const ChannelMessage& a, const ChannelMessage& b) { return a.tick < b.tick; });
    std::stable_sort(sequence.tempos.begin(), sequence.tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    return sequence;
}

}  // namespace

int channelMessageDataBytes(std::uint8_t status) {
    const std::uint8_t kind = status & 0xF0;
    return (kind == 0xC0 || kind == 0xD0) ? 1 : 2;
}

MidiSequence parseMidiFile(const std::uint8_t* data, std::size_t size) {
    std::size_t offset = 0;
    std::size_t length = size;
    const bool rmid = findRmidPayload(data, size, offset, length);
    try {
        MidiSequence sequence = parseSmf(data + offset, length);
        if (rmid) {
            sequence.warnings.insert(sequence.warnings.begin(),
                                     "a RIFF MIDI (RMID) file; playing the MIDI file inside it");
        }
        return sequence;
    } catch (const TruncatedData& truncated) {
        throw MidiFileError("the file ends inside its MIDI header (at byte " +
                            std::to_string(truncated.offset + offset) + ")");
    }
}

MidiSequence readMidiFile(const std::string& path) {
    const bool fromStdin = path == "-";
    const std::string name = fromStdin ? std::string("standard input") : path;
    if (!fromStdin) {
        struct stat info = {};
        if (stat(path.c_str(), &info) != 0) {
            throw MidiFileError("cannot read MIDI file " + path + ": " + std::strerror(errno));
        }
        if (S_ISDIR(info.st_mode)) {
            throw MidiFileError(path + " is a folder, not a MIDI file");
        }
    }
    std::vector<std::uint8_t> bytes;
    std::ifstream file;
    std::istream* in = &std::cin;
    if (!fromStdin) {
        file.open(path, std::ios::binary);
        if (!file) {
            throw MidiFileError("cannot read MIDI file " + path + ": " + std::strerror(errno));
        }
        in = &file;
    }
    bytes.assign(std::istreambuf_iterator<char>(*in), std::istreambuf_iterator<char>());
    if (in->bad()) throw MidiFileError("cannot read MIDI file " + name);
    try {
        MidiSequence sequence = parseMidiFile(bytes.data(), bytes.size());
        return sequence;
    } catch (const MidiFileError& error) {
        throw MidiFileError(name + ": " + error.what());
    }
}

}  // namespace corvalen::render
