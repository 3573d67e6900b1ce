// Effect objects compiled into the test program and driven through their records, as a host
// drives a loaded plug-in: a recording one that notes every operation the dispatcher and the
// entry points reach, with its arguments, and plain ones that replace nothing, for the defaults.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/support/float_bits.h"
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

    // Operations that note their name and arguments and answer as the base class does, or as
    // armed: the return type, the name, the parameter list and the arguments passed on.
    // clang-format off
#define CORVALEN_RECORDED(Type, name, params, args) \
    Type name params override { return logged(AudioEffectX::name args, #name, words args); }
#define CORVALEN_NOTED(name, params, args) \
    void name params override { record(#name, words args); }

    CORVALEN_NOTED(open, (), ())
    CORVALEN_NOTED(close, (), ())
    CORVALEN_NOTED(suspend, (), ())
    CORVALEN_NOTED(resume, (), ())
    CORVALEN_NOTED(setProgramName, (const char* name), (name))
    CORVALEN_NOTED(process, (float** in, float** out, VstInt32 frames), (in, out, frames))
    CORVALEN_NOTED(processReplacing, (float** in, float** out, VstInt32 frames), (in, out, frames))
    CORVALEN_NOTED(inputConnected, (VstInt32 index, bool state), (index, state))
    CORVALEN_NOTED(outputConnected, (VstInt32 index, bool state), (index, state))
    CORVALEN_RECORDED(float, getParameter, (VstInt32 index), (index))
    CORVALEN_RECORDED(VstInt32, getProgram, (), ())
    CORVALEN_RECORDED(float, getVu, (), ())
    CORVALEN_RECORDED(VstInt32, getChunk, (void** data, bool preset), (data, preset))
    CORVALEN_RECORDED(VstInt32, setChunk, (void* data, VstInt32 size, bool preset),
                      (data, size, preset))
    CORVALEN_RECORDED(VstInt32, processEvents, (VstEvents* events), (events))
    CORVALEN_RECORDED(bool, canParameterBeAutomated, (VstInt32 index), (index))
    CORVALEN_RECORDED(bool, string2parameter, (VstInt32 index, const char* value), (index, value))
    CORVALEN_RECORDED(VstInt32, getNumCategories, (), ())
    CORVALEN_RECORDED(bool, copyProgram, (VstInt32 destination), (destination))
    CORVALEN_RECORDED(bool, getInputProperties, (VstInt32 index, VstPinProperties* pin),
                      (index, pin))
    CORVALEN_RECORDED(bool, getOutputProperties, (VstInt32 index, VstPinProperties* pin),
                      (index, pin))
    CORVALEN_RECORDED(VstInt32, getPlugCategory, (), ())
    CORVALEN_RECORDED(VstInt32, reportCurrentPosition, (), ())
    CORVALEN_RECORDED(float*, reportDestinationBuffer, (), ())
    CORVALEN_RECORDED(bool, offlineNotify, (VstAudioFile* files, VstInt32 count, bool start),
                      (files, count, start))
    CORVALEN_RECORDED(bool, offlinePrepare, (VstOfflineTask* tasks, VstInt32 count),
                      (tasks, count))
    CORVALEN_RECORDED(bool, offlineRun, (VstOfflineTask* tasks, VstInt32 count), (tasks, count))
    CORVALEN_RECORDED(bool, processVariableIo, (VstVariableIo* io), (io))
    CORVALEN_RECORDED(bool, setSpeakerArrangement,
                      (VstSpeakerArrangement* input, VstSpeakerArrangement* output),
                      (input, output))
    CORVALEN_RECORDED(bool, setBypass, (bool on), (on))
    CORVALEN_RECORDED(VstInt32, getVendorVersion, (), ())
    CORVALEN_RECORDED(VstInt32, canDo, (const char* ability), (ability))
    CORVALEN_RECORDED(VstInt32, getGetTailSize, (), ())
    CORVALEN_RECORDED(VstInt32, fxIdle, (), ())
    CORVALEN_RECORDED(void*, getIcon, (), ())
    CORVALEN_RECORDED(bool, setViewPosition, (VstInt32 x, VstInt32 y), (x, y))
    CORVALEN_RECORDED(bool, getParameterProperties,
                      (VstInt32 index, VstParameterProperties* properties), (index, properties))
    CORVALEN_RECORDED(bool, keysRequired, (), ())
    CORVALEN_RECORDED(VstInt32, getVstVersion, (), ())
#undef CORVALEN_RECORDED
#undef CORVALEN_NOTED
    // clang-format on

    // The stream settings and the program are also stored, as the base class does.
    void setSampleRate(float rate) override {
        record("setSampleRate", {}).value = rate;
        AudioEffectX::setSampleRate(rate);
    }
    void setBlockSize(VstInt32 size) override {
        record("setBlockSize", words(size));
        AudioEffectX::setBlockSize(size);
    }
    void setBlockSizeAndSampleRate(VstInt32 size, float rate) override {
        record("setBlockSizeAndSampleRate", words(size)).value = rate;
        AudioEffectX::setBlockSizeAndSampleRate(size, rate);
    }
    void setProgram(VstInt32 program) override {
        record("setProgram", words(program));
        AudioEffectX::setProgram(program);
    }
    void setParameter(VstInt32 index, float value) override {
        record("setParameter", words(index)).value = value;
    }
    VstIntPtr vendorSpecific(VstInt32 lArg1, VstIntPtr lArg2, void* ptrArg,
                             float floatArg) override {
        record("vendorSpecific", words(lArg1, lArg2, ptrArg)).value = floatArg;
        return reply(AudioEffectX::vendorSpecific(lArg1, lArg2, ptrArg, floatArg));
    }

    // Text getters write the text, if any, into the host's buffer.
    void getProgramName(char* name) override {
        record("getProgramName", words(name));
        write(name);
    }
    void getParameterLabel(VstInt32 index, char* label) override {
        record("getParameterLabel", words(index, label));
        write(label);
    }
    void getParameterDisplay(VstInt32 index, char* display) override {
        record("getParameterDisplay", words(index, display));
        write(display);
    }
    void getParameterName(VstInt32 index, char* name) override {
        record("getParameterName", words(index, name));
        write(name);
    }
    bool getProgramNameIndexed(VstInt32 category, VstInt32 index, char* name) override {
        const bool base = AudioEffectX::getProgramNameIndexed(category, index, name);
        return written(logged(base, "getProgramNameIndexed", words(category, index, name)), name);
    }
    bool getEffectName(char* name) override {
        return written(logged(AudioEffectX::getEffectName(name), "getEffectName", words(name)),
                       name);
    }
    bool getErrorText(char* error) override {
        return written(logged(AudioEffectX::getErrorText(error), "getErrorText", words(error)),
                       error);
    }
    bool getVendorString(char* vendor) override {
        return written(
            logged(AudioEffectX::getVendorString(vendor), "getVendorString", words(vendor)),
            vendor);
    }
    bool getProductString(char* product) override {
        return written(
            logged(AudioEffectX::getProductString(product), "getProductString", words(product)),
            product);
    }

private:
    template <class... Args>
    static Words words(Args... args) {
        return Words{word(args)...};
    }
    Call& record(const char* operation, Words args) {
        calls.push_back(Call{operation, std::move(args)});
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
    template <class T>
    T logged(T base, const char* operation, Words args) {
        record(operation, std::move(args));
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
