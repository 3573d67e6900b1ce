// Effect objects compiled into the test program and driven through their records, as a host
// drives a loaded plug-in: a recording one that notes every operation the dispatcher and the
// entry points reach, with its arguments, and plain ones that replace nothing, for the defaults.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "vst_host/effect.h"
#include "vst_host/host.h"
#include "vst_plugin/audioeffectx.h"

namespace corvalen::test {

// An argument as one word: integers, flags (0 or 1) and pointers alike.
template <class T>
VstIntPtr word(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<VstIntPtr>(value);
    } else {
        return static_cast<VstIntPtr>(value);
    }
}
using Words = std::vector<VstIntPtr>;

// An address only compared, never dereferenced.
inline void* token(std::uintptr_t value) {
    return reinterpret_cast<void*>(value);
}

inline std::uint32_t floatBits(float value) {
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// One operation reached: its name and its arguments in the order it takes them; a float
// argument goes to value.
struct Call {
    std::string operation;
    Words args;
    float value = 0.0f;
};

class RecordingEffect : public AudioEffectX {
public:
    static constexpr VstInt32 kPrograms = 3;
    static constexpr VstInt32 kParams = 4;

    explicit RecordingEffect(HostCallback host) : AudioEffectX(host, kPrograms, kParams) {}

    std::vector<Call> calls;
    // Once armed, the operations answer these instead of the base class: integers, flags
    // (answer != 0) and pointers from answer, floats from floatAnswer. Text getters copy text
    // into the host's buffer whenever it is not empty.
    bool armed = false;
    VstIntPtr answer = 0;
    float floatAnswer = 0.0f;
    std::string text;

    void arm(VstIntPtr integer, float floating = 0.0f) {
        armed = true;
        answer = integer;
        floatAnswer = floating;
    }

    // The base class's state.
    float rate() const { return sampleRate; }
    VstInt32 block() const { return blockSize; }
    VstInt32 program() const { return curProgram; }
    bool hasEditor() const { return editor != nullptr; }
    bool hasHost() const { return audioMaster != nullptr; }

    void setSampleRate(float rate) override {
        record("setSampleRate").value = rate;
        AudioEffectX::setSampleRate(rate);
    }
    void setBlockSize(VstInt32 size) override {
        record("setBlockSize", size);
        AudioEffectX::setBlockSize(size);
    }
    void setParameter(VstInt32 index, float value) override {
        record("setParameter", index).value = value;
    }
    float getParameter(VstInt32 index) override {
        return logged(AudioEffectX::getParameter(index), "getParameter", index);
    }
    void process(float** inputs, float** outputs, VstInt32 frames) override {
        record("process", inputs, outputs, frames);
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) override {
        record("processReplacing", inputs, outputs, frames);
    }
    void open() override { record("open"); }
    void close() override { record("close"); }
    VstInt32 getProgram() override { return logged(AudioEffectX::getProgram(), "getProgram"); }
    void setProgram(VstInt32 program) override {
        record("setProgram", program);
        AudioEffectX::setProgram(program);
    }
    void setProgramName(const char* name) override { record("setProgramName", name); }
    void getProgramName(char* name) override {
        record("getProgramName", name);
        write(name);
    }
    void getParameterLabel(VstInt32 index, char* label) override {
        record("getParameterLabel", index, label);
        write(label);
    }
    void getParameterDisplay(VstInt32 index, char* display) override {
        record("getParameterDisplay", index, display);
        write(display);
    }
    void getParameterName(VstInt32 index, char* name) override {
        record("getParameterName", index, name);
        write(name);
    }
    float getVu() override { return logged(AudioEffectX::getVu(), "getVu"); }
    VstInt32 getChunk(void** data, bool isPreset) override {
        return logged(AudioEffectX::getChunk(data, isPreset), "getChunk", data, isPreset);
    }
    VstInt32 setChunk(void* data, VstInt32 size, bool isPreset) override {
        return logged(AudioEffectX::setChunk(data, size, isPreset), "setChunk", data, size,
                      isPreset);
    }
    void suspend() override { record("suspend"); }
    void resume() override { record("resume"); }

    VstInt32 processEvents(VstEvents* events) override {
        return logged(AudioEffectX::processEvents(events), "processEvents", events);
    }
    bool canParameterBeAutomated(VstInt32 index) override {
        return logged(AudioEffectX::canParameterBeAutomated(index), "canParameterBeAutomated",
                      index);
    }
    bool string2parameter(VstInt32 index, const char* value) override {
        return logged(AudioEffectX::string2parameter(index, value), "string2parameter", index,
                      value);
    }
    VstInt32 getNumCategories() override {
        return logged(AudioEffectX::getNumCategories(), "getNumCategories");
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* name) override {
        const bool base = AudioEffectX::getProgramNameIndexed(category, index, name);
        return written(logged(base, "getProgramNameIndexed", category, index, name), name);
    }
    bool copyProgram(VstInt32 destination) override {
        return logged(AudioEffectX::copyProgram(destination), "copyProgram", destination);
    }
    void inputConnected(VstInt32 index, bool state) override {
        record("inputConnected", index, state);
    }
    void outputConnected(VstInt32 index, bool state) override {
        record("outputConnected", index, state);
    }
    bool getInputProperties(VstInt32 index, VstPinProperties* pin) override {
        return logged(AudioEffectX::getInputProperties(index, pin), "getInputProperties", index,
                      pin);
    }
    bool getOutputProperties(VstInt32 index, VstPinProperties* pin) override {
        return logged(AudioEffectX::getOutputProperties(index, pin), "getOutputProperties", index,
                      pin);
    }
    VstInt32 getPlugCategory() override {
        return logged(AudioEffectX::getPlugCategory(), "getPlugCategory");
    }
    VstInt32 reportCurrentPosition() override {
        return logged(AudioEffectX::reportCurrentPosition(), "reportCurrentPosition");
    }
    float* reportDestinationBuffer() override {
        return logged(AudioEffectX::reportDestinationBuffer(), "reportDestinationBuffer");
    }
    bool offlineNotify(VstAudioFile* files, VstInt32 count, bool start) override {
        return logged(AudioEffectX::offlineNotify(files, count, start), "offlineNotify", files,
                      count, start);
    }
    bool offlinePrepare(VstOfflineTask* tasks, VstInt32 count) override {
        return logged(AudioEffectX::offlinePrepare(tasks, count), "offlinePrepare", tasks, count);
    }
    bool offlineRun(VstOfflineTask* tasks, VstInt32 count) override {
        return logged(AudioEffectX::offlineRun(tasks, count), "offlineRun", tasks, count);
    }
    bool processVariableIo(VstVariableIo* io) override {
        return logged(AudioEffectX::processVariableIo(io), "processVariableIo", io);
    }
    bool setSpeakerArrangement(VstSpeakerArrangement* input,
                               VstSpeakerArrangement* output) override {
        return logged(AudioEffectX::setSpeakerArrangement(input, output), "setSpeakerArrangement",
                      input, output);
    }
    void setBlockSizeAndSampleRate(VstInt32 size, float rate) override {
        record("setBlockSizeAndSampleRate", size).value = rate;
        AudioEffectX::setBlockSizeAndSampleRate(size, rate);
    }
    bool setBypass(bool on) override {
        return logged(AudioEffectX::setBypass(on), "setBypass", on);
    }
    bool getEffectName(char* name) override {
        return written(logged(AudioEffectX::getEffectName(name), "getEffectName", name), name);
    }
    bool getErrorText(char* error) override {
        return written(logged(AudioEffectX::getErrorText(error), "getErrorText", error), error);
    }
    bool getVendorString(char* vendor) override {
        return written(logged(AudioEffectX::getVendorString(vendor), "getVendorString", vendor),
                       vendor);
    }
    bool getProductString(char* product) override {
        return written(logged(AudioEffectX::getProductString(product), "getProductString", product),
                       product);
    }
    VstInt32 getVendorVersion() override {
        return logged(AudioEffectX::getVendorVersion(), "getVendorVersion");
    }
    VstIntPtr vendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                             float floatArg) override {
        record("vendorSpecific", lArg1, lArg2, ptrArg).value = floatArg;
        return reply(AudioEffectX::vendorSpecific(lArg1, lArg2, ptrArg, floatArg));
    }
    VstInt32 canDo(const char* ability) override {
        return logged(AudioEffectX::canDo(ability), "canDo", ability);
    }
    VstInt32 getGetTailSize() override {
        return logged(AudioEffectX::getGetTailSize(), "getGetTailSize");
    }
    VstInt32 fxIdle() override { return logged(AudioEffectX::fxIdle(), "fxIdle"); }
    void* getIcon() override { return logged(AudioEffectX::getIcon(), "getIcon"); }
    bool setViewPosition(VstInt32 x, VstInt32 y) override {
        return logged(AudioEffectX::setViewPosition(x, y), "setViewPosition", x, y);
    }
    bool getParameterProperties(VstInt32 index, VstParameterProperties* properties) override {
        return logged(AudioEffectX::getParameterProperties(index, properties),
                      "getParameterProperties", index, properties);
    }
    bool keysRequired() override { return logged(AudioEffectX::keysRequired(), "keysRequired"); }
    VstInt32 getVstVersion() override {
        return logged(AudioEffectX::getVstVersion(), "getVstVersion");
    }

private:
    template <class... Args>
    Call& record(const char* operation, Args... args) {
        calls.push_back(Call{operation, Words{word(args)...}});
        return calls.back();
    }
    // The base class's answer, or the armed one.
    template <class T>
    T reply(T base) const {
        if (!armed) return base;
        if constexpr (std::is_same_v<T, bool>) {
            return answer != 0;
        } else if constexpr (std::is_same_v<T, float>) {
            return floatAnswer;
        } else if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<T>(answer);
        } else {
            return static_cast<T>(answer);
        }
    }
    template <class T, class... Args>
    T logged(T base, const char* operation, Args... args) {
        record(operation, args...);
        return reply(base);
    }
    void write(char* buffer) const {
        if (!text.empty()) std::memcpy(buffer, text.c_str(), text.size() + 1);
    }
    bool written(bool result, char* buffer) const {
        write(buffer);
        return result;
    }
};

// Objects that replace nothing but the one operation they must: the base classes' answers.
class PlainEffect : public AudioEffect {
public:
    explicit PlainEffect(HostCallback host) : AudioEffect(host, 1, 1) {}
    void process(float**, float**, VstInt32) override {}
};

class PlainEffectX : public AudioEffectX {
public:
    explicit PlainEffectX(HostCallback host) : AudioEffectX(host, 1, 1) {}
    void process(float**, float**, VstInt32) override {}
};

// A recording object opened on a host that answers only the version query. The host's handle
// reaches the object through its record alone; closing it (at the latest when the test ends)
// deletes the object.
class RecordingFixture : public ::testing::Test {
protected:
    // The one operation reached since the log was last cleared.
    const Call& onlyCall() const {
        static const Call kNone{"(none)", {}};
        EXPECT_EQ(object->calls.size(), 1u);
        return object->calls.empty() ? kNone : object->calls.front();
    }

    vsthost::Host host{vsthost::HostProfile::kVersionOnly};
    RecordingEffect* object = new RecordingEffect(host.callback());
    vsthost::Effect effect{object->getAeffect()};
};

}  // namespace corvalen::test
