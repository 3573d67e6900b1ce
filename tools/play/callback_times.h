// How long the process callback takes, period by period: a histogram the audio thread fills
// without allocating, locking or calling the system. Only a build configured with
// CORVALEN_PLAY_CALLBACK_TIMES (the bench preset) times its callback, at the cost of two clock
// reads a period; the figures are read once the audio thread has stopped.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace corvalen::play {

class CallbackTimes {
public:
    static constexpr int kBins = 1000;  // of one microsecond each; longer times share the last

    void add(std::int64_t nanoseconds);

    std::uint64_t count() const { return count_; }
    // The fewest whole microseconds within which at least `share` (0 < share <= 1) of the
    // callbacks ended; kBins when they are among the longest.
    int micros(double share) const;
    double meanMicros() const;
    double longestMicros() const;
    // "callback time over N periods: mean M us, half within H us, 99.7 % within P us,
    // longest L us"
    std::string summary() const;

private:
    std::array<std::uint32_t, kBins + 1> bins_{};
    std::uint64_t count_ = 0;
    std::int64_t total_ = 0;
    std::int64_t longest_ = 0;
};

}  // namespace corvalen::play
