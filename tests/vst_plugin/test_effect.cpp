// A tiny plug-in built on the host layer, for the tests of that layer: it logs every operation
// the dispatcher and entry points reach, with its arguments, into a Probe that tests find
// through opcode 50, and makes any host-service call on request. See test_effect_probe.h.
#include <cstring>

#include "tests/vst_plugin/test_effect_probe.h"
#include "vst_plugin/audioeffectx.h"
#include "vst_plugin/plugin_entry.h"

using namespace corvalen::test;

namespace {

int liveObjects = 0;

class PlainEffect : public AudioEffect {
public:
    explicit PlainEffect(HostCallback host) : AudioEffect(host, 1, 1) { ++liveObjects; }
    ~PlainEffect() override { --liveObjects; }
    void process(float**, float**, VstInt32) override {}
};

class PlainEffectX : public AudioEffectX {
public:
    explicit PlainEffectX(HostCallback host) : AudioEffectX(host, 1, 1) { ++liveObjects; }
    ~PlainEffectX() override { --liveObjects; }
    void process(float**, float**, VstInt32) override {}
};

class RecordingEffect : public AudioEffectX {
public:
    explicit RecordingEffect(HostCallback host)
        : AudioEffectX(host, kTestEffectPrograms, kTestEffectParams) {
        ++liveObjects;
        std::memset(&probe_, 0, sizeof probe_);
        probe_.object = this;
        refresh();
    }
    ~RecordingEffect() override { --liveObjects; }

    void setSampleRate(float rate) override {
        log(kOpSetSampleRate, 0, 0, nullptr, nullptr, rate);
        AudioEffectX::setSampleRate(rate);
        refresh();
    }
    void setBlockSize(VstInt32 size) override {
        log(kOpSetBlockSize, size);
        AudioEffectX::setBlockSize(size);
        refresh();
    }
    void setParameter(VstInt32 index, float value) override {
        log(kOpSetParameter, index, 0, nullptr, nullptr, value);
    }
    float getParameter(VstInt32 index) override {
        log(kOpGetParameter, index);
        return probe_.armed ? probe_.floatAnswer : AudioEffectX::getParameter(index);
    }
    void process(float** inputs, float** outputs, VstInt32 frames) override {
        log(kOpProcess, frames, 0, inputs, outputs);
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        log(kOpProcessReplacing, frames, 0, inputs, outputs);
    }
    void open() override { log(kOpOpen); }
    void close() override {
        log(kOpClose);
        hostVendorSpecific(kCloseReport, liveObjects, nullptr, 0.0f);
    }
    VstInt32 getProgram() override {
        log(kOpGetProgram);
        return probe_.armed ? static_cast<VstInt32>(probe_.answer) : AudioEffectX::getProgram();
    }
    void setProgram(VstInt32 program) override {
        log(kOpSetProgram, program);
        AudioEffectX::setProgram(program);
        refresh();
    }
    void setProgramName(const char* name) override { log(kOpSetProgramName, 0, 0, name); }
    void getProgramName(char* name) override {
        log(kOpGetProgramName, 0, 0, name);
        writeText(name);
    }
    void getParameterLabel(VstInt32 index, char* label) override {
        log(kOpGetParameterLabel, index, 0, label);
        writeText(label);
    }
    void getParameterDisplay(VstInt32 index, char* text) override {
        log(kOpGetParameterDisplay, index, 0, text);
        writeText(text);
    }
    void getParameterName(VstInt32 index, char* text) override {
        log(kOpGetParameterName, index, 0, text);
        writeText(text);
    }
    float getVu() override {
        log(kOpGetVu);
        return probe_.armed ? probe_.floatAnswer : AudioEffectX::getVu();
    }
    VstInt32 getChunk(void** data, bool isPreset) override {
        log(kOpGetChunk, 0, 0, data, nullptr, 0.0f, isPreset);
        return answerInt(AudioEffectX::getChunk(data, isPreset));
    }
    VstInt32 setChunk(void* data, VstInt32 byteSize, bool isPreset) override {
        log(kOpSetChunk, byteSize, 0, data, nullptr, 0.0f, isPreset);
        return answerInt(AudioEffectX::setChunk(data, byteSize, isPreset));
    }
    void suspend() override { log(kOpSuspend); }
    void resume() override { log(kOpResume); }

    VstInt32 processEvents(VstEvents* events) override {
        log(kOpProcessEvents, 0, 0, events);
        return answerInt(AudioEffectX::processEvents(events));
    }
    bool canParameterBeAutomated(VstInt32 index) override {
        log(kOpCanParameterBeAutomated, index);
        return answerBool(AudioEffectX::canParameterBeAutomated(index));
    }
    bool string2parameter(VstInt32 index, const char* text) override {
        log(kOpString2Parameter, index, 0, text);
        return answerBool(AudioEffectX::string2parameter(index, text));
    }
    VstInt32 getNumCategories() override {
        log(kOpGetNumCategories);
        return answerInt(AudioEffectX::getNumCategories());
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* text) override {
        log(kOpGetProgramNameIndexed, category, index, text);
        writeText(text);
        return answerBool(AudioEffectX::getProgramNameIndexed(category, index, text));
    }
    bool copyProgram(VstInt32 destination) override {
        log(kOpCopyProgram, destination);
        return answerBool(AudioEffectX::copyProgram(destination));
    }
    void inputConnected(VstInt32 index, bool state) override {
        log(kOpInputConnected, index, 0, nullptr, nullptr, 0.0f, state);
    }
    void outputConnected(VstInt32 index, bool state) override {
        log(kOpOutputConnected, index, 0, nullptr, nullptr, 0.0f, state);
    }
    bool getInputProperties(VstInt32 index, VstPinProperties* properties) override {
        log(kOpGetInputProperties, index, 0, properties);
        return answerBool(AudioEffectX::getInputProperties(index, properties));
    }
    bool getOutputProperties(VstInt32 index, VstPinProperties* properties) override {
        log(kOpGetOutputProperties, index, 0, properties);
        return answerBool(AudioEffectX::getOutputProperties(index, properties));
    }
    VstInt32 getPlugCategory() override {
        log(kOpGetPlugCategory);
        return answerInt(AudioEffectX::getPlugCategory());
    }
    VstInt32 reportCurrentPosition() override {
        log(kOpReportCurrentPosition);
        return answerInt(AudioEffectX::reportCurrentPosition());
    }
    float* reportDestinationBuffer() override {
        log(kOpReportDestinationBuffer);
        return probe_.armed ? static_cast<float*>(probe_.pointerAnswer)
                            : AudioEffectX::reportDestinationBuffer();
    }
    bool offlineNotify(VstAudioFile* files, VstInt32 count, bool start) override {
        log(kOpOfflineNotify, count, 0, files, nullptr, 0.0f, start);
        return answerBool(AudioEffectX::offlineNotify(files, count, start));
    }
    bool offlinePrepare(VstOfflineTask* offline, VstInt32 count) override {
        log(kOpOfflinePrepare, count, 0, offline);
        return answerBool(AudioEffectX::offlinePrepare(offline, count));
    }
    bool offlineRun(VstOfflineTask* offline, VstInt32 count) override {
        log(kOpOfflineRun, count, 0, offline);
        return answerBool(AudioEffectX::offlineRun(offline, count));
    }
    bool processVariableIo(VstVariableIo* varIo) override {
        log(kOpProcessVariableIo, 0, 0, varIo);
        return answerBool(AudioEffectX::processVariableIo(varIo));
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) override {
        log(kOpSetSpeakerArrangement, 0, 0, input, output);
        return answerBool(AudioEffectX::setSpeakerArrangement(input, output));
    }
    void setBlockSizeAndSampleRate(VstInt32 size, float rate) override {
        log(kOpSetBlockSizeAndSampleRate, size, 0, nullptr, nullptr, rate);
        AudioEffectX::setBlockSizeAndSampleRate(size, rate);
        refresh();
    }
    bool setBypass(bool onOff) override {
        log(kOpSetBypass, 0, 0, nullptr, nullptr, 0.0f, onOff);
        return answerBool(AudioEffectX::setBypass(onOff));
    }
    bool getEffectName(char* name) override { return textGetter(kOpGetEffectName, name); }
    bool getErrorText(char* text) override { return textGetter(kOpGetErrorText, text); }
    bool getVendorString(char* text) override { return textGetter(kOpGetVendorString, text); }
    bool getProductString(char* text) override { return textGetter(kOpGetProductString, text); }
    VstInt32 getVendorVersion() override {
        log(kOpGetVendorVersion);
        return answerInt(AudioEffectX::getVendorVersion());
    }
    VstIntPtr vendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                             float floatArg) override;
    VstInt32 canDo(const char* text) override {
        log(kOpCanDo, 0, 0, text);
        return answerInt(AudioEffectX::canDo(text));
    }
    VstInt32 getGetTailSize() override {
        log(kOpGetGetTailSize);
        return answerInt(AudioEffectX::getGetTailSize());
    }
    VstInt32 fxIdle() override {
        log(kOpFxIdle);
        return answerInt(AudioEffectX::fxIdle());
    }
    void* getIcon() override {
        log(kOpGetIcon);
        return probe_.armed ? probe_.pointerAnswer : AudioEffectX::getIcon();
    }
    bool setViewPosition(VstInt32 x, VstInt32 y) override {
        log(kOpSetViewPosition, x, y);
        return answerBool(AudioEffectX::setViewPosition(x, y));
    }
    bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) override {
        log(kOpGetParameterProperties, index, 0, properties);
        return answerBool(AudioEffectX::getParameterProperties(index, properties));
    }
    bool keysRequired() override {
        log(kOpKeysRequired);
        return answerBool(AudioEffectX::keysRequired());
    }
    VstInt32 getVstVersion() override {
        log(kOpGetVstVersion);
        return answerInt(AudioEffectX::getVstVersion());
    }

private:
    VstIntPtr callHostService(VstInt32 service, void* ptr, float opt);
    void callSetter(VstInt32 setter);

    void log(Operation operation, VstInt32 intArg1 = 0, VstIntPtr intArg2 = 0,
             const void* ptrArg1 = nullptr, const void* ptrArg2 = nullptr, float floatArg = 0.0f,
             bool boolArg = false) {
        if (probe_.callCount < Probe::kMaxCalls) {
            probe_.calls[probe_.callCount++] =
                ProbeCall{operation, intArg1, intArg2, ptrArg1, ptrArg2, floatArg, boolArg};
        }
    }
    void refresh() {
        probe_.sampleRate = sampleRate;
        probe_.blockSize = blockSize;
        probe_.curProgram = curProgram;
        probe_.hasEditor = editor != nullptr;
        probe_.hostCallbackSet = audioMaster != nullptr;
    }
    VstInt32 answerInt(VstInt32 base) const {
        return probe_.armed ? static_cast<VstInt32>(probe_.answer) : base;
    }
    bool answerBool(bool base) const { return probe_.armed ? probe_.answer != 0 : base; }
    void writeText(char* buffer) const {
        if (probe_.text[0] != '\0') std::memcpy(buffer, probe_.text, std::strlen(probe_.text) + 1);
    }
    bool textGetter(Operation operation, char* text) {
        log(operation, 0, 0, text);
        writeText(text);
        return answerBool(false);
    }

    Probe probe_;
};

AEffect* createEffect(VstInt32 kind, HostCallback host) {
    switch (kind) {
        case kRecordingEffect:
            return (new RecordingEffect(host))->getAeffect();
        case kPlainEffectX:
            return (new PlainEffectX(host))->getAeffect();
        case kPlainEffect:
            return (new PlainEffect(host))->getAeffect();
        default:
            return nullptr;
    }
}

VstIntPtr RecordingEffect::vendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                                          float floatArg) {
    switch (lArg1) {
        case kCommandGetProbe:
            return reinterpret_cast<VstIntPtr>(&probe_);
        case kCommandCallHost:
            return callHostService(static_cast<VstInt32>(lArg2), ptrArg, floatArg);
        case kCommandSetter:
            callSetter(static_cast<VstInt32>(lArg2));
            return 1;
        case kCommandCreate:
            return reinterpret_cast<VstIntPtr>(
                createEffect(static_cast<VstInt32>(lArg2), reinterpret_cast<HostCallback>(ptrArg)));
        case kCommandLiveObjects:
            return liveObjects;
        default:
            log(kOpVendorSpecific, lArg1, lArg2, ptrArg, nullptr, floatArg);
            return probe_.armed ? probe_.answer
                                : AudioEffectX::vendorSpecific(lArg1, lArg2, ptrArg, floatArg);
    }
}

VstIntPtr RecordingEffect::callHostService(VstInt32 service, void* ptr, float opt) {
    const VstInt32 a = probe_.argA;
    const VstInt32 b = probe_.argB;
    auto* arrangement = static_cast<VstSpeakerArrangement**>(probe_.argPointer);
    switch (service) {
        case kServiceSetParameterAutomated:
            setParameterAutomated(a, opt);
            return 0;
        case kServiceGetMasterVersion:
            return getMasterVersion();
        case kServiceGetCurrentUniqueId:
            return getCurrentUniqueId();
        case kServiceMasterIdle:
            masterIdle();
            return 0;
        case kServiceIsInputConnected:
            return isInputConnected(a);
        case kServiceIsOutputConnected:
            return isOutputConnected(a);
        case kServiceWantEvents:
            wantEvents(a);
            return 0;
        case kServiceGetTimeInfo:
            return reinterpret_cast<VstIntPtr>(getTimeInfo(a));
        case kServiceTempoAt:
            return tempoAt(a);
        case kServiceGetNumAutomatableParameters:
            return getNumAutomatableParameters();
        case kServiceGetParameterQuantization:
            return getParameterQuantization();
        case kServiceIoChanged:
            return ioChanged();
        case kServiceNeedIdle:
            return needIdle();
        case kServiceSizeWindow:
            return sizeWindow(a, b);
        case kServiceUpdateSampleRate:
            probe_.lastDouble = updateSampleRate();
            return 0;
        case kServiceUpdateBlockSize:
            return updateBlockSize();
        case kServiceGetInputLatency:
            return getInputLatency();
        case kServiceGetOutputLatency:
            return getOutputLatency();
        case kServiceGetPreviousPlug:
            return reinterpret_cast<VstIntPtr>(getPreviousPlug());
        case kServiceGetNextPlug:
            return reinterpret_cast<VstIntPtr>(getNextPlug());
        case kServiceWillProcessReplacing:
            return willProcessReplacing();
        case kServiceGetCurrentProcessLevel:
            return getCurrentProcessLevel();
        case kServiceGetAutomationState:
            return getAutomationState();
        case kServiceOfflineStart:
            return offlineStart(static_cast<VstAudioFile*>(ptr), a, b);
        case kServiceOfflineRead:
            return offlineRead(static_cast<VstOfflineTask*>(ptr), a, b != 0);
        case kServiceOfflineWrite:
            return offlineWrite(static_cast<VstOfflineTask*>(ptr), a);
        case kServiceOfflineGetCurrentPass:
            return offlineGetCurrentPass();
        case kServiceOfflineGetCurrentMetaPass:
            return offlineGetCurrentMetaPass();
        case kServiceSetOutputSamplerate:
            setOutputSamplerate(opt);
            return 0;
        case kServiceGetSpeakerArrangement:
            return getSpeakerArrangement(arrangement, static_cast<VstSpeakerArrangement**>(ptr));
        case kServiceGetHostVendorString:
            return getHostVendorString(static_cast<char*>(ptr));
        case kServiceGetHostProductString:
            return getHostProductString(static_cast<char*>(ptr));
        case kServiceGetHostVendorVersion:
            return getHostVendorVersion();
        case kServiceHostVendorSpecific:
            return hostVendorSpecific(a, b, ptr, opt);
        case kServiceCanHostDo:
            return canHostDo(static_cast<const char*>(ptr));
        case kServiceGetHostLanguage:
            return getHostLanguage();
        case kServiceOpenWindow:
            return reinterpret_cast<VstIntPtr>(openWindow(static_cast<VstWindow*>(ptr)));
        case kServiceCloseWindow:
            return closeWindow(static_cast<VstWindow*>(ptr));
        case kServiceGetDirectory:
            return reinterpret_cast<VstIntPtr>(getDirectory());
        case kServiceUpdateDisplay:
            return updateDisplay();
        default:
            return -1;
    }
}

void RecordingEffect::callSetter(VstInt32 setter) {
    const VstInt32 a = probe_.argA;
    switch (setter) {
        case kSetUniqueID:
            setUniqueID(a);
            break;
        case kSetNumInputs:
            setNumInputs(a);
            break;
        case kSetNumOutputs:
            setNumOutputs(a);
            break;
        case kSetHasVu:
            hasVu(a != 0);
            break;
        case kSetHasClip:
            hasClip(a != 0);
            break;
        case kSetCanMono:
            canMono(a != 0);
            break;
        case kSetCanProcessReplacing:
            canProcessReplacing(a != 0);
            break;
        case kSetProgramsAreChunks:
            programsAreChunks(a != 0);
            break;
        case kSetRealtimeQualities:
            setRealtimeQualities(a);
            break;
        case kSetOfflineQualities:
            setOfflineQualities(a);
            break;
        case kSetInitialDelay:
            setInitialDelay(a);
            break;
        case kSetIsSynth:
            isSynth(a != 0);
            break;
        case kSetNoTail:
            noTail(a != 0);
            break;
        case kSetWantAsyncOperation:
            wantAsyncOperation(a != 0);
            break;
        case kSetHasExternalBuffer:
            hasExternalBuffer(a != 0);
            break;
        default:
            break;
    }
}

}  // namespace

AEffect* corvalenPluginMain(HostCallback audioMaster) {
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) {
        return nullptr;
    }
    return (new RecordingEffect(audioMaster))->getAeffect();
}
