// The host callback a plug-in receives from `main`: the host's answers to its questions and,
// optionally, a log of every call it made.
//
//   Host host;                                  // a real host's answers, calls logged
//   AEffect* record = host.open(library);       // `main` called with host.callback()
//   host.callsWithOpcode(audioMasterWantMidi);  // what the plug-in asked for
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <utility>
#include <vector>

#include "vst_host/plugin_library.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// One call the plug-in made to the host callback, with every argument as received.
struct HostCall {
    AEffect* effect;
    VstInt32 opcode;
    VstInt32 index;
    VstIntPtr value;
    void* ptr;
    float opt;
};

// Which questions the host answers.
enum class HostProfile {
    // As a sequencer does: version, sample rate, block size, process level, replacing, MIDI,
    // vendor and product, canDo for sending MIDI; 0 for the services it does not offer.
    kFull,
    // The version query answers 2400 and every other opcode 0: the least a plug-in may meet.
    kVersionOnly,
};

// One host identity: any number of effects may be opened with it, and every call they make
// reaches it, including the version query that `main` sends before any record exists. Up to
// kMaxHosts hosts can be alive at once, each with a callback function of its own. Calls may
// arrive on any thread.
class Host {
public:
    static constexpr int kMaxHosts = 32;
    static constexpr VstIntPtr kVstVersion = 2400;
    static constexpr const char* kVendor = "Corvalen project";
    static constexpr const char* kProduct = "corvalen-render";
    static constexpr VstIntPtr kVendorVersion = 1000;

    explicit Host(HostProfile profile = HostProfile::kFull);
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    HostCallback callback() const { return callback_; }
    // Calls the library's entry point with this host's callback; null when it answers null.
    AEffect* open(const PluginLibrary& library);

    // What the full profile reports when asked.
    void setSampleRate(float rate);
    void setBlockSize(VstInt32 frames);
    // Inside a processing call the process level is "offline", so plug-ins may pick their
    // best quality, or "realtime" for a live host (setLive); outside it is "user". Takes no
    // lock, so an audio callback may call it.
    void setProcessing(bool processing);
    void setLive(bool live);

    // A fixed answer to one opcode, overriding the profile's.
    void setAnswer(VstInt32 opcode, VstIntPtr answer);
    void clearAnswer(VstInt32 opcode);

    // The log is on from construction; a long render turns it off so it does not grow.
    void setLogging(bool on);
    std::vector<HostCall> calls() const;
    std::vector<HostCall> callsWithOpcode(VstInt32 opcode) const;
    void clearCalls();
    // Runs on every call after it is logged and before the answer is returned, for tests that
    // need to see the plug-in's state at the moment of the call.
    void setObserver(std::function<void(const HostCall&)> observer);

    // 1 for the abilities of the full profile ("sendVstEvents", "sendVstMidiEvent", ...), else 0.
    static VstIntPtr canDo(const char* text);

    // What the callback does; public for the callback functions only.
    VstIntPtr receive(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                      float opt);

private:
    VstIntPtr profileAnswer(VstInt32 opcode, void* ptr) const;

    int slot_ = -1;
    HostCallback callback_ = nullptr;
    HostProfile profile_;
    mutable std::mutex mutex_;
    float sampleRate_ = 44100.0f;
    VstInt32 blockSize_ = 512;
    std::atomic<bool> processing_{false};
    std::atomic<bool> live_{false};
    bool logging_ = true;
    std::vector<HostCall> calls_;
    std::vector<std::pair<VstInt32, VstIntPtr>> answers_;
    std::function<void(const HostCall&)> observer_;
};

}  // namespace corvalen::vsthost
