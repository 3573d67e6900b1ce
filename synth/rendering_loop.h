#pragma once

// The engine's rendering loop, the real-time path: no allocation, lock, wait or formatting in
// this file.
//
// Each plug-in format includes it in the one file that holds its rendering call, so the loop is
// compiled into that call: a call from the face into another translation unit cost 3 more
// instructions per block (measured with 1-frame blocks).

#include <cmath>
#include <cstdint>

#include "synth/engine.h"
#include "synth/note_frequencies.h"
#include "synth/rendering_fp_state.h"

namespace corvalen_rendering {

using velquistdsp::kVelocityScale;
using String = velquistdsp::tbowedstring;

// The ranges the instrument's controls are driven over.
constexpr float kControlRange = 127.0f;
constexpr float kModulationDepthRange = 32.0f;
constexpr float kNoteOffScale = 1000.0f;

// The parameters that drive one of the instrument's controls, in the order they are handed on,
// with the factor each value is scaled by.
struct ControlRoute {
    ParameterIndex parameter;
    int control;
    float range;
};
constexpr ControlRoute kControlRoutes[] = {
    {kBowPosParameter, String::kBowPositionControl, kControlRange},
    {kBowPresParameter, String::kBowPressureControl, kControlRange},
    {kModFreqParameter, String::kModulationRateControl, kControlRange},
    {kModGainParameter, String::kModulationDepthControl, kModulationDepthRange},
};

// Hands a scaled parameter value to the instrument. A host value far outside 0..1 (beyond
// about 2.7e36 for the controls scaled by 127) overflows to infinity here; an infinite bow slope
// times the silent string's zero velocity difference is NaN, which would then circulate in the
// delay lines for good. Such a control is not passed on: the instrument keeps its last setting,
// as it does when the host sends NaN or an infinity itself.
inline void sendControl(velquistdsp::tbowedstring& string, int number, float scaledValue) {
    if (std::isfinite(scaledValue)) string.controlChange(number, scaledValue);
}

// The instrument's sample step is too large for the compiler to inline on its own, and a call
// per sample costs about a tenth of the step itself. Flattening the run loop inlines the step
// and everything it calls, so the loop is one straight body per sample. The flattened loop is
// kept out of the block's code: inlined there, its registers cost the block's other paths
// (measured: 18 more instructions per sample with 1-frame blocks).
#if defined(__GNUC__)
#define CORVALEN_FLATTEN __attribute__((flatten, noinline))
#else
#define CORVALEN_FLATTEN
#endif

// The block loop is forced into each rendering call (processReplacing, process; LV2's run): the
// compiler left it out of line, which cost 14 instructions per block (1-frame blocks: 253.45
// instructions per sample out of line, 239.45 inlined).
#if defined(__GNUC__)
#define CORVALEN_INLINE_BLOCK __attribute__((always_inline)) inline
#else
#define CORVALEN_INLINE_BLOCK inline
#endif

// One sample of the output, the same value in both channels.
template <bool kAccumulate>
void writeSample(float* left, float* right, std::int32_t sample, float y) {
    if constexpr (kAccumulate) {
        left[sample] += y;
        right[sample] += y;
    } else {
        left[sample] = y;
        right[sample] = y;
    }
}

// Samples [from, to) of the block: the instrument's output times the level.
template <bool kAccumulate>
CORVALEN_FLATTEN void renderSamples(velquistdsp::tbowedstring& string, float gain, float* left,
                                    float* right, std::int32_t from, std::int32_t to) {
    std::int32_t sample = from;
    string.render(to - from, [&](float value) {
        writeSample<kAccumulate>(left, right, sample++, value * gain);
    });
}

// The same samples through the instrument's own computeSample, called once per sample.
template <bool kAccumulate>
void renderSamplesByCalls(velquistdsp::tbowedstring& string, float gain, float* left, float* right,
                          std::int32_t from, std::int32_t to) {
    for (std::int32_t sample = from; sample < to; ++sample) {
        writeSample<kAccumulate>(left, right, sample, string.computeSample() * gain);
    }
}

// Below this many samples a run calls the step instead of inlining it: the inlined loop loads
// the string's state into registers before its first sample and stores it back after its last,
// which costs more than the calls it saves over a few samples (tiny host blocks, events close
// together).
constexpr std::int32_t kShortRun = 8;

template <bool kAccumulate>
void renderRun(velquistdsp::tbowedstring& string, float gain, float* left, float* right,
               std::int32_t from, std::int32_t to) {
    if (to - from < kShortRun) {
        renderSamplesByCalls<kAccumulate>(string, gain, left, right, from, to);
    } else {
        renderSamples<kAccumulate>(string, gain, left, right, from, to);
    }
}

}  // namespace corvalen_rendering

inline void CorvalenEngine::renderReplacing(float* const* outputs, std::int32_t frames) {
    const RenderingFpState fpState;
    renderBlock<false>(outputs, frames);
}

inline void CorvalenEngine::renderAdding(float* const* outputs, std::int32_t frames) {
    const RenderingFpState fpState;
    renderBlock<true>(outputs, frames);
}

template <bool kAccumulate>
CORVALEN_INLINE_BLOCK void CorvalenEngine::renderBlock(float* const* outputs,
                                                       std::int32_t sampleFrames) {
    applyPendingParameters();
    const float gain = parameters.level();

    // Without both channel buffers the block is treated as empty: nothing is written, time
    // does not advance, and the queued entries still take effect below.
    const bool writable = outputs != nullptr && outputs[0] != nullptr && outputs[1] != nullptr;
    const std::int32_t frames = writable ? sampleFrames : 0;
    float* const left = writable ? outputs[0] : nullptr;
    float* const right = writable ? outputs[1] : nullptr;

    // Entries apply in list order; each waits until the sample index reaches its offset, so
    // the block is rendered in runs between the offsets of consecutive entries.
    const int count = eventQueue.count();
    int cursor = 0;
    std::int32_t sample = 0;
    while (sample < frames) {
        while (cursor < count && eventQueue[cursor].deltaFrames <= sample) {
            applyEntry(eventQueue[cursor++]);
        }
        std::int32_t runEnd = frames;
        if (cursor < count && eventQueue[cursor].deltaFrames < runEnd) {
            runEnd = eventQueue[cursor].deltaFrames;
        }
        corvalen_rendering::renderRun<kAccumulate>(*instrument, gain, left, right, sample, runEnd);
        sample = runEnd;
    }
    // Offsets at or past the block's end (which hosts should not send) act after its last
    // sample, so that the next block starts with them and a late release never hangs a note.
    while (cursor < count) applyEntry(eventQueue[cursor++]);
    eventQueue.clear();
}

inline void CorvalenEngine::applyPendingParameters() {
    const std::uint32_t pending = parameters.takePending();
    if (pending == 0) return;
    for (const corvalen_rendering::ControlRoute& route : corvalen_rendering::kControlRoutes) {
        if ((pending & (1u << route.parameter)) != 0) {
            corvalen_rendering::sendControl(*instrument, route.control,
                                            parameters.given(route.parameter) * route.range);
        }
    }
    if ((pending & (1u << kOffGainParameter)) != 0) {
        noteOffValue = parameters.given(kOffGainParameter) / corvalen_rendering::kNoteOffScale;
    }
}

inline void CorvalenEngine::applyEntry(const QueuedEvent& entry) {
    if (entry.isOn) {
        const float amplitude =
            static_cast<float>(entry.velocity * corvalen_rendering::kVelocityScale);
        // The queue masks note numbers to 7 bits; the mask here keeps the lookup in the table
        // whatever reaches it.
        instrument->noteOn(noteFrequencies[entry.note & 0x7F], amplitude);
        lastNote = entry.note;
    } else if (entry.note == lastNote) {
        instrument->noteOff(noteOffValue);
    }
}
