#pragma once

#include <array>
#include <cstddef>

// One stored program: the six parameter values and a name. Parameter changes never write
// here; only renaming and copying a program do.
class testsynthProgram {
public:
    static constexpr std::size_t kNameSize = 24;  // 23 characters and the terminator

    testsynthProgram();
    virtual ~testsynthProgram() = default;

    // Copies the text, cut to 23 characters so that it always fits with its terminator.
    // A null text leaves the name as it is.
    void setName(const char* text);

    // The six stored values in parameter order (synth/parameters.h): bow position, bow pressure,
    // modulation rate, modulation depth, note-off gain, level.
    std::array<float, 6> values() const {
        return {bowPos, bowPres, modFreq, modGain, offGain, level};
    }

    float bowPos = 0.5f;
    float bowPres = 0.6f;
    float modFreq = 0.12723f;
    float modGain = 0.0f;
    float offGain = 1.0f;
    float level = 0.8f;
    char name[kNameSize];
};
