#include "tools/render/midi_selection.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "tools/render/timeline.h"

namespace corvalen::render {
namespace {

bool isNoteOn(const ChannelMessage& message) {
    return (message.status & 0xF0) == 0x90 && message.data2 != 0;
}

std::string formatSeconds(double seconds) {
    char text[48];
    const long whole = static_cast<long>(seconds);
    std::snprintf(text, sizeof text, "%ld:%06.3f", whole / 60, seconds - 60.0 * (whole / 60));
    return text;
}

const char* kNoteNames[] = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B"};

std::string noteName(int note) {
    return std::string(kNoteNames[note % 12]) + std::to_string(note / 12 - 1);
}

}  // namespace

MidiSequence selectMessages(const MidiSequence& sequence, const MidiSelection& selection) {
    for (int track : selection.tracks) {
        if (track < 1 || static_cast<std::size_t>(track) > sequence.tracks.size()) {
            throw MidiFileError("there is no track " + std::to_string(track) + " (the file has " +
                                std::to_string(sequence.tracks.size()) + ")");
        }
    }
    MidiSequence selected = sequence;
    if (selection.channels.empty() && selection.tracks.empty()) return selected;
    auto chosen = [](const std::vector<int>& list, int value) {
        return list.empty() || std::find(list.begin(), list.end(), value) != list.end();
    };
    selected.messages.clear();
    for (const ChannelMessage& message : sequence.messages) {
        if (chosen(selection.channels, (message.status & 0x0F) + 1) &&
            chosen(selection.tracks, message.track + 1)) {
            selected.messages.push_back(message);
        }
    }
    return selected;
}

std::size_t countNotes(const MidiSequence& sequence) {
    return static_cast<std::size_t>(
        std::count_if(sequence.messages.begin(), sequence.messages.end(), isNoteOn));
}

namespace {

// What a track or a channel holds.
struct Counts {
    std::size_t messages = 0;
    std::size_t notes = 0;
    int lowest = 128;
    int highest = -1;
    int program = -1;
    std::uint16_t channelsUsed = 0;

    void add(const ChannelMessage& message) {
        const int channel = message.status & 0x0F;
        ++messages;
        channelsUsed |= static_cast<std::uint16_t>(1u << channel);
        if (isNoteOn(message)) {
            ++notes;
            lowest = std::min<int>(lowest, message.data1);
            highest = std::max<int>(highest, message.data1);
        }
        if ((message.status & 0xF0) == 0xC0 && program < 0) program = message.data1;
    }
    std::string range() const {
        return notes == 0 ? std::string() : ", " + noteName(lowest) + " to " + noteName(highest);
    }
};

// "format 1, 480 ticks per quarter, length 1:02 (...)" and the tempo changes.
std::string describeTiming(const MidiSequence& sequence, const std::string& name) {
    const TempoMap tempoMap(sequence.division, sequence.tempos);
    auto secondsAt = [&tempoMap](std::uint64_t tick) {
        return static_cast<double>(tempoMap.frameAt(tick, 1000000)) / 1e6;
    };
    std::string out = name + ": format " + std::to_string(sequence.format) + ", ";
    if (sequence.division.smpte) {
        out += std::to_string(sequence.division.framesPerSecond) + " fps x " +
               std::to_string(sequence.division.ticksPerFrame) + " ticks";
    } else {
        out += std::to_string(sequence.division.ticksPerQuarter) + " ticks per quarter";
    }
    out += ", length " + formatSeconds(secondsAt(sequence.endTick)) + " (" +
           std::to_string(sequence.endTick) + " ticks)\n";

    out += "Tempo changes: " + std::to_string(sequence.tempos.size());
    const std::size_t shown = std::min<std::size_t>(sequence.tempos.size(), 8);
    for (std::size_t i = 0; i < shown; ++i) {
        char text[64];
        std::snprintf(text, sizeof text, "%s %.2f bpm at %s", i == 0 ? ":" : ",",
                      60e6 / sequence.tempos[i].microsecondsPerQuarter,
                      formatSeconds(secondsAt(sequence.tempos[i].tick)).c_str());
        out += text;
    }
    if (shown < sequence.tempos.size()) out += ", ...";
    if (sequence.division.smpte) out += " (SMPTE time: tempo does not apply)";
    return out + "\n";
}

std::string describeTracks(const MidiSequence& sequence, const std::vector<Counts>& tracks) {
    std::string out = "Tracks: " + std::to_string(tracks.size()) + "\n";
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        std::string used;
        for (int channel = 0; channel < 16; ++channel) {
            if (tracks[i].channelsUsed & (1u << channel))
                used += (used.empty() ? "" : ",") + std::to_string(channel + 1);
        }
        out += "  track " + std::to_string(i + 1) + ": ";
        out += sequence.tracks[i].name.empty() ? "" : "\"" + sequence.tracks[i].name + "\", ";
        out += std::to_string(tracks[i].notes) + " notes, " + std::to_string(tracks[i].messages) +
               " messages" + (used.empty() ? "" : ", channels " + used) + tracks[i].range() + "\n";
    }
    return out;
}

std::string describeChannels(const std::array<Counts, 16>& channels) {
    std::string out = "Channels:\n";
    bool any = false;
    for (int channel = 0; channel < 16; ++channel) {
        const Counts& counts = channels[channel];
        if (counts.messages == 0) continue;
        any = true;
        out += "  channel " + std::to_string(channel + 1) + ": " + std::to_string(counts.notes) +
               " notes, " + std::to_string(counts.messages) + " messages" + counts.range() +
               (counts.program >= 0 ? ", program " + std::to_string(counts.program + 1) : "") +
               (channel == 9 ? " (drums in General MIDI)" : "") + "\n";
    }
    if (!any) out += "  none: the file holds no channel messages\n";
    return out;
}

}  // namespace

std::string describeMidi(const MidiSequence& sequence, const std::string& name) {
    std::vector<Counts> tracks(sequence.tracks.size());
    std::array<Counts, 16> channels{};
    for (const ChannelMessage& message : sequence.messages) {
        tracks[message.track].add(message);
        channels[message.status & 0x0F].add(message);
    }
    std::string out = describeTiming(sequence, name) + describeTracks(sequence, tracks) +
                      describeChannels(channels);
    for (const std::string& warning : sequence.warnings) out += "Warning: " + warning + "\n";
    return out;
}

}  // namespace corvalen::render
