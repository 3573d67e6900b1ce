#include "vst_host/host.h"

#include <array>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvalen::vsthost {
namespace {

// Process levels of audioMasterGetCurrentProcessLevel.
constexpr VstIntPtr kProcessLevelUser = 1;
constexpr VstIntPtr kProcessLevelRealtime = 2;
constexpr VstIntPtr kProcessLevelOffline = 4;
// audioMasterGetAutomationState: automation off.
constexpr VstIntPtr kAutomationOff = 1;
// audioMasterGetLanguage: English.
constexpr VstIntPtr kLanguageEnglish = 1;
// Vendor and product buffers are 64 bytes by convention.
constexpr std::size_t kHostTextSize = 64;

// The hosts bound to the callback functions, one slot each. A plug-in's `main` calls back
// before any record exists, so the function itself must say which host it belongs to.
std::mutex slotsMutex;
Host* slots[Host::kMaxHosts] = {};

template <int Slot>
VstIntPtr callbackOfSlot(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                         void* ptr, float opt) {
    Host* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(slotsMutex);
        host = slots[Slot];
    }
    // A call from a plug-in whose host is gone: the version is the one answer it may need.
    if (!host) return opcode == audioMasterVersion ? Host::kVstVersion : 0;
    return host->receive(effect, opcode, index, value, ptr, opt);
}

template <int... Slots>
constexpr auto makeCallbacks(std::integer_sequence<int, Slots...>) {
    return std::array<HostCallback, sizeof...(Slots)>{&callbackOfSlot<Slots>...};
}
const auto callbacks = makeCallbacks(std::make_integer_sequence<int, Host::kMaxHosts>{});

VstIntPtr copyHostText(void* ptr, const char* text) {
    if (!ptr) return 0;
    auto* destination = static_cast<char*>(ptr);
    std::strncpy(destination, text, kHostTextSize - 1);
    destination[kHostTextSize - 1] = '\0';
    return 1;
}

}  // namespace

Host::Host(HostProfile profile) : profile_(profile) {
    std::lock_guard<std::mutex> lock(slotsMutex);
    for (int i = 0; i < kMaxHosts; ++i) {
        if (!slots[i]) {
            slots[i] = this;
            slot_ = i;
            callback_ = callbacks[static_cast<std::size_t>(i)];
            return;
        }
    }
    throw std::runtime_error("more than " + std::to_string(kMaxHosts) + " hosts alive at once");
}

Host::~Host() {
    std::lock_guard<std::mutex> lock(slotsMutex);
    slots[slot_] = nullptr;
}

AEffect* Host::open(const PluginLibrary& library) {
    return library.entry()(callback_);
}

void Host::setSampleRate(float rate) {
    std::lock_guard<std::mutex> lock(mutex_);
    sampleRate_ = rate;
}

void Host::setBlockSize(VstInt32 frames) {
    std::lock_guard<std::mutex> lock(mutex_);
    blockSize_ = frames;
}

void Host::setProcessing(bool processing) {
    processing_.store(processing, std::memory_order_relaxed);
}

void Host::setLive(bool live) {
    live_.store(live, std::memory_order_relaxed);
}

void Host::setAnswer(VstInt32 opcode, VstIntPtr answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : answers_) {
        if (entry.first == opcode) {
            entry.second = answer;
            return;
        }
    }
    answers_.emplace_back(opcode, answer);
}

void Host::clearAnswer(VstInt32 opcode) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = answers_.begin(); it != answers_.end(); ++it) {
        if (it->first == opcode) {
            answers_.erase(it);
            return;
        }
    }
}

void Host::setLogging(bool on) {
    std::lock_guard<std::mutex> lock(mutex_);
    logging_ = on;
}

std::vector<HostCall> Host::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<HostCall> Host::callsWithOpcode(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HostCall> matching;
    for (const HostCall& call : calls_) {
        if (call.opcode == opcode) matching.push_back(call);
    }
    return matching;
}

void Host::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

void Host::setObserver(std::function<void(const HostCall&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

VstIntPtr Host::canDo(const char* text) {
    if (!text) return 0;
    static const char* const kAbilities[] = {"sendVstEvents", "sendVstMidiEvent",
                                             "sendVstMidiEventFlagIsRealtime"};
    for (const char* ability : kAbilities) {
        if (std::strcmp(text, ability) == 0) return 1;
    }
    return 0;
}

VstIntPtr Host::receive(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                        void* ptr, float opt) {
    const HostCall call{effect, opcode, index, value, ptr, opt};
    std::function<void(const HostCall&)> observer;
    VstIntPtr answer = 0;
    bool answered = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (logging_) calls_.push_back(call);
        observer = observer_;
        for (const auto& entry : answers_) {
            if (entry.first == opcode) {
                answer = entry.second;
                answered = true;
                break;
            }
        }
        if (!answered) answer = profileAnswer(opcode, ptr);
    }
    // Outside the lock: an observer may call back into the plug-in or into this host.
    if (observer) observer(call);
    return answer;
}

VstIntPtr Host::profileAnswer(VstInt32 opcode, void* ptr) const {
    if (opcode == audioMasterVersion) return kVstVersion;
    if (profile_ == HostProfile::kVersionOnly) return 0;
    switch (opcode) {
        case audioMasterWantMidi:
            return 1;
        case audioMasterGetSampleRate:
            return static_cast<VstIntPtr>(sampleRate_);
        case audioMasterGetBlockSize:
            return blockSize_;
        case audioMasterWillReplaceOrAccumulate:
            return 1;  // replace
        case audioMasterGetCurrentProcessLevel:
            if (!processing_.load(std::memory_order_relaxed)) return kProcessLevelUser;
            return live_.load(std::memory_order_relaxed) ? kProcessLevelRealtime
                                                         : kProcessLevelOffline;
        case audioMasterGetAutomationState:
            return kAutomationOff;
        case audioMasterGetLanguage:
            return kLanguageEnglish;
        case audioMasterGetVendorVersion:
            return kVendorVersion;
        case audioMasterGetVendorString:
            return copyHostText(ptr, kVendor);
        case audioMasterGetProductString:
            return copyHostText(ptr, kProduct);
        case audioMasterCanDo:
            return canDo(static_cast<const char*>(ptr));
        default:
            // Time info, automation, window and offline services, latencies, unknown opcodes:
            // not offered. 0 is the answer a plug-in must cope with for each of them.
            return 0;
    }
}

}  // namespace corvalen::vsthost
