#include "synth/program_table.h"

#include <string>

testsynthProgram initialProgram(int index) {
    testsynthProgram program;
    program.setName(("init" + std::to_string(index + 1)).c_str());
    return program;
}
