// What the plug-in fuzz targets share: the library, loaded once per process and found through
// its `main` as a host finds it, a minimal host callback, and the check that turns a broken
// invariant into a crash that libFuzzer records with its input.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fuzz/byte_reader.h"
#include "vst_host/effect.h"

namespace corvalen::fuzz {

// Aborts with the message: libFuzzer saves the input that got here as a crash.
[[noreturn]] void fail(const char* what, long long detail = 0);

#define CORVALEN_FUZZ_CHECK(condition, what, detail)                \
    do {                                                            \
        if (!(condition)) ::corvalen::fuzz::fail((what), (detail)); \
    } while (false)

// Loads the plug-in (the environment's CORVALEN_PLUGIN_PATH, else the path built into the
// target) with its entry point. Call from LLVMFuzzerInitialize: a library loaded before fuzzing
// starts has its coverage counters registered with libFuzzer. Never unloaded.
void loadPlugin();

// A fresh effect from `main`, driven only through its record by a host that answers the
// version query and nothing else; closed by the destructor, which checks effClose's answer.
class Instance : public vsthost::Effect {
public:
    Instance();
    ~Instance();
};

// Bit for bit, except that any NaN equals any NaN.
bool sameSample(float a, float b);

}  // namespace corvalen::fuzz

// Defines libFuzzer's two entry points for a plug-in target: the plug-in is loaded before
// fuzzing starts, and each input drives one fresh `SessionType`, a class constructed without
// arguments whose `run(ByteReader&)` plays the input.
#define CORVALEN_PLUGIN_FUZZ_TARGET(SessionType)                                        \
    extern "C" int LLVMFuzzerInitialize(int*, char***) {                                \
        ::corvalen::fuzz::loadPlugin();                                                 \
        return 0;                                                                       \
    }                                                                                   \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
        ::corvalen::fuzz::ByteReader input(data, size);                                 \
        SessionType session;                                                            \
        session.run(input);                                                             \
        return 0;                                                                       \
    }
