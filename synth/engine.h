#pragma once

#include <cstdint>
#include <memory>

#include "dsp/bowed_string.h"
#include "synth/event_queue.h"
#include "synth/parameters.h"
#include "synth/program.h"
#include "synth/program_table.h"

// The instrument behind every plug-in format: the 32 programs, the six parameters, the intake of
// one block's MIDI messages and the rendering loop that plays them on one monophonic bowed
// string at 44,100 samples per second. It knows no plug-in interface; each format's face turns
// its host's calls into these (synth/corvalen.h for VST 2, lv2/ for LV2).
//
// Threads: beginEvents, addMidi and render belong to the audio thread, one block after another.
// Program and parameter calls may come from any thread: they touch only the program records and
// the atomic ParameterValues, and render hands pending parameter changes to the instrument
// before its first sample, so the instrument is only ever called from the audio thread.
class CorvalenEngine {
public:
    static constexpr int kProgramCount = kInitialProgramCount;
    static constexpr float kLowestFrequency = 20.0f;

    // Allocates the programs and the instrument; program 0's values become the current ones.
    CorvalenEngine();
    CorvalenEngine(const CorvalenEngine&) = delete;
    CorvalenEngine& operator=(const CorvalenEngine&) = delete;

    static bool isProgram(int number) { return number >= 0 && number < kProgramCount; }
    // The stored record of program `number`, 0..31 (callers check with isProgram).
    testsynthProgram& program(int number) { return *programs[number]; }
    // Makes the stored values of program `number` the current ones: what getParameter reads and
    // the level the rendering loop applies. The instrument keeps what setParameter gave it.
    void loadProgram(int number) { parameters.loadProgram(*programs[number]); }

    // Deferred: the next render hands the value to the instrument before its first sample.
    bool setParameter(int index, float value) { return parameters.set(index, value); }
    float parameter(int index) const { return parameters.get(index); }

    // The MIDI messages of the coming block, in the host's list order: beginEvents drops what
    // was queued, then addMidi takes each message (status, data 1, data 2) with its frame offset
    // in the block. The channel plays no part.
    void beginEvents() { eventQueue.begin(lastNote); }
    void addMidi(std::int32_t frame, std::uint8_t status, std::uint8_t data1, std::uint8_t data2) {
        eventQueue.add(frame, status, data1, data2);
    }

    // Renders `frames` samples into outputs[0] and outputs[1] (the same mono signal in both),
    // replacing what they hold or adding to it, and applies the queued messages at their frames.
    // Sets the rendering arithmetic state (synth/rendering_fp_state.h) for the call. Null
    // outputs or a count of 0 or less write nothing; the queued messages still take effect.
    // Defined in synth/rendering_loop.h, which the file holding a face's rendering call includes.
    void renderReplacing(float* const* outputs, std::int32_t frames);
    void renderAdding(float* const* outputs, std::int32_t frames);

private:
    template <bool kAccumulate>
    void renderBlock(float* const* outputs, std::int32_t frames);
    void applyPendingParameters();
    void applyEntry(const QueuedEvent& entry);

    ParameterValues parameters;  // bowPos, bowPres, modFreq, modGain, offGain, level
    // Concrete type, not the interface: the class is final, so the per-sample call is direct.
    std::unique_ptr<velquistdsp::tbowedstring> instrument;
    std::unique_ptr<testsynthProgram> programs[kProgramCount];
    EventQueue eventQueue;  // touched by the audio thread only
    std::uint8_t lastNote = 0;
    float noteOffValue = 0.0f;  // audio thread only
};
