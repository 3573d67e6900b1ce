#pragma once

#include <atomic>
#include <cstdint>

class testsynthProgram;

// Parameter numbers, the same in every format (VST 2 parameter indexes, LV2 control ports).
enum ParameterIndex : int {
    kBowPosParameter = 0,
    kBowPresParameter = 1,
    kModFreqParameter = 2,
    kModGainParameter = 3,
    kOffGainParameter = 4,
    kLevelParameter = 5,
    kParameterCount = 6,
};

// The parameter values, written by the host on any thread and read by the audio thread, in
// two sets kept apart:
// - the current values, which the host reads back and which selecting a program overwrites;
// - the values setParameter last gave, which only setParameter writes. A bit per parameter
//   marks those not yet handed to the instrument; the audio thread takes the bits at the start
//   of a block and hands the given values on then.
// So the instrument hears what setParameter gave, whether or not a program was selected after
// it and whether or not a block ran in between; program selection only changes what the host
// reads (and the level, which the rendering loop reads from the current values). Every value
// is a lock-free atomic: the audio thread never waits and the instrument is never touched in
// the middle of a call. The instrument's controls keep no history, so handing on only the
// latest value of each parameter gives the same samples as handing on every one.
class ParameterValues {
public:
    static_assert(std::atomic<float>::is_always_lock_free, "audio thread must not lock");

    // Stores the value as current and as given, and marks it pending. Non-finite values are
    // refused: a NaN or an infinity reaching the string would stay in its delay lines for good.
    bool set(int index, float value);
    // The current value; 0 for an index outside 0..5.
    float get(int index) const;
    float level() const { return current[kLevelParameter].load(std::memory_order_relaxed); }
    // Takes the program's values as current ones; the given values and the pending bits stay.
    void loadProgram(const testsynthProgram& program);
    // The bits (1 << index) of the parameters set since the last call; clears them. Read the
    // values with given() after this call.
    std::uint32_t takePending();
    // The value setParameter last gave for `index` (0..5).
    float given(int index) const { return givenValues[index].load(std::memory_order_relaxed); }

private:
    std::atomic<float> current[kParameterCount] = {};
    std::atomic<float> givenValues[kParameterCount] = {};
    std::atomic<std::uint32_t> pending{0};
};
