// What the plug-in fuzz targets share: the library, loaded once per process and found through
// its `main` as a host finds it, a minimal host callback, and the check that turns a broken
// invariant into a crash that libFuzzer records with its input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/byte_reader.h"
#include "vst_plugin/aeffect.h"

namespace corvalen::fuzz {

// Aborts with the message: libFuzzer saves the input that got here as a crash.
[[noreturn]] void fail(const char* what, long long detail = 0);

#define CORVALEN_FUZZ_CHECK(condition, what, detail)                \
    do {                                                            \
        if (!(condition)) ::corvalen::fuzz::fail((what), (detail)); \
    } while (false)

// Loads the plug-in (CORVALEN_PLUGIN, else the path built into the target) and looks up
// `main`. Call from LLVMFuzzerInitialize: a library loaded before fuzzing starts has its
// coverage counters registered with libFuzzer. Never unloaded.
void loadPlugin(const char* defaultPath);

// A fresh effect from `main`, driven only through its record; closed by the destructor.
class Instance {
public:
    Instance();
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    AEffect* record() const { return effect_; }
    VstIntPtr dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
        return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
    }
    void setParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }
    float getParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }
    void process(float** inputs, float** outputs, VstInt32 frames) {
        effect_->process(effect_, inputs, outputs, frames);
    }
    void processReplacing(float** inputs, float** outputs, VstInt32 frames) {
        effect_->processReplacing(effect_, inputs, outputs, frames);
    }

private:
    AEffect* effect_;
};

std::uint32_t floatBits(float value);
// Bit for bit, except that any NaN equals any NaN.
bool sameSample(float a, float b);

}  // namespace corvalen::fuzz

// Defines libFuzzer's two entry points for a plug-in target: the plug-in is loaded before
// fuzzing starts, and each input drives one fresh `SessionType`, a class constructed without
// arguments whose `run(ByteReader&)` plays the input.
#define CORVALEN_PLUGIN_FUZZ_TARGET(SessionType)                                        \
    extern "C" int LLVMFuzzerInitialize(int*, char***) {                                \
        ::corvalen::fuzz::loadPlugin(CORVALEN_PLUGIN_DEFAULT_PATH);                     \
        return 0;                                                                       \
    }                                                                                   \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        ::corvalen::fuzz::ByteReader input(data, size);                                 \
        SessionType session;                                                            \
        session.run(input);                                                             \
        return 0;                                                                       \
    }
