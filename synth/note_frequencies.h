#pragma once

#include <array>

// Equal-tempered frequency in Hz of every MIDI note number, shared by all plug-in objects.
//
// Built in double precision from 6.875 Hz (A at MIDI -3) by repeated multiplication with the
// twelfth root of two, each entry rounded to single once. The repeated product, not
// 440 * 2^((n-69)/12), is what fixes every entry's last bit; note 69 comes out as exactly 440.
// Evaluated at compile time, so every build holds the same bits whatever its floating-point
// unit, and no construction rewrites a table another object's audio thread is reading.
constexpr std::array<float, 128> buildNoteFrequencies() {
    constexpr double kSemitone = 1.0594630943592953;
    double frequency = 6.875;
    for (int step = 0; step < 3; ++step) frequency *= kSemitone;
    std::array<float, 128> table{};
    for (auto& entry : table) {
        entry = static_cast<float>(frequency);
        frequency *= kSemitone;
    }
    return table;
}

inline constexpr std::array<float, 128> noteFrequencies = buildNoteFrequencies();
