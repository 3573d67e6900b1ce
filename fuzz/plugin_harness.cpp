#include "fuzz/plugin_harness.h"

#include <dlfcn.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvalen::fuzz {

namespace {

constexpr VstIntPtr kHostVstVersion = 2400;
constexpr VstInt32 kVstPMagic = ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P';

PluginEntry pluginMain = nullptr;

// Knows only its version; every other question is answered with 0, as a bare host does.
VstIntPtr hostCallback(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? kHostVstVersion : 0;
}

}  // namespace

void fail(const char* what, long long detail) {
    std::fprintf(stderr, "corvalen fuzz check failed: %s (%lld)\n", what, detail);
    std::abort();
}

void loadPlugin(const char* defaultPath) {
    const char* fromEnvironment = std::getenv("CORVALEN_PLUGIN");
    const char* path = fromEnvironment && *fromEnvironment ? fromEnvironment : defaultPath;
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
        std::exit(2);
    }
    pluginMain = reinterpret_cast<PluginEntry>(dlsym(library, "main"));
    if (pluginMain == nullptr) {
        std::fprintf(stderr, "%s exports no main\n", path);
        std::exit(2);
    }
}

Instance::Instance() : effect_(pluginMain(hostCallback)) {
    CORVALEN_FUZZ_CHECK(effect_ != nullptr, "main gave no effect", 0);
    CORVALEN_FUZZ_CHECK(effect_->magic == kVstPMagic, "record without the VstP magic",
                        effect_->magic);
}

Instance::~Instance() {
    const VstIntPtr answer = dispatch(effClose, 0, 0, nullptr, 0.0f);
    CORVALEN_FUZZ_CHECK(answer == 1, "effClose did not answer 1", answer);
}

std::uint32_t floatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

bool sameSample(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return floatBits(a) == floatBits(b);
}

}  // namespace corvalen::fuzz
