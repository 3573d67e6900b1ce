#include "tools/validate/report_text.h"

#include <cmath>
#include <cstdio>

namespace corvalen::validate {

std::string describeCensus(const SampleCensus& census) {
    if (census.clean()) return "no NaN, infinite or subnormal samples";
    char text[160];
    std::snprintf(
        text, sizeof text, "%lld NaN, %lld infinite, %lld subnormal samples (first at frame %lld)",
        static_cast<long long>(census.nan), static_cast<long long>(census.infinite),
        static_cast<long long>(census.subnormal), static_cast<long long>(census.firstBadFrame));
    return text;
}

std::string formatDb(double amplitude) {
    const double db = amplitudeToDecibels(amplitude);
    if (std::isinf(db)) return db < 0 ? "-inf dBFS" : "+inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", db);
    return text;
}

std::string formatSample(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
    return text;
}

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", seconds);
    return text;
}

std::string formatMs(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000.0);
    return text;
}

}  // namespace corvalen::validate
