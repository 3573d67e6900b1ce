// Short descriptions of levels, samples and times for the checks' details.
#pragma once

#include <string>

#include "tools/validate/signal_analysis.h"

namespace corvalen::validate {

// Short descriptions for details.
std::string describeCensus(const SampleCensus& census);
std::string formatDb(double amplitude);
std::string formatMs(double seconds);
std::string formatSample(float value);
std::string formatSeconds(double seconds);

}  // namespace corvalen::validate
