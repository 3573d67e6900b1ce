#include "dsp/noise.h"

#include <atomic>

namespace velquistdsp {

namespace {

// Instances on different host threads may draw at the same time. A relaxed load and a separate
// relaxed store keep that free of data races without a lock or a read-modify-write on the audio
// path; two simultaneous draws may then see the same state, which is acceptable because the
// order of draws across threads is undefined anyway.
std::atomic<uint32_t> generatorState{0};

}  // namespace

int32_t nextRandom(int32_t n) {
    const uint32_t next = generatorState.load(std::memory_order_relaxed) * 134775813u + 1u;
    generatorState.store(next, std::memory_order_relaxed);
    return static_cast<int32_t>((static_cast<uint64_t>(next) * static_cast<uint32_t>(n)) >> 32);
}

uint32_t randomState() {
    return generatorState.load(std::memory_order_relaxed);
}

float tnoise::computeSample() {
    const int32_t draw = nextRandom(32768);
    lastSample = static_cast<float>(draw - 16384);
    lastSample = lastSample / 32768.0f;
    return lastSample;
}

}  // namespace velquistdsp
