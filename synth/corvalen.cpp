#include "synth/corvalen.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "synth/rendering_loop.h"
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

VstInt32 Atestsynth::processEvents(VstEvents* events) {
    engine.beginEvents();
    if (events == nullptr) return 1;
    // The record declares two pointers; hosts allocate room for numEvents of them. Events of
    // other types are skipped and do not interrupt running status.
    VstEvent* const* const list = events->events;
    for (VstInt32 i = 0; i < events->numEvents; ++i) {
        const VstEvent* event = list[i];
        if (event == nullptr || event->type != kVstMidiType) continue;
        const auto& midi = *reinterpret_cast<const VstMidiEvent*>(event);
        engine.addMidi(midi.deltaFrames, static_cast<std::uint8_t>(midi.midiData[0]),
                       static_cast<std::uint8_t>(midi.midiData[1]),
                       static_cast<std::uint8_t>(midi.midiData[2]));
    }
    return 1;
}

void Atestsynth::processReplacing(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
    engine.renderReplacing(outputs, sampleFrames);
}

void Atestsynth::process(float** /*inputs*/, float** outputs, VstInt32 sampleFrames) {
    engine.renderAdding(outputs, sampleFrames);
}
