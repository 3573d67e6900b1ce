#include "synth/parameters.h"

#include <cmath>
#include <cstring>

#include "synth/program.h"
#include "vst_plugin/text_helpers.h"

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
    const float stored[kParameterCount] = {program.bowPos,  program.bowPres, program.modFreq,
                                           program.modGain, program.offGain, program.level};
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
