#include "synth/program.h"

#include <cstring>

testsynthProgram::testsynthProgram() : name{} {
    setName("Basic");
}

void testsynthProgram::setName(const char* text) {
    if (text == nullptr) return;
    // Hosts send names of any length; anything past 23 characters is cut, never written past
    // the record.
    std::size_t length = 0;
    while (length < kNameSize - 1 && text[length] != '\0') ++length;
    std::memcpy(name, text, length);
    name[length] = '\0';
}
