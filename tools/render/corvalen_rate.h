// What the tools know about Corvalen in particular, and nothing else of it: it computes at
// 44,100 Hz whatever rate the host asks for, so at another rate it plays out of tune.
#pragma once

#include <optional>
#include <string>

#include "vst_plugin/aeffect.h"

namespace corvalen::render {

constexpr VstInt32 kCorvalenUniqueId = ('K' << 24) | ('q' << 16) | ('z' << 8) | 't';
constexpr int kCorvalenRate = 44100;

// The rate a plug-in computes at whatever the host asks for, for the plug-ins known to have
// one (Corvalen); empty for the others.
std::optional<int> fixedRateOf(VstInt32 uniqueId);

// The warning for rendering the plug-in `uniqueId` at `pluginRate` into `outputRate`, when it
// is Corvalen at a rate other than its own; empty otherwise.
std::optional<std::string> fixedRateWarning(VstInt32 uniqueId, int pluginRate, int outputRate);

}  // namespace corvalen::render
