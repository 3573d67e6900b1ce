#include "tools/play/callback_times.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace corvalen::play {

void CallbackTimes::add(std::int64_t nanoseconds) {
    const std::int64_t time = std::max<std::int64_t>(nanoseconds, 0);
    const std::int64_t bin = std::min<std::int64_t>(time / 1000, kBins);
    ++bins_[static_cast<std::size_t>(bin)];
    ++count_;
    total_ += time;
    longest_ = std::max(longest_, time);
}

int CallbackTimes::micros(double share) const {
    // Rounded up, as "within" must hold for at least that share, but not past a product that
    // rounding left a hair above a whole number.
    const auto needed = static_cast<std::uint64_t>(share * static_cast<double>(count_) + 0.999999);
    std::uint64_t seen = 0;
    for (int bin = 0; bin < kBins; ++bin) {
        seen += bins_[static_cast<std::size_t>(bin)];
        if (seen >= needed) return bin + 1;
    }
    return kBins;
}

double CallbackTimes::meanMicros() const {
    return count_ == 0 ? 0.0 : static_cast<double>(total_) / 1000.0 / static_cast<double>(count_);
}

double CallbackTimes::longestMicros() const {
    return static_cast<double>(longest_) / 1000.0;
}

std::string CallbackTimes::summary() const {
    if (count_ == 0) return "callback time: no period was played";
    // The last bin has no upper edge.
    const auto share = [this](const char* label, double part) {
        const int micros = this->micros(part);
        return std::string(label) + (micros < kBins ? " within " : " not within ") +
               std::to_string(micros) + " us";
    };
    char text[200];
    std::snprintf(text, sizeof text,
                  "callback time over %llu periods: mean %.1f us, %s, %s, longest %.0f us",
                  static_cast<unsigned long long>(count_), meanMicros(), share("half", 0.5).c_str(),
                  share("99.7 %", 0.997).c_str(), longestMicros());
    return text;
}

}  // namespace corvalen::play
