#include "synth/parameters.h"

#include <cmath>

#include "synth/program.h"

namespace {

bool isParameter(int index) {
    return index >= 0 && index < kParameterCount;
}

}  // namespace

bool ParameterValues::set(int index, float value) {
    if (!isParameter(index) || !std::isfinite(value)) return false;
    current[index].store(value, std::memory_order_relaxed);
    givenValues[index].store(value, std::memory_order_relaxed);
    // Release pairs with the acquire in takePending: whoever sees the bit sees the value. A
    // value stored after the block took the bit is seen either by that block or by the next,
    // which takes the bit again; handing the same value on twice changes nothing.
    pending.fetch_or(1u << index, std::memory_order_release);
    return true;
}

float ParameterValues::get(int index) const {
    return isParameter(index) ? current[index].load(std::memory_order_relaxed) : 0.0f;
}

void ParameterValues::loadProgram(const testsynthProgram& program) {
    const auto stored = program.values();
    static_assert(stored.size() == kParameterCount, "one stored value per parameter");
    for (int index = 0; index < kParameterCount; ++index) {
        current[index].store(stored[index], std::memory_order_relaxed);
    }
}

std::uint32_t ParameterValues::takePending() {
    // Most blocks find nothing pending; a plain load then spares them the locked exchange, which
    // costs as much as a few samples. A change that lands just after the load is taken by the
    // next block, as it would be had it landed just after the exchange.
    if (pending.load(std::memory_order_relaxed) == 0) return 0;
    return pending.exchange(0, std::memory_order_acquire);
}
