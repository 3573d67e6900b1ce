#include "bench/plugin_session.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace corvalen_bench {

namespace {

// Answers the version query of `main` (and nothing else) without logging or allocating.
VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

PluginEntry loadEntry() {
    const char* fromEnvironment = std::getenv("CORVALEN_PLUGIN");
    const char* path =
        fromEnvironment && *fromEnvironment ? fromEnvironment : CORVALEN_PLUGIN_DEFAULT_PATH;
#if defined(_WIN32)
    HMODULE handle = LoadLibraryA(path);
    void* symbol = handle ? reinterpret_cast<void*>(GetProcAddress(handle, "main")) : nullptr;
#else
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    void* symbol = handle ? dlsym(handle, "main") : nullptr;
#endif
    if (symbol == nullptr) {
        std::fprintf(stderr, "cannot load main from %s\n", path);
        std::exit(2);
    }
    return reinterpret_cast<PluginEntry>(symbol);
}

}  // namespace

PluginEntry PluginLibrary::entry() {
    static const PluginEntry loaded = loadEntry();
    return loaded;
}

PluginSession::PluginSession(VstInt32 blockSize)
    : blockSize_(blockSize),
      left_(static_cast<std::size_t>(blockSize)),
      right_(static_cast<std::size_t>(blockSize)),
      events_(kMaxEvents),
      list_(2 + kMaxEvents) {
    effect_ = PluginLibrary::entry()(quietHost);
    if (effect_ == nullptr) throw std::runtime_error("main answered null");
    outputs_[0] = left_.data();
    outputs_[1] = right_.data();
    effect_->dispatcher(effect_, effSetSampleRate, 0, 0, nullptr, 44100.0f);
    effect_->dispatcher(effect_, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    effect_->dispatcher(effect_, effMainsChanged, 0, 1, nullptr, 0.0f);
}

PluginSession::~PluginSession() {
    effect_->dispatcher(effect_, effMainsChanged, 0, 0, nullptr, 0.0f);
    effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
}

void PluginSession::sendMidi(const std::vector<MidiMessage>& messages) {
    if (messages.size() > static_cast<std::size_t>(kMaxEvents)) {
        throw std::length_error("too many events for one list");
    }
    // VstEvents: numEvents, reserved, then the pointers; the list is pointer-sized slots.
    list_[0] = static_cast<std::intptr_t>(messages.size());
    list_[1] = 0;
    for (std::size_t i = 0; i < messages.size(); ++i) {
        VstMidiEvent& event = events_[i];
        std::memset(&event, 0, sizeof event);
        event.type = kVstMidiType;
        event.byteSize = sizeof event;
        event.deltaFrames = messages[i].deltaFrames;
        event.midiData[0] = static_cast<char>(messages[i].status);
        event.midiData[1] = static_cast<char>(messages[i].data1);
        event.midiData[2] = static_cast<char>(messages[i].data2);
        list_[2 + i] = reinterpret_cast<std::intptr_t>(&event);
    }
    VstEvents* list = reinterpret_cast<VstEvents*>(list_.data());
    list->numEvents = static_cast<VstInt32>(messages.size());
    list->reserved = 0;
    effect_->dispatcher(effect_, effProcessEvents, 0, 0, list, 0.0f);
}

void PluginSession::renderFrames(std::int64_t frames) {
    for (std::int64_t done = 0; done < frames; done += blockSize_) renderBlock();
}

}  // namespace corvalen_bench
