#include "tests/vst_plugin/test_host.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace corvalen::testing {

namespace {

// The host objects bound to the trampolines, one slot each.
std::mutex slotsMutex;
TestHost* slots[TestHost::kMaxHosts] = {};

template <int Slot>
VstIntPtr trampoline(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt) {
    TestHost* host = nullptr;
    {
        std::lock_guard<std::mutex> lock(slotsMutex);
        host = slots[Slot];
    }
    return host ? host->receive(effect, opcode, index, value, ptr, opt) : 0;
}

const HostCallback trampolines[TestHost::kMaxHosts] = {
    trampoline<0>, trampoline<1>, trampoline<2>, trampoline<3>,
    trampoline<4>, trampoline<5>, trampoline<6>, trampoline<7>,
};

}  // namespace

TestHost::TestHost() {
    std::lock_guard<std::mutex> lock(slotsMutex);
    for (int i = 0; i < kMaxHosts; ++i) {
        if (!slots[i]) {
            slots[i] = this;
            slot_ = i;
            callback_ = trampolines[i];
            break;
        }
    }
    if (slot_ < 0) throw std::runtime_error("too many TestHost objects alive at once");
    answers_.emplace_back(audioMasterVersion, kDefaultVersion);
}

TestHost::~TestHost() {
    std::lock_guard<std::mutex> lock(slotsMutex);
    slots[slot_] = nullptr;
}

void TestHost::setAnswer(VstInt32 opcode, VstIntPtr answer) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& entry : answers_) {
        if (entry.first == opcode) {
            entry.second = answer;
            return;
        }
    }
    answers_.emplace_back(opcode, answer);
}

void TestHost::clearAnswer(VstInt32 opcode) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = answers_.begin(); it != answers_.end(); ++it) {
        if (it->first == opcode) {
            answers_.erase(it);
            return;
        }
    }
}

AEffect* TestHost::open(const PluginLibrary& library) {
    PluginEntry entry = library.entry();
    return entry ? entry(callback_) : nullptr;
}

std::vector<HostCall> TestHost::calls() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
}

std::vector<HostCall> TestHost::callsWithOpcode(VstInt32 opcode) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<HostCall> matching;
    for (const HostCall& call : calls_) {
        if (call.opcode == opcode) matching.push_back(call);
    }
    return matching;
}

void TestHost::clearCalls() {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.clear();
}

void TestHost::setObserver(std::function<void(const HostCall&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

VstIntPtr TestHost::receive(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt) {
    const HostCall call{effect, opcode, index, value, ptr, opt};
    std::function<void(const HostCall&)> observer;
    VstIntPtr answer = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls_.push_back(call);
        observer = observer_;
        for (const auto& entry : answers_) {
            if (entry.first == opcode) {
                answer = entry.second;
                break;
            }
        }
    }
    // Outside the lock: an observer may call back into the plug-in or into this host.
    if (observer) observer(call);
    return answer;
}

AudioBlock::AudioBlock(std::size_t frames, float initialOutput) : frames_(frames) {
    for (int c = 0; c < 2; ++c) {
        inputs_[c].assign(frames + kGuardSamples, kGuardValue);
        std::fill(inputs_[c].begin(), inputs_[c].begin() + static_cast<std::ptrdiff_t>(frames),
                  0.0f);
        outputs_[c].assign(frames + kGuardSamples, kGuardValue);
        std::fill(outputs_[c].begin(), outputs_[c].begin() + static_cast<std::ptrdiff_t>(frames),
                  initialOutput);
        inputPointers_[c] = inputs_[c].data();
        outputPointers_[c] = outputs_[c].data();
    }
}

std::vector<float> AudioBlock::channel(int index) const {
    const auto& samples = outputs_[index];
    return std::vector<float>(samples.begin(),
                              samples.begin() + static_cast<std::ptrdiff_t>(frames_));
}

bool AudioBlock::guardsIntact() const {
    for (const auto* set : {inputs_, outputs_}) {
        for (int c = 0; c < 2; ++c) {
            for (std::size_t i = frames_; i < frames_ + kGuardSamples; ++i) {
                // Bit comparison: a write of the same value would still be a write, but the
                // guard value is one no plug-in produces by accident.
                if (std::memcmp(&set[c][i], &kGuardValue, sizeof(float)) != 0) return false;
            }
        }
    }
    return true;
}

// Room for the largest event kind of this target (a system-exclusive event on 64 bits).
struct EventList::StoredEvent {
    alignas(std::intptr_t) unsigned char bytes[64];
};

EventList::EventList() = default;
EventList::~EventList() = default;

void EventList::addMidi(VstInt32 deltaFrames, int status, int data1, int data2) {
    VstMidiEvent midi{};
    midi.type = kVstMidiType;
    midi.byteSize = sizeof(VstMidiEvent);
    midi.deltaFrames = deltaFrames;
    midi.midiData[0] = static_cast<char>(status);
    midi.midiData[1] = static_cast<char>(data1);
    midi.midiData[2] = static_cast<char>(data2);
    auto stored = std::make_unique<StoredEvent>();
    std::memcpy(stored->bytes, &midi, sizeof midi);
    events_.push_back(std::move(stored));
}

void EventList::addSysex(VstInt32 deltaFrames, const std::vector<unsigned char>& bytes) {
    sysexData_.push_back(bytes);
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof(VstMidiSysexEvent);
    sysex.deltaFrames = deltaFrames;
    sysex.dumpBytes = static_cast<VstInt32>(bytes.size());
    sysex.sysexDump = reinterpret_cast<char*>(sysexData_.back().data());
    auto stored = std::make_unique<StoredEvent>();
    std::memcpy(stored->bytes, &sysex, sizeof sysex);
    events_.push_back(std::move(stored));
}

void EventList::addRaw(const VstEvent& event) {
    auto stored = std::make_unique<StoredEvent>();
    std::memcpy(stored->bytes, &event, sizeof event);
    events_.push_back(std::move(stored));
}

VstEvents* EventList::get() {
    // numEvents and reserved take one pointer-sized word each; the pointers follow. At least
    // two pointer slots, as the record is declared with two.
    const std::size_t pointers = events_.size() < 2 ? 2 : events_.size();
    list_.assign(2 + pointers, 0);
    static_assert(offsetof(VstEvents, events) == 2 * sizeof(std::intptr_t), "list layout");
    auto* list = reinterpret_cast<VstEvents*>(list_.data());
    list->numEvents = static_cast<VstInt32>(events_.size());
    list->reserved = 0;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        list_[2 + i] = reinterpret_cast<std::intptr_t>(events_[i]->bytes);
    }
    return list;
}

Effect::~Effect() {
    if (effect_) close();
}

VstIntPtr Effect::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Effect::setParameter(VstInt32 index, float value) {
    effect_->setParameter(effect_, index, value);
}

float Effect::getParameter(VstInt32 index) {
    return effect_->getParameter(effect_, index);
}

void Effect::process(AudioBlock& block) {
    effect_->process(effect_, block.inputs(), block.outputs(),
                     static_cast<VstInt32>(block.frames()));
}

void Effect::processReplacing(AudioBlock& block) {
    effect_->processReplacing(effect_, block.inputs(), block.outputs(),
                              static_cast<VstInt32>(block.frames()));
}

VstIntPtr Effect::sendEvents(EventList& events) {
    return dispatch(effProcessEvents, 0, 0, events.get());
}

TextResult Effect::readText(VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            std::size_t bufferSize) {
    std::vector<unsigned char> buffer(bufferSize, TextResult::kGuardByte);
    TextResult result{};
    result.result = dispatch(opcode, index, value, buffer.data());
    std::size_t touched = bufferSize;
    while (touched > 0 && buffer[touched - 1] == TextResult::kGuardByte) --touched;
    result.bytesTouched = touched;
    const void* zero = std::memchr(buffer.data(), 0, touched);
    result.terminated = zero != nullptr;
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - buffer.data())
             : touched;
    result.text.assign(reinterpret_cast<const char*>(buffer.data()), length);
    return result;
}

VstIntPtr Effect::close() {
    const VstIntPtr result = dispatch(effClose);
    effect_ = nullptr;
    return result;
}

}  // namespace corvalen::testing
