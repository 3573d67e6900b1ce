#include "tests/reliability/host_session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace corvalen::test {

namespace {

constexpr int kParameterCount = 6;
constexpr int kModGainParameter = 3;
constexpr int kProgramCount = 32;

// Value for block `n` of what the process-style blocks start with in their buffers.
float rampValue(std::size_t n) {
    return static_cast<float>(n % 17) * 0.0625f - 0.5f;
}

}  // namespace

std::vector<SessionBlock> makeSession(std::uint32_t seed, int blocks) {
    // mt19937's sequence is fixed by the standard; only its raw outputs are used, so the
    // session is the same with every standard library.
    std::mt19937 random(seed);
    auto below = [&random](std::uint32_t n) { return static_cast<int>(random() % n); };

    std::vector<SessionBlock> session(static_cast<std::size_t>(blocks));
    for (int b = 0; b < blocks; ++b) {
        SessionBlock& block = session[static_cast<std::size_t>(b)];
        block.frames = 1 + below(700);
        block.replacing = below(4) != 0;
        if (b == 0) {
            // From the first block on the modulator runs: its depth is Mod Gain.
            block.parameters.push_back(
                {kModGainParameter, 0.25f + 0.25f * static_cast<float>(seed % 3)});
        }
        if (below(3) == 0) {
            const int changes = 1 + below(3);
            for (int c = 0; c < changes; ++c) {
                // Level (5) stays audible; Mod Gain (3) never returns to 0.
                const int index = below(kParameterCount);
                float value = static_cast<float>(below(1001)) / 1000.0f;
                if (index == 5 || index == kModGainParameter) value = 0.1f + 0.9f * value;
                block.parameters.push_back({index, value});
            }
        }
        if (below(25) == 0) block.program = below(kProgramCount);
        const int events = below(5);
        std::uint8_t lastStatus = 0;
        for (int e = 0; e < events; ++e) {
            const VstInt32 delta = below(static_cast<std::uint32_t>(block.frames));
            const std::uint8_t channel = static_cast<std::uint8_t>(below(16));
            const std::uint8_t note = static_cast<std::uint8_t>(36 + below(48));
            std::uint8_t status =
                static_cast<std::uint8_t>((below(3) == 0 ? 0x80 : 0x90) | channel);
            if (below(8) == 0) status = 0xB0 | channel;  // controllers, All Notes Off among them
            // Running status: the kind of the previous message of the list.
            if (lastStatus != 0 && below(6) == 0) status = 0x00;
            const std::uint8_t data1 = (status & 0xF0) == 0xB0 ? (below(2) ? 123 : 1) : note;
            block.events.push_back({delta, status, data1, static_cast<std::uint8_t>(below(128))});
            if (status != 0) lastStatus = status;
        }
    }
    return session;
}

std::vector<float> play(vsthost::Effect& effect, const std::vector<SessionBlock>& session) {
    std::vector<float> samples;
    effect.dispatch(effMainsChanged, 0, 1);
    for (const SessionBlock& block : session) {
        if (block.program >= 0) effect.dispatch(effSetProgram, 0, block.program);
        for (const ParameterChange& change : block.parameters) {
            effect.setParameter(change.index, change.value);
        }
        vsthost::EventList events;
        for (const MidiMessage& message : block.events) events.add(message);
        effect.sendEvents(events);

        const auto frames = static_cast<std::size_t>(block.frames);
        if (block.replacing) {
            vsthost::AudioBlock audio(frames);
            effect.processReplacing(audio);
            samples.insert(samples.end(), audio.left(), audio.left() + frames);
            samples.insert(samples.end(), audio.right(), audio.right() + frames);
            EXPECT_EQ(std::memcmp(audio.left(), audio.right(), frames * sizeof(float)), 0);
        } else {
            vsthost::AudioBlock audio(frames, rampValue(samples.size()));
            effect.process(audio);
            samples.insert(samples.end(), audio.left(), audio.left() + frames);
            samples.insert(samples.end(), audio.right(), audio.right() + frames);
        }
    }
    return samples;
}

}  // namespace corvalen::test
