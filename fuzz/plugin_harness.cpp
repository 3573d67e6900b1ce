#include "fuzz/plugin_harness.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/support/float_bits.h"
#include "tests/support/plugin_under_test.h"

namespace corvalen::fuzz {

namespace {

const vsthost::PluginLibrary* library = nullptr;

AEffect* openEffect() {
    AEffect* record = test::bareHost().open(*library);
    CORVALEN_FUZZ_CHECK(record != nullptr, "main gave no effect", 0);
    CORVALEN_FUZZ_CHECK(vsthost::isEffectRecord(record), "record without the VstP magic",
                        record->magic);
    return record;
}

}  // namespace

void fail(const char* what, long long detail) {
    std::fprintf(stderr, "corvalen fuzz check failed: %s (%lld)\n", what, detail);
    std::abort();
}

void loadPlugin() {
    try {
        library = &test::pluginUnderTest();
    } catch (const vsthost::LoadError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        std::exit(2);
    }
}

Instance::Instance() : vsthost::Effect(openEffect()) {}

Instance::~Instance() {
    const VstIntPtr answer = close();
    CORVALEN_FUZZ_CHECK(answer == 1, "effClose did not answer 1", answer);
}

bool sameSample(float a, float b) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    return test::bitsOf(a) == test::bitsOf(b);
}

}  // namespace corvalen::fuzz
