#pragma once

#include <atomic>
#include <cstdint>

class testsynthProgram;

// Parameter numbers as the host sees them.
enum ParameterIndex : int {
    kBowPosParameter = 0,
    kBowPresParameter = 1,
    kModFreqParameter = 2,
    kModGainParameter = 3,
    kOffGainParameter = 4,
    kLevelParameter = 5,
    kParameterCount = 6,
};

// Name and unit label shown by the host; null for an index outside 0..5.
const char* parameterName(int index);
const char* parameterLabel(int index);

// Writes the text the host shows for parameter `index` holding `value` into a host buffer
// of at least 9 bytes. The texts are never longer than 8 characters: a value whose number
// would not fit shows as kDisplayOverflowText instead.
void writeParameterDisplay(int index, float value, char* text);
constexpr const char* kDisplayOverflowText = "********";

// The six current parameter values, written by the host on any thread and read by the
// audio thread. Each value is a lock-free atomic, and every change sets a bit in a pending
// mask; the audio thread takes the mask at the start of a block and hands the latest values
// to the instrument then, so the instrument is never touched in the middle of a call and the
// audio thread never waits. Since the instrument's controls keep no history, applying only
// the latest value of each parameter gives the same samples as applying every one.
class ParameterValues {
public:
    static_assert(std::atomic<float>::is_always_lock_free, "audio thread must not lock");

    // Stores the value and marks it pending. Non-finite values are refused: a NaN or an
    // infinity reaching the string would stay in its delay lines for good.
    bool set(int index, float value);
    // 0 for an index outside 0..5.
    float get(int index) const;
    // Takes the program's values as current ones without marking them pending: selecting
    // a program changes what the host reads, not the instrument.
    void loadProgram(const testsynthProgram& program);
    // The bits (1 << index) of the parameters set since the last call; clears them.
    std::uint32_t takePending();

    std::atomic<float> bowPos{0.0f};
    std::atomic<float> bowPres{0.0f};
    std::atomic<float> modFreq{0.0f};
    std::atomic<float> modGain{0.0f};
    std::atomic<float> offGain{0.0f};
    std::atomic<float> level{0.0f};

private:
    std::atomic<float>* slot(int index);
    const std::atomic<float>* slot(int index) const;

    std::atomic<std::uint32_t> pending{0};
};
