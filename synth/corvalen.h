#pragma once

#include <cstdint>
#include <memory>

#include "dsp/bowed_string.h"
#include "synth/event_queue.h"
#include "synth/parameters.h"
#include "synth/program.h"
#include "vst_plugin/audioeffectx.h"

// The Corvalen synthesizer as the host sees it: identity, 32 programs, six parameters, MIDI
// intake and the rendering loop, all playing one monophonic bowed string.
//
// The host's sample rate and block size are stored by the base class only: the sound is always
// computed for 44,100 samples per second, and blocks of any length are rendered.
//
// Threads: the host calls processEvents and then the block's rendering call on its audio
// thread; parameter changes and program selection may arrive on any other thread. Those only
// touch the atomic ParameterValues, and the rendering call hands pending changes to the
// instrument at its start, so the instrument is only ever called from the audio thread.
class Atestsynth : public AudioEffectX {
public:
    static constexpr VstInt32 kProgramCount = 32;
    static constexpr float kLowestFrequency = 20.0f;

    explicit Atestsynth(HostCallback audioMaster);
    Atestsynth(const Atestsynth&) = delete;
    Atestsynth& operator=(const Atestsynth&) = delete;

    void setParameter(VstInt32 index, float value) override;
    float getParameter(VstInt32 index) override;
    void process(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames) override;
    void setProgram(VstInt32 program) override;
    void setProgramName(const char* name) override;
    void getProgramName(char* name) override;
    void getParameterLabel(VstInt32 index, char* label) override;
    void getParameterDisplay(VstInt32 index, char* text) override;
    void getParameterName(VstInt32 index, char* text) override;
    void resume() override;
    VstInt32 processEvents(VstEvents* events) override;
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override;
    bool copyProgram(VstInt32 destination) override;
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override;
    bool getEffectName(char* name) override;
    bool getVendorString(char* text) override;
    bool getProductString(char* text) override;
    VstInt32 getVendorVersion() override;
    VstInt32 canDo(const char* text) override;

private:
    template <bool kAccumulate>
    void renderBlock(float** outputs, VstInt32 sampleFrames);
    void applyPendingParameters();
    void applyEntry(const QueuedEvent& entry);
    static bool isProgram(VstInt32 number) { return number >= 0 && number < kProgramCount; }

    ParameterValues parameters;  // bowPos, bowPres, modFreq, modGain, offGain, level
    // Concrete type, not the interface: the class is final, so the per-sample call is direct.
    std::unique_ptr<velquistdsp::tbowedstring> instrument;
    std::unique_ptr<testsynthProgram> programs[kProgramCount];
    EventQueue eventQueue;  // with eventCount; touched by the audio thread only
    std::uint8_t lastNote = 0;
    float noteOffValue = 0.0f;  // audio thread only
};
