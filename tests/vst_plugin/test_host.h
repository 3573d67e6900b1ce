// A small VST 2 host for tests: loads a plug-in library, calls its `main` with a recording host
// callback and drives the effect through its record, exactly as a real host does.
//
//   corvalen::testing::PluginLibrary library(corvalen::testing::pluginPath(
//       "CORVALEN_PLUGIN", CORVALEN_PLUGIN_DEFAULT_PATH));
//   corvalen::testing::TestHost host;             // answers 2400 to the version query
//   corvalen::testing::Effect effect(host.open(library));
//   effect.dispatch(effMainsChanged, 0, 1);       // resume
//   corvalen::testing::EventList events;
//   events.addMidi(0, 0x90, 69, 100);
//   effect.dispatch(effProcessEvents, 0, 0, events.get());
//   corvalen::testing::AudioBlock block(512);
//   effect.processReplacing(block);               // block.left(), block.right()
//   EXPECT_EQ(host.callsWithOpcode(audioMasterWantMidi).size(), 1u);
//   effect.close();
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst_plugin/aeffect.h"
#include "tests/vst_plugin/plugin_library.h"

namespace corvalen::testing {

// One call the plug-in made to the host callback, with every argument as received.
struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// A host callback with its own identity and log. Up to kMaxHosts can be alive at once; each
// gets a distinct callback function, so calls made before any record exists (the version query
// of `main`) still reach the right log. Calls may arrive on any thread.
class TestHost {
public:
    static constexpr int kMaxHosts = 8;
    static constexpr VstIntPtr kDefaultVersion = 2400;

    TestHost();
    ~TestHost();
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    HostCallback callback() const { return callback_; }

    // The answer to one opcode; every opcode without one answers 0, except audioMasterVersion,
    // which answers kDefaultVersion until set otherwise.
    void setAnswer(VstInt32 opcode, VstIntPtr answer);
    void clearAnswer(VstInt32 opcode);

    // Calls `main` of the library with this host's callback; null when `main` is missing or
    // answers null.
    AEffect* open(const PluginLibrary& library);

    std::vector<HostCall> calls() const;
    std::vector<HostCall> callsWithOpcode(VstInt32 opcode) const;
    void clearCalls();
    // Runs on every call after it is logged and before the answer is returned, for tests that
    // need to see the plug-in's state at the moment of the call.
    void setObserver(std::function<void(const HostCall&)> observer);

    // What the callback does; public for the trampolines only.
    VstIntPtr receive(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                      float opt);

private:
    int slot_ = -1;
    HostCallback callback_ = nullptr;
    mutable std::mutex mutex_;
    std::vector<HostCall> calls_;
    std::vector<std::pair<VstInt32, VstIntPtr>> answers_;
    std::function<void(const HostCall&)> observer_;
};

// What a text opcode wrote into an oversized buffer pre-filled with kGuardByte.
struct TextResult {
    static constexpr unsigned char kGuardByte = 0xA5;
    std::string text;          // up to the first zero, or the whole written extent
    std::size_t bytesTouched;  // one past the last byte that no longer holds the guard
    bool terminated;           // a zero was written within the touched bytes
    VstIntPtr result;          // the dispatcher's answer
};

// Two output channels (and two silent input channels) of a given length, each followed by
// guard samples to catch writes past the end of the block.
class AudioBlock {
public:
    static constexpr std::size_t kGuardSamples = 16;
    static constexpr float kGuardValue = -12345.5f;

    explicit AudioBlock(std::size_t frames, float initialOutput = 0.0f);

    std::size_t frames() const { return frames_; }
    float** inputs() { return inputPointers_; }
    float** outputs() { return outputPointers_; }
    const float* left() const { return outputs_[0].data(); }
    const float* right() const { return outputs_[1].data(); }
    std::vector<float> channel(int index) const;
    // True while nothing was written after the end of any channel.
    bool guardsIntact() const;

private:
    std::size_t frames_;
    std::vector<float> inputs_[2];
    std::vector<float> outputs_[2];
    float* inputPointers_[2];
    float* outputPointers_[2];
};

// A VstEvents list with any number of events, MIDI and others, in the order added. The events
// and the list stay valid until the next add or the list's destruction.
class EventList {
public:
    EventList();
    ~EventList();
    EventList(const EventList&) = delete;
    EventList& operator=(const EventList&) = delete;

    void addMidi(VstInt32 deltaFrames, int status, int data1, int data2 = 0);
    void addSysex(VstInt32 deltaFrames, const std::vector<unsigned char>& bytes);
    // Any event record; its byteSize is taken as given.
    void addRaw(const VstEvent& event);
    std::size_t size() const { return events_.size(); }
    VstEvents* get();

private:
    struct StoredEvent;
    std::vector<std::unique_ptr<StoredEvent>> events_;
    std::vector<std::vector<unsigned char>> sysexData_;
    std::vector<std::intptr_t> list_;  // numEvents, reserved and the pointers, pointer-aligned
};

// Drives one effect through its record: the five entry points and nothing else.
class Effect {
public:
    explicit Effect(AEffect* effect) : effect_(effect) {}
    ~Effect();  // closes the effect unless close() was called
    Effect(const Effect&) = delete;
    Effect& operator=(const Effect&) = delete;

    AEffect* record() const { return effect_; }
    bool isOpen() const { return effect_ != nullptr; }

    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                       void* ptr = nullptr, float opt = 0.0f);
    void setParameter(VstInt32 index, float value);
    float getParameter(VstInt32 index);
    void process(AudioBlock& block);
    void processReplacing(AudioBlock& block);
    VstIntPtr sendEvents(EventList& events);
    // Sends a text opcode with a buffer of bufferSize bytes pre-filled with the guard byte.
    TextResult readText(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0,
                        std::size_t bufferSize = 256);
    // effClose; the record is gone afterwards. Returns the dispatcher's answer.
    VstIntPtr close();

private:
    AEffect* effect_;
};

}  // namespace corvalen::testing
