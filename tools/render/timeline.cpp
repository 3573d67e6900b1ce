#include "tools/render/timeline.h"

#include <algorithm>
#include <array>

namespace corvalen::render {

TempoMap::TempoMap(const TimeDivision& division, const std::vector<TempoChange>& tempos) {
    if (division.smpte) {
        // 29 stands for 29.97 frames per second (30 × 1000/1001).
        const bool dropFrame = division.framesPerSecond == 29;
        const std::uint64_t ticksPerFrame = division.ticksPerFrame;
        unitsPerSecond_ = dropFrame ? 30000 * ticksPerFrame
                                    : std::uint64_t{division.framesPerSecond} * ticksPerFrame;
        segments_.push_back({0, 0, dropFrame ? 1001u : 1u});
    } else {
        // Units of 1/(ticksPerQuarter × 10^6) s: a tick lasts `tempo` units.
        unitsPerSecond_ = std::uint64_t{division.ticksPerQuarter} * 1000000u;
        segments_.push_back({0, 0, 500000});  // 120 beats per minute until told otherwise
        for (const TempoChange& change : tempos) {
            const std::uint64_t units = unitsAt(change.tick);
            if (segments_.back().tick == change.tick) {
                segments_.back().unitsPerTick = change.microsecondsPerQuarter;
            } else {
                segments_.push_back({change.tick, units, change.microsecondsPerQuarter});
            }
        }
    }
}

std::uint64_t TempoMap::unitsAt(std::uint64_t tick) const {
    auto after = std::upper_bound(segments_.begin(), segments_.end(), tick,
                                  [](std::uint64_t t, const Segment& s) { return t < s.tick; });
    const Segment& segment = *(after - 1);
    const std::uint64_t ticks = tick - segment.tick;
    // Check before multiplying, so the product cannot wrap.
    const std::uint64_t limit = kMaxSeconds * unitsPerSecond_;
    if (segment.units > limit || ticks > (limit - segment.units) / segment.unitsPerTick) {
        throw TimelineError("the MIDI sequence lasts longer than 24 hours");
    }
    return segment.units + ticks * segment.unitsPerTick;
}

std::int64_t TempoMap::frameAt(std::uint64_t tick, int sampleRate) const {
    if (sampleRate <= 0 || sampleRate > kMaxSampleRate) {
        throw TimelineError("sample rate out of range");
    }
    const std::uint64_t units = unitsAt(tick);
    const std::uint64_t rate = static_cast<std::uint64_t>(sampleRate);
    const std::uint64_t seconds = units / unitsPerSecond_;
    const std::uint64_t rest = units % unitsPerSecond_;
    // rest < unitsPerSecond (< 2^36) and rate <= 2^20: the product fits easily.
    const std::uint64_t fraction = (2 * rest * rate + unitsPerSecond_) / (2 * unitsPerSecond_);
    return static_cast<std::int64_t>(seconds * rate + fraction);
}

Timeline buildTimeline(const MidiSequence& sequence, int sampleRate) {
    const TempoMap tempoMap(sequence.division, sequence.tempos);
    Timeline timeline;
    timeline.events.reserve(sequence.messages.size());
    // Count of note-ons not yet released, per channel and note: a note on a channel may be
    // started twice before it is released.
    std::array<std::array<std::uint16_t, 128>, 16> held{};
    for (const ChannelMessage& message : sequence.messages) {
        TimedEvent event;
        event.frame = tempoMap.frameAt(message.tick, sampleRate);
        event.bytes[0] = message.status;
        event.bytes[1] = message.data1;
        event.bytes[2] = message.data2;
        timeline.events.push_back(event);

        const int kind = message.status & 0xF0;
        std::uint16_t& count = held[message.status & 0x0F][message.data1 & 0x7F];
        if (kind == 0x90 && message.data2 != 0) {
            if (count < UINT16_MAX) ++count;
        } else if ((kind == 0x80 || kind == 0x90) && count > 0) {
            --count;
        }
    }
    timeline.endFrame = tempoMap.frameAt(sequence.endTick, sampleRate);
    if (!timeline.events.empty()) {
        timeline.endFrame = std::max(timeline.endFrame, timeline.events.back().frame);
    }
    for (int channel = 0; channel < 16; ++channel) {
        for (int note = 0; note < 128; ++note) {
            for (int i = 0; i < held[channel][note]; ++i) {
                TimedEvent release;
                release.frame = timeline.endFrame;
                release.bytes[0] = static_cast<std::uint8_t>(0x80 | channel);
                release.bytes[1] = static_cast<std::uint8_t>(note);
                timeline.events.push_back(release);
            }
        }
    }
    return timeline;
}

}  // namespace corvalen::render
