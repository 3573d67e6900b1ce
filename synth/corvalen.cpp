#include "synth/corvalen.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "vst_plugin/text_helpers.h"

namespace {

constexpr VstInt32 kPinActiveAndStereo = kVstPinIsActive | kVstPinIsStereo;

bool copyText(char* destination, const char* text) {
    if (destination == nullptr) return false;
    std::strcpy(destination, text);
    return true;
}

}  // namespace

Atestsynth::Atestsynth(HostCallback audioMaster)
    : AudioEffectX(audioMaster, kProgramCount, kParameterCount) {
    for (VstInt32 n = 1; n <= kProgramCount; ++n) {
        programs[n - 1] = std::make_unique<testsynthProgram>();
        programs[n - 1]->setName(("init" + std::to_string(n)).c_str());
    }
    setProgram(0);

    // Without a host the record keeps the base defaults.
    if (audioMaster != nullptr) {
        setNumInputs(0);
        setNumOutputs(2);
        canProcessReplacing(true);
        hasVu(false);
        hasClip(false);
        isSynth(true);
        setUniqueID(packFourCharCode('K', 'q', 'z', 't'));
    }

    instrument = std::make_unique<velquistdsp::tbowedstring>(kLowestFrequency);
    // A new envelope settles at its sustain level; releasing it once makes the first note's
    // attack start from silence.
    instrument->noteOff(0.0f);
    noteOffValue = parameters.get(kOffGainParameter) / 1000.0f;
    suspend();
}

void Atestsynth::resume() {
    wantEvents(1);
}

bool Atestsynth::getEffectName(char* name) {
    return copyText(name, "Corvalen");
}

bool Atestsynth::getVendorString(char* text) {
    return copyText(text, "Velquist");
}

bool Atestsynth::getProductString(char* text) {
    return copyText(text, "Vst Corvalen");
}

VstInt32 Atestsynth::getVendorVersion() {
    return 1;
}

VstInt32 Atestsynth::canDo(const char* text) {
    if (text == nullptr) return -1;
    const bool takesMidi =
        std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0;
    return takesMidi ? 1 : -1;
}

bool Atestsynth::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    // Both outputs carry the same signal; hosts are shown the pair as one stereo pin.
    if (index >= 1 || properties == nullptr) return false;
    std::snprintf(properties->label, sizeof properties->label, "Vstx %d", index + 1);
    properties->flags = kPinActiveAndStereo;
    return true;
}
