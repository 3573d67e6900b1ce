#include "vst_host/event_list.h"

#include <cstring>

namespace corvalen::vsthost {
namespace {

// numEvents and reserved take one pointer-sized word each; the pointers follow. The record is
// declared with two pointer slots, so a list never has fewer.
constexpr std::size_t kHeaderWords = 2;
constexpr std::size_t kDeclaredPointers = 2;
static_assert(offsetof(VstEvents, events) == kHeaderWords * sizeof(std::intptr_t), "list layout");

}  // namespace

EventList::EventList(std::size_t reserved) {
    reserve(reserved);
}

void EventList::reserve(std::size_t events) {
    events_.reserve(events);
    list_.reserve(kHeaderWords + (events < kDeclaredPointers ? kDeclaredPointers : events));
}

void EventList::clear() {
    events_.clear();
    sysexData_.clear();
}

void EventList::add(const MidiMessage& message) {
    addMidi(message.frame, message.status, message.data1, message.data2);
}

void EventList::addMidi(VstInt32 frame, int status, int data1, int data2) {
    VstMidiEvent midi{};
    midi.type = kVstMidiType;
    midi.byteSize = sizeof(VstMidiEvent);
    midi.deltaFrames = frame;
    midi.midiData[0] = static_cast<char>(status);
    midi.midiData[1] = static_cast<char>(data1);
    midi.midiData[2] = static_cast<char>(data2);
    store(&midi, sizeof midi);
}

void EventList::addSysex(VstInt32 frame, const std::vector<unsigned char>& bytes) {
    sysexData_.push_back(bytes);
    VstMidiSysexEvent sysex{};
    sysex.type = kVstSysExType;
    sysex.byteSize = sizeof(VstMidiSysexEvent);
    sysex.deltaFrames = frame;
    sysex.dumpBytes = static_cast<VstInt32>(bytes.size());
    // The bytes of an inner vector do not move when the outer one grows.
    sysex.sysexDump = reinterpret_cast<char*>(sysexData_.back().data());
    store(&sysex, sizeof sysex);
}

void EventList::addRaw(const void* event, std::size_t size) {
    store(event, size);
}

void EventList::store(const void* event, std::size_t size) {
    static_assert(sizeof(VstMidiSysexEvent) <= sizeof(StoredEvent), "event storage too small");
    if (size > sizeof(StoredEvent)) size = sizeof(StoredEvent);
    events_.emplace_back();
    std::memcpy(events_.back().bytes, event, size);
}

VstEvents* EventList::get() {
    const std::size_t pointers =
        events_.size() < kDeclaredPointers ? kDeclaredPointers : events_.size();
    list_.assign(kHeaderWords + pointers, 0);
    auto* list = reinterpret_cast<VstEvents*>(list_.data());
    list->numEvents = static_cast<VstInt32>(events_.size());
    list->reserved = 0;
    for (std::size_t i = 0; i < events_.size(); ++i) {
        list_[kHeaderWords + i] = reinterpret_cast<std::intptr_t>(events_[i].bytes);
    }
    return list;
}

}  // namespace corvalen::vsthost
