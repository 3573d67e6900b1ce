// A typed handle on one open effect record: the record's five entry points and nothing else,
// with the arguments of each dispatcher call in their proper roles.
#pragma once

#include <cstddef>
#include <string>

#include "vst_host/audio_block.h"
#include "vst_host/event_list.h"
#include "vst_host/guarded_text.h"
#include "vst_host/record_check.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// What a text opcode wrote into an oversized buffer pre-filled with GuardedText::kGuardByte.
struct TextResult {
    std::string text;          // up to the first zero, or the whole written extent
    std::size_t bytesTouched;  // one past the last byte that no longer holds the guard
    bool terminated;           // a zero was written within the touched bytes
    VstIntPtr result;          // the dispatcher's answer
};

// A four-character code (a unique id, a category) as its four characters, first character
// from the most significant byte, with '?' for bytes that are not printable.
std::string fourCharacterText(VstInt32 code);

class Effect {
public:
    static constexpr std::size_t kTextBufferSize = 256;

    // Takes a record a host's `open` returned; closes it (effClose) on destruction unless
    // close() was called.
    explicit Effect(AEffect* record) : effect_(record) {}
    ~Effect();
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    AEffect* record() const { return effect_; }
    bool isOpen() const { return effect_ != nullptr; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);

    // The usual start: effOpen, the sample rate, the block size; then resume when asked.
    void setUp(float sampleRate, VstInt32 blockSize);
    void setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
    void setBlockSize(VstInt32 frames) { dispatch(effSetBlockSize, 0, frames); }
    void resume() { dispatch(effMainsChanged, 0, 1); }
    void suspend() { dispatch(effMainsChanged, 0, 0); }

    // Entries the record leaves null are not called (getParameter then reads 0).
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    VstIntPtr setProgram(VstInt32 program) { return dispatch(effSetProgram, 0, program); }
    VstIntPtr canDo(const std::string& text);

    VstIntPtr sendEvents(EventList& events) {
        return dispatch(effProcessEvents, 0, 0, events.get());
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames);
    void process(float** inputs, float** outputs, VstInt32 frames);
    void processReplacing(AudioBlock& block);
    void process(AudioBlock& block);

    // Sends a text opcode with a guarded buffer of bufferSize bytes.
    TextResult readText(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                        std::size_t bufferSize = kTextBufferSize);
    // The text alone, printable.
    std::string text(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0);

    // effClose; the record is gone afterwards. Returns the dispatcher's answer.
    VstIntPtr close();

private:
    AEffect* effect_;
};

}  // namespace corvalen::vsthost
