// AudioEffect: the base of every effect object. It owns the effect record that the host holds,
// keeps the host callback and the stream settings, and turns dispatcher opcodes 0 to 24 into
// calls of its virtual operations. Each operation has a harmless default; a concrete plug-in
// replaces the ones it needs.
//
// Text buffers passed to the operations are the host's: no length travels with them, so every
// writer keeps to the conventional sizes (names and labels 8 characters, program names 24,
// effect name 32, vendor and product 64, each plus the terminator). The dispatcher never
// passes a null buffer on: it answers 0 for such a request instead.
#pragma once

#include <memory>

#include "vst_plugin/aeffect.h"
#include "vst_plugin/aeffeditor.h"

class AudioEffect {
public:
    // Makes no call to the host: the record is filled with the defaults and nothing else.
    AudioEffect(HostCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);
    virtual ~AudioEffect();

    AudioEffect(const AudioEffect&) = delete;
    AudioEffect& operator=(const AudioEffect&) = delete;

    // The virtual operations below are declared in the order of their table slots.
    virtual void setSampleRate(float newSampleRate);
    virtual void setBlockSize(VstInt32 newBlockSize);
    virtual void setParameter(VstInt32 index, float value);
    virtual float getParameter(VstInt32 index);
    // Calls setParameter, then tells the host (opcode 0), so a user's change gets recorded.
    virtual void setParameterAutomated(VstInt32 index, float value);
    virtual void process(float** inputs, float** outputs, VstInt32 sampleFrames) = 0;
    virtual void processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames);
    virtual VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                 float opt);
    virtual void open();
    virtual void close();
    virtual VstInt32 getProgram();
    virtual void setProgram(VstInt32 program);
    virtual void setProgramName(const char* name);
    virtual void getProgramName(char* name);
    virtual void getParameterLabel(VstInt32 index, char* label);
    virtual void getParameterDisplay(VstInt32 index, char* text);
    virtual void getParameterName(VstInt32 index, char* text);
    virtual float getVu();
    virtual VstInt32 getChunk(void** data, bool isPreset);
    virtual VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset);
    virtual void suspend();
    virtual void resume();

    // Setters of the record's capability fields; each flag setter touches its own bit only.
    virtual void setUniqueID(VstInt32 id);
    virtual void setNumInputs(VstInt32 count);
    virtual void setNumOutputs(VstInt32 count);
    virtual void hasVu(bool state);
    virtual void hasClip(bool state);
    virtual void canMono(bool state);
    virtual void canProcessReplacing(bool state);
    virtual void programsAreChunks(bool state);
    virtual void setRealtimeQualities(VstInt32 qualities);
    virtual void setOfflineQualities(VstInt32 qualities);
    virtual void setInitialDelay(VstInt32 delay);

    // Calls to the host; without a callback each gives the answer noted.
    virtual VstInt32 getMasterVersion();    // 1 when the host answers 0 or is absent
    virtual VstInt32 getCurrentUniqueId();  // 0 without a host
    virtual void masterIdle();
    virtual bool isInputConnected(VstInt32 input);    // true without a host
    virtual bool isOutputConnected(VstInt32 output);  // true without a host

    AEffect* getAeffect() { return &effect; }

protected:
    // Sends one call to the host with this object's record; 0 without a host callback.
    VstIntPtr callHost(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setFlag(VstInt32 bit, bool state);

    AEffect effect;  // first member: the host's handle lives and dies with the object
    float sampleRate = 44100.0f;
    std::unique_ptr<AEffEditor> editor;  // never attached in this system
    HostCallback audioMaster;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 curProgram = 0;
    VstInt32 blockSize = 1024;
};
