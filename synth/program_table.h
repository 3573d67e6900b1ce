#pragma once

#include "synth/program.h"

// The programs a new plug-in object holds: one table for every format, from which the VST 2
// plug-in fills its 32 programs and the LV2 bundle's presets.ttl is written at build time.
constexpr int kInitialProgramCount = 32;

// Program `index` (0..31) as created: named init1 to init32, with the stored defaults.
testsynthProgram initialProgram(int index);
