#include "synth/parameters.h"

#include <cmath>
#include <cstring>

#include "host/text_helpers.h"
#include "synth/program.h"

namespace {

// The names and labels are the host-visible texts, blanks included. Four names have nine
// characters; hosts accept that, so they are written unchanged.
constexpr const char* kNames[kParameterCount] = {" Bow Pos",  " Bow Pres", " Mod Freq",
                                                 " Mod Gain", " Off Gain", " Level "};
constexpr const char* kLabels[kParameterCount] = {"   %    ", "   %    ", "   Hz   ",
                                                  "   %    ", "   %    ", "   dB   "};

constexpr std::size_t kDisplayLength = 8;

bool isParameter(int index) {
    return index >= 0 && index < kParameterCount;
}

}  // namespace

const char* parameterName(int index) {
    return isParameter(index) ? kNames[index] : nullptr;
}

const char* parameterLabel(int index) {
    return isParameter(index) ? kLabels[index] : nullptr;
}

void writeParameterDisplay(int index, float value, char* text) {
    text[0] = '\0';
    if (!isParameter(index)) return;
    // Formatted into a scratch buffer first: the largest float has 39 integer digits, far more
    // than the 9 bytes hosts provide for the text. Decibel texts go through floatToText too.
    char scratch[kFloatTextMaxBytes > kDbTextMaxBytes ? kFloatTextMaxBytes : kDbTextMaxBytes] = {};
    if (index == kLevelParameter) {
        dbToText(scratch, value);
    } else if (index == kModFreqParameter) {
        const float hertz = value * 12.0f;
        floatToText(scratch, hertz);
    } else {
        floatToText(scratch, value);
    }
    const char* shown = std::strlen(scratch) <= kDisplayLength ? scratch : kDisplayOverflowText;
    std::strcpy(text, shown);
}

bool ParameterValues::set(int index, float value) {
    std::atomic<float>* target = slot(index);
    if (target == nullptr || !std::isfinite(value)) return false;
    target->store(value, std::memory_order_relaxed);
    // Release pairs with the acquire in takePending: whoever sees the bit sees the value.
    pending.fetch_or(1u << index, std::memory_order_release);
    return true;
}

float ParameterValues::get(int index) const {
    const std::atomic<float>* source = slot(index);
    return source == nullptr ? 0.0f : source->load(std::memory_order_relaxed);
}

void ParameterValues::loadProgram(const testsynthProgram& program) {
    bowPos.store(program.bowPos, std::memory_order_relaxed);
    bowPres.store(program.bowPres, std::memory_order_relaxed);
    modFreq.store(program.modFreq, std::memory_order_relaxed);
    modGain.store(program.modGain, std::memory_order_relaxed);
    offGain.store(program.offGain, std::memory_order_relaxed);
    level.store(program.level, std::memory_order_relaxed);
}

std::uint32_t ParameterValues::takePending() {
    // Most blocks find nothing pending; a plain load then spares them the locked exchange, which
    // costs as much as a few samples. A change that lands just after the load is taken by the
    // next block, as it would be had it landed just after the exchange.
    if (pending.load(std::memory_order_relaxed) == 0) return 0;
    return pending.exchange(0, std::memory_order_acquire);
}

std::atomic<float>* ParameterValues::slot(int index) {
    return const_cast<std::atomic<float>*>(static_cast<const ParameterValues*>(this)->slot(index));
}

const std::atomic<float>* ParameterValues::slot(int index) const {
    switch (index) {
        case kBowPosParameter:
            return &bowPos;
        case kBowPresParameter:
            return &bowPres;
        case kModFreqParameter:
            return &modFreq;
        case kModGainParameter:
            return &modGain;
        case kOffGainParameter:
            return &offGain;
        case kLevelParameter:
            return &level;
        default:
            return nullptr;
    }
}
