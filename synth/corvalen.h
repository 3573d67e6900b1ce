#pragma once

#include "synth/engine.h"
#include "vst_plugin/audioeffectx.h"

// The Corvalen synthesizer as a VST 2 host sees it: identity, 32 programs, six parameters, MIDI
// intake and the rendering loop. A thin face on CorvalenEngine, which holds all of it but the
// identity, the texts and the current program number (the base class's curProgram).
//
// The host's sample rate and block size are stored by the base class only: the sound is always
// computed for 44,100 samples per second, and blocks of any length are rendered.
//
// Threads: as CorvalenEngine's. The host calls processEvents and then the block's rendering
// call on its audio thread; parameter changes and program selection may arrive on any other
// thread.
class Atestsynth : public AudioEffectX {
public:
    static constexpr VstInt32 kProgramCount = CorvalenEngine::kProgramCount;

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
    CorvalenEngine engine;
};
