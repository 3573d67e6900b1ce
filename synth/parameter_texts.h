#pragma once

#include "synth/parameters.h"

// What a VST 2 host shows of the parameters.

// Name and unit label shown by the host; null for an index outside 0..5.
const char* parameterName(int index);
const char* parameterLabel(int index);

// Writes the text the host shows for parameter `index` holding `value` into a host buffer
// of at least 9 bytes. The texts are never longer than 8 characters: a value whose number
// would not fit shows as kDisplayOverflowText instead.
void writeParameterDisplay(int index, float value, char* text);
constexpr const char* kDisplayOverflowText = "********";
