#include "tools/render/corvalen_rate.h"

#include <cmath>
#include <cstdio>

namespace corvalen::render {

std::optional<int> fixedRateOf(VstInt32 uniqueId) {
    if (uniqueId == kCorvalenUniqueId) return kCorvalenRate;
    return std::nullopt;
}

std::optional<std::string> fixedRateWarning(VstInt32 uniqueId, int pluginRate, int outputRate) {
    if (uniqueId != kCorvalenUniqueId || pluginRate == kCorvalenRate) return std::nullopt;
    char text[256];
    std::snprintf(text, sizeof text,
                  "Corvalen computes at %d Hz whatever the host's rate: at %d Hz it plays %.2f "
                  "semitones sharp; add --render-rate %d to render at %d Hz and convert to %d Hz",
                  kCorvalenRate, pluginRate,
                  12.0 * std::log2(pluginRate / static_cast<double>(kCorvalenRate)), kCorvalenRate,
                  kCorvalenRate, outputRate);
    return std::string(text);
}

}  // namespace corvalen::render
