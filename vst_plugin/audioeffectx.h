// AudioEffectX: the second generation of the interface. It handles dispatcher opcodes 25 to 58
// (events, capabilities, names, offline processing, speaker arrangements, version), adds the
// flag setters for instruments and tail-less effects, and offers calls that ask the host for
// services. Every other opcode goes on to AudioEffect's dispatcher.
#pragma once

#include "vst_plugin/audioeffect.h"

class AudioEffectX : public AudioEffect {
public:
    AudioEffectX(HostCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams);

    VstIntPtr dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                         float opt) override;

    // The operations below follow AudioEffect's in slot order. "host n" marks a call to the
    // host with opcode n; without a host callback those answer 0, false or null.
    virtual VstTimeInfo* getTimeInfo(VstInt32 filter);  // host 7
    virtual VstInt32 tempoAt(VstInt32 pos);             // host 10
    virtual VstInt32 processEvents(VstEvents* events);  // opcode 25
    virtual VstInt32 getNumAutomatableParameters();     // host 11
    virtual VstInt32 getParameterQuantization();        // host 12
    virtual bool canParameterBeAutomated(VstInt32 index);
    virtual bool string2parameter(VstInt32 index, const char* text);
    virtual float getChannelParameter(VstInt32 channel, VstInt32 index);
    virtual VstInt32 getNumCategories();
    virtual bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text);
    virtual bool copyProgram(VstInt32 destination);
    virtual bool ioChanged();                                  // host 13
    virtual bool needIdle();                                   // host 14
    virtual bool sizeWindow(VstInt32 width, VstInt32 height);  // host 15
    virtual double updateSampleRate();    // host 16; answers the stored sampleRate
    virtual VstInt32 updateBlockSize();   // host 17; answers the stored blockSize
    virtual VstInt32 getInputLatency();   // host 18
    virtual VstInt32 getOutputLatency();  // host 19
    virtual AEffect* getPreviousPlug();   // host 20
    virtual AEffect* getNextPlug();       // host 21
    virtual void inputConnected(VstInt32 index, bool state);
    virtual void outputConnected(VstInt32 index, bool state);
    virtual bool getInputProperties(VstInt32 index, VstPinProperties* properties);
    virtual bool getOutputProperties(VstInt32 index, VstPinProperties* properties);
    // kPlugCategSynth while the synth flag is set, else kPlugCategUnknown.
    virtual VstInt32 getPlugCategory();
    virtual VstInt32 willProcessReplacing();    // host 22
    virtual VstInt32 getCurrentProcessLevel();  // host 23
    virtual VstInt32 getAutomationState();      // host 24
    virtual void wantAsyncOperation(bool state);
    virtual void hasExternalBuffer(bool state);
    virtual VstInt32 reportCurrentPosition();
    virtual float* reportDestinationBuffer();
    virtual bool offlineRead(VstOfflineTask* offline, VstInt32 option, bool readSource);  // host 26
    virtual bool offlineWrite(VstOfflineTask* offline, VstInt32 option);                  // host 27
    virtual bool offlineStart(VstAudioFile* audioFiles, VstInt32 numAudioFiles,
                              VstInt32 numNewAudioFiles);  // host 25
    virtual VstInt32 offlineGetCurrentPass();              // host 28
    virtual VstInt32 offlineGetCurrentMetaPass();          // host 29
    virtual bool offlineNotify(VstAudioFile* audioFiles, VstInt32 numAudioFiles, bool start);
    virtual bool offlinePrepare(VstOfflineTask* offline, VstInt32 count);
    virtual bool offlineRun(VstOfflineTask* offline, VstInt32 count);
    virtual VstInt32 offlineGetNumPasses();
    virtual VstInt32 offlineGetNumMetaPasses();
    virtual void setOutputSamplerate(float newSampleRate);  // host 30
    virtual bool getSpeakerArrangement(VstSpeakerArrangement** pluginInput,
                                       VstSpeakerArrangement** pluginOutput);  // host 31
    virtual bool getHostVendorString(char* text);                              // host 32
    virtual bool getHostProductString(char* text);                             // host 33
    virtual VstInt32 getHostVendorVersion();                                   // host 34
    // lArg2 is pointer-sized: hosts and plug-ins pass pointers through it.
    virtual VstIntPtr hostVendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                         float floatArg);  // host 35
    virtual VstInt32 canHostDo(const char* text);          // host 37; 1 or 0
    virtual void isSynth(bool state);
    virtual void noTail(bool state);
    virtual VstInt32 getHostLanguage();           // host 38
    virtual void* openWindow(VstWindow* window);  // host 39
    virtual bool closeWindow(VstWindow* window);  // host 40
    virtual void* getDirectory();                 // host 41
    virtual bool updateDisplay();                 // host 42
    virtual bool processVariableIo(VstVariableIo* varIo);
    virtual bool setSpeakerArrangement(VstSpeakerArrangement* pluginInput,
                                       VstSpeakerArrangement* pluginOutput);
    virtual void setBlockSizeAndSampleRate(VstInt32 newBlockSize, float newSampleRate);
    virtual bool setBypass(bool onOff);
    virtual bool getEffectName(char* name);
    virtual bool getErrorText(char* text);
    virtual bool getVendorString(char* text);
    virtual bool getProductString(char* text);
    virtual VstInt32 getVendorVersion();
    // lArg2 is pointer-sized for the same reason as in hostVendorSpecific.
    virtual VstIntPtr vendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg, float floatArg);
    virtual VstInt32 canDo(const char* text);  // 1 yes, -1 no, 0 don't know
    virtual void* getIcon();
    virtual bool setViewPosition(VstInt32 x, VstInt32 y);
    virtual VstInt32 getGetTailSize();
    virtual VstInt32 fxIdle();
    virtual bool getParameterProperties(VstInt32 index, VstParameterProperties* properties);
    virtual bool keysRequired();
    virtual VstInt32 getVstVersion();

    // Asks the host (opcode 6) to deliver event lists; the answer is dropped.
    void wantEvents(VstInt32 filter = 1);
};
