#include "vst_plugin/audioeffect.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "vst_plugin/fp_environment.h"
#include "vst_plugin/text_helpers.h"
#include "vst_plugin/value_narrowing.h"

namespace {

// Runs while the library is being loaded, before the host can reach `main`, on the loading
// thread: faults in the sound code must give infinities and NaNs, never traps.
const bool floatingPointExceptionsMasked = [] {
    maskFloatingPointExceptions();
    return true;
}();

AudioEffect* objectOf(AEffect* effect) {
    return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

// The five entry points. A record without an object (or no record at all) gets the neutral
// answer instead of a crash; an exception never unwinds into the host's C code.
extern "C" {

VstIntPtr dispatcherEntry(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                          void* ptr, float opt) {
    AudioEffect* object = objectOf(effect);
    if (!object) return 0;
    VstIntPtr result = 0;
    try {
        result = object->dispatcher(opcode, index, value, ptr, opt);
    } catch (...) {
        result = 0;
    }
    if (opcode == effClose) {
        delete object;  // the record goes with it: the host must not touch it again
        return 1;
    }
    return result;
}

void processEntry(AEffect* effect, float** inputs, float** outputs, VstInt32 sampleFrames) {
    if (AudioEffect* object = objectOf(effect)) {
        try {
            object->process(inputs, outputs, sampleFrames);
        } catch (...) {
        }
    }
}

void processReplacingEntry(AEffect* effect, float** inputs, float** outputs,
                           VstInt32 sampleFrames) {
    if (AudioEffect* object = objectOf(effect)) {
        try {
            object->processReplacing(inputs, outputs, sampleFrames);
        } catch (...) {
        }
    }
}

// The plain setParameter, not setParameterAutomated: the host made the change, so telling it
// about it would echo the change back.
void setParameterEntry(AEffect* effect, VstInt32 index, float value) {
    if (AudioEffect* object = objectOf(effect)) {
        try {
            object->setParameter(index, value);
        } catch (...) {
        }
    }
}

float getParameterEntry(AEffect* effect, VstInt32 index) {
    if (AudioEffect* object = objectOf(effect)) {
        try {
            return object->getParameter(index);
        } catch (...) {
        }
    }
    return 0.0f;
}

}  // extern "C"

// getVu is a level from 0 to 1; the host gets it scaled to 32767 and rounded half to even
// (0.5 gives 16384). Done by hand so that the host's rounding mode plays no part. NaN gives 0;
// values beyond the 32-bit range saturate.
VstIntPtr scaleVu(float vu) {
    const double scaled = static_cast<double>(vu) * 32767.0;
    if (std::isnan(scaled)) return 0;
    if (scaled >= 2147483647.0) return std::numeric_limits<VstInt32>::max();
    if (scaled <= -2147483648.0) return std::numeric_limits<VstInt32>::min();
    const double below = std::floor(scaled);
    const double fraction = scaled - below;
    auto rounded = static_cast<VstIntPtr>(below);
    if (fraction > 0.5 || (fraction == 0.5 && rounded % 2 != 0)) ++rounded;
    return rounded;
}

}  // namespace

AudioEffect::AudioEffect(HostCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), numPrograms(numPrograms), numParams(numParams) {
    std::memset(&effect, 0, sizeof(effect));
    effect.magic = packFourCharCode('V', 's', 't', 'P');
    effect.dispatcher = dispatcherEntry;
    effect.process = processEntry;
    effect.setParameter = setParameterEntry;
    effect.getParameter = getParameterEntry;
    effect.numPrograms = numPrograms;
    effect.numParams = numParams;
    effect.numInputs = 1;
    effect.numOutputs = 2;
    effect.ioRatio = 1.0f;
    effect.object = this;
    effect.uniqueID = packFourCharCode('N', 'o', 'E', 'f');
    effect.version = 1;
    effect.processReplacing = processReplacingEntry;
}

AudioEffect::~AudioEffect() = default;

void AudioEffect::setSampleRate(float newSampleRate) {
    sampleRate = newSampleRate;
}
void AudioEffect::setBlockSize(VstInt32 newBlockSize) {
    blockSize = newBlockSize;
}
void AudioEffect::setParameter(VstInt32, float) {}
float AudioEffect::getParameter(VstInt32) {
    return 0.0f;
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::processReplacing(float**, float**, VstInt32) {}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    switch (opcode) {
        case effOpen:
            open();
            return 0;
        case effClose:
            close();
            return 0;
        case effSetProgram:
            if (value < numPrograms) setProgram(saturateToInt32(value));
            return 0;
        case effGetProgram:
            return getProgram();
        // Text opcodes: a null buffer from the host is answered with 0 and never passed on.
        case effSetProgramName:
            if (ptr) setProgramName(static_cast<const char*>(ptr));
            return 0;
        case effGetProgramName:
            if (ptr) getProgramName(static_cast<char*>(ptr));
            return 0;
        case effGetParamLabel:
            if (ptr) getParameterLabel(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamDisplay:
            if (ptr) getParameterDisplay(index, static_cast<char*>(ptr));
            return 0;
        case effGetParamName:
            if (ptr) getParameterName(index, static_cast<char*>(ptr));
            return 0;
        case effGetVu:
            return scaleVu(getVu());
        case effSetSampleRate:
            setSampleRate(opt);
            return 0;
        case effSetBlockSize:
            setBlockSize(saturateToInt32(value));
            return 0;
        case effMainsChanged:
            if (value == 0) {
                suspend();
            } else {
                resume();
            }
            return 0;
        case effEditGetRect:
            return editor && ptr ? editor->getRect(static_cast<ERect**>(ptr)) : 0;
        case effEditOpen:
            return editor ? editor->open(ptr) : 0;
        case effEditClose:
            if (editor) editor->close();
            return 0;
        case effEditIdle:
            if (editor) editor->idle();
            return 0;
        case effIdentify:
            return packFourCharCode('N', 'v', 'E', 'f');
        case effGetChunk:
            return ptr ? getChunk(static_cast<void**>(ptr), index != 0) : 0;
        case effSetChunk:
            return setChunk(ptr, saturateToInt32(value), index != 0);
        default:
            // 16 to 18, 20, 21 and every opcode outside 0 to 24.
            return 0;
    }
}

void AudioEffect::open() {}
void AudioEffect::close() {}
VstInt32 AudioEffect::getProgram() {
    return curProgram;
}
void AudioEffect::setProgram(VstInt32 program) {
    curProgram = program;
}
void AudioEffect::setProgramName(const char*) {}
void AudioEffect::getProgramName(char*) {}
void AudioEffect::getParameterLabel(VstInt32, char*) {}
void AudioEffect::getParameterDisplay(VstInt32, char*) {}
void AudioEffect::getParameterName(VstInt32, char*) {}
float AudioEffect::getVu() {
    return 0.0f;
}
VstInt32 AudioEffect::getChunk(void**, bool) {
    return 0;
}
VstInt32 AudioEffect::setChunk(void*, VstInt32, bool) {
    return 0;
}
void AudioEffect::suspend() {}
void AudioEffect::resume() {}

void AudioEffect::setUniqueID(VstInt32 id) {
    effect.uniqueID = id;
}
void AudioEffect::setNumInputs(VstInt32 count) {
    effect.numInputs = count;
}
void AudioEffect::setNumOutputs(VstInt32 count) {
    effect.numOutputs = count;
}
void AudioEffect::hasVu(bool state) {
    setFlag(effFlagsHasVu, state);
}
void AudioEffect::hasClip(bool state) {
    setFlag(effFlagsHasClip, state);
}
void AudioEffect::canMono(bool state) {
    setFlag(effFlagsCanMono, state);
}
void AudioEffect::canProcessReplacing(bool state) {
    setFlag(effFlagsCanReplacing, state);
}
void AudioEffect::programsAreChunks(bool state) {
    setFlag(effFlagsProgramChunks, state);
}
void AudioEffect::setRealtimeQualities(VstInt32 qualities) {
    effect.realQualities = qualities;
}
void AudioEffect::setOfflineQualities(VstInt32 qualities) {
    effect.offQualities = qualities;
}
void AudioEffect::setInitialDelay(VstInt32 delay) {
    effect.initialDelay = delay;
}

VstInt32 AudioEffect::getMasterVersion() {
    const VstInt32 version = saturateToInt32(callHost(audioMasterVersion));
    return version != 0 ? version : 1;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    return saturateToInt32(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle() {
    callHost(audioMasterIdle);
}

// The host answers 0 for a connected pin; without a host every pin counts as connected.
bool AudioEffect::isInputConnected(VstInt32 input) {
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

VstIntPtr AudioEffect::callHost(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                float opt) {
    return audioMaster ? audioMaster(&effect, opcode, index, value, ptr, opt) : 0;
}

void AudioEffect::setFlag(VstInt32 bit, bool state) {
    if (state) {
        effect.flags |= bit;
    } else {
        effect.flags &= ~bit;
    }
}
