// Judging renders: silence, where two renders part and by how much, whether a render repeats,
// how a sound dies away, and what its samples are.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "tools/validate/check_context.h"
#include "tools/validate/signal_analysis.h"

namespace corvalen::validate {

// A render of the phrase that stays below the audible level: an instrument that needs user
// data (a sample, a file) before it sounds. Checks that judge sound skip with this reason.
bool inaudible(const Audio& audio);
std::string inaudibleReason(const Audio& audio);

// Where two renders of the same events part: the frame, and in the first channel that differs
// there both values, named, and the largest difference, e.g. "from frame 106 (channel 0:
// 512-frame blocks give 0.25, 1-frame blocks give 0.2499; largest difference 0.003 (-50.5
// dBFS) at frame 2000)".
std::string describeDifference(const Audio& expected, const Audio& actual, std::int64_t frame,
                               const std::string& expectedName, const std::string& actualName);

// The largest difference between two renders of the same length, in magnitude (infinite when
// a NaN or infinity meets a different value), and its frame.
struct LargestDifference {
    float size = 0.0f;
    std::int64_t frame = 0;
};
LargestDifference largestDifference(const Audio& a, const Audio& b);
// Renders that differ only below this (-120 dBFS, under the resolution of 20-bit audio) differ
// in no way a listener or a host can meet: such a difference is a warning, not a failure.
constexpr double kNegligibleDbfs = -120.0;
Verdict differenceVerdict(const Audio& a, const Audio& b);

// Compares a variant render with a reference one. When they differ, the reference is rendered
// once more (`again`): if that differs too, the output is not repeatable and nothing can be
// concluded from the comparison.
struct Comparison {
    std::optional<std::int64_t> at;        // first frame where the variant differs
    std::optional<std::int64_t> unstable;  // the reference differs from itself from here
};
Comparison compareRenders(const Audio& reference, const Audio& variant,
                          const std::function<Audio()>& again);
std::string unrepeatableReason(std::int64_t frame);

// How a sound dies away after its cause (the last release, the end of the input) at
// `fromFrame`: silent (below kSilenceDbfs for good), still decaying at a measurable rate, or
// holding its level.
struct Decay {
    bool silent = false;
    std::int64_t silentFrame = 0;  // when silent
    bool decaying = false;         // not silent but still falling
    double dbPerSecond = 0.0;      // fall over the last 4 s (positive: falling)
    double finalDb = 0.0;          // peak level of the last second
    double secondsAfter = 0.0;     // the render's length after fromFrame
    std::string describe(double rate, std::int64_t fromFrame, const std::string& cause) const;
};
Decay judgeDecay(const Audio& audio, std::int64_t fromFrame, double rate);

// Adds what the render's samples are: NaN or infinity a failure, subnormals a warning (they
// cost the plug-in and those after it much CPU), each after `where` when given. True when the
// samples were not clean.
bool judgeCensus(Findings& findings, const Audio& audio, const std::string& where = "");

}  // namespace corvalen::validate
