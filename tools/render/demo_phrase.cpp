#include "tools/render/demo_phrase.h"

#include <algorithm>

namespace corvalen::render {
namespace {

constexpr std::uint16_t kTicksPerBeat = 480;
constexpr std::uint32_t kTempo = 666667;  // microseconds per beat: 90 beats per minute
// A legato note ends this long after the next one starts.
constexpr std::uint64_t kLegatoOverlap = kTicksPerBeat / 8;

struct PhraseNote {
    double beat;   // start
    double beats;  // sounding length (before any legato overlap)
    int note;
    int velocity;
    bool legato;  // held into the next note
};

constexpr PhraseNote kPhrase[] = {
    // Detached, climbing across the strings.
    {0.0, 0.6, 55, 90, false},
    {1.0, 0.6, 62, 96, false},
    {2.0, 0.6, 69, 102, false},
    {3.0, 0.6, 76, 108, false},
    // Legato melody.
    {4.0, 1.5, 69, 100, true},
    {5.5, 0.5, 71, 92, true},
    {6.0, 1.0, 72, 100, true},
    {7.0, 1.0, 74, 104, true},
    {8.0, 2.0, 76, 112, true},
    {10.0, 1.0, 74, 96, true},
    {11.0, 1.0, 72, 92, false},
    // Detached run to the top.
    {12.0, 0.35, 81, 110, false},
    {12.5, 0.35, 84, 112, false},
    {13.0, 0.35, 88, 116, false},
    {13.5, 1.0, 93, 120, false},
    // Legato descent to a long low note.
    {15.0, 1.0, 64, 100, true},
    {16.0, 1.0, 60, 96, true},
    {17.0, 1.0, 57, 92, true},
    {18.0, 1.0, 52, 88, true},
    {19.0, 2.5, 50, 84, false},
};

std::uint64_t ticks(double beats) {
    return static_cast<std::uint64_t>(beats * kTicksPerBeat + 0.5);
}

}  // namespace

MidiSequence demoPhrase() {
    MidiSequence sequence;
    sequence.format = 0;
    sequence.division.ticksPerQuarter = kTicksPerBeat;
    sequence.tempos.push_back({0, kTempo});
    for (const PhraseNote& note : kPhrase) {
        const std::uint64_t start = ticks(note.beat);
        const std::uint64_t end =
            ticks(note.beat + note.beats) + (note.legato ? kLegatoOverlap : 0);
        const auto number = static_cast<std::uint8_t>(note.note);
        sequence.messages.push_back(
            {start, 0x90, number, static_cast<std::uint8_t>(note.velocity)});
        sequence.messages.push_back({end, 0x80, number, 64});
        sequence.endTick = std::max(sequence.endTick, end);
    }
    std::stable_sort(
        sequence.messages.begin(), sequence.messages.end(),
        [](const ChannelMessage& a, const ChannelMessage& b) { return a.tick < b.tick; });
    return sequence;
}

}  // namespace corvalen::render
