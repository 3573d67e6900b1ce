#include "synth/parameter_texts.h"

#include <cstring>

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
