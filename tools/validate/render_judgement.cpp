#include "tools/validate/render_judgement.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "tools/validate/report_text.h"

namespace corvalen::validate {

bool inaudible(const Audio& audio) {
    return peakBetween(audio, 0, frameCount(audio)) < decibelsToAmplitude(kAudibleDbfs);
}

std::string inaudibleReason(const Audio& audio) {
    return "cannot judge: the plug-in stays silent for the test phrase (peak " +
           formatDb(peakBetween(audio, 0, frameCount(audio))) +
           "); it may need user data (a sample or file) before it sounds";
}

std::string describeDifference(const Audio& expected, const Audio& actual, std::int64_t frame,
                               const std::string& expectedName, const std::string& actualName) {
    std::string text = "from frame " + std::to_string(frame);
    const std::size_t i = static_cast<std::size_t>(frame);
    for (std::size_t channel = 0; channel < std::min(expected.size(), actual.size()); ++channel) {
        if (i >= expected[channel].size() || i >= actual[channel].size()) break;
        if (std::memcmp(&expected[channel][i], &actual[channel][i], sizeof(float)) == 0) continue;
        const LargestDifference largest = largestDifference(expected, actual);
        text += " (channel " + std::to_string(channel) + ": " + expectedName + " give " +
                formatSample(expected[channel][i]) + ", " + actualName + " give " +
                formatSample(actual[channel][i]) + "; largest difference " +
                formatSample(largest.size) + " (" + formatDb(largest.size) + ") at frame " +
                std::to_string(largest.frame) + ")";
        break;
    }
    return text;
}

LargestDifference largestDifference(const Audio& a, const Audio& b) {
    LargestDifference largest;
    for (std::size_t channel = 0; channel < std::min(a.size(), b.size()); ++channel) {
        const std::size_t frames = std::min(a[channel].size(), b[channel].size());
        for (std::size_t i = 0; i < frames; ++i) {
            const float x = a[channel][i];
            const float y = b[channel][i];
            if (std::memcmp(&x, &y, sizeof x) == 0) continue;
            float size = std::fabs(x - y);
            if (!std::isfinite(size)) size = std::numeric_limits<float>::infinity();
            if (size > largest.size) {
                largest.size = size;
                largest.frame = static_cast<std::int64_t>(i);
            }
        }
    }
    return largest;
}

Verdict differenceVerdict(const Audio& a, const Audio& b) {
    return largestDifference(a, b).size >= decibelsToAmplitude(kNegligibleDbfs) ? Verdict::kFail
                                                                                : Verdict::kWarn;
}

Comparison compareRenders(const Audio& reference, const Audio& variant,
                          const std::function<Audio()>& again) {
    Comparison comparison;
    comparison.at = firstDifference(reference, variant);
    if (comparison.at && again) comparison.unstable = firstDifference(reference, again());
    return comparison;
}

std::string unrepeatableReason(std::int64_t frame) {
    return "cannot judge: two renders of the same events on fresh instances in fresh processes "
           "differ from frame " +
           std::to_string(frame) + ", so the output is not repeatable (see repeatability)";
}

Decay judgeDecay(const Audio& audio, std::int64_t fromFrame, double rate) {
    Decay decay;
    const std::int64_t end = frameCount(audio);
    const auto second = static_cast<std::int64_t>(rate);
    decay.secondsAfter = static_cast<double>(end - fromFrame) / rate;
    decay.finalDb = amplitudeToDecibels(peakBetween(audio, end - second, end));
    const auto quietFrom = silentFrom(audio, decibelsToAmplitude(kSilenceDbfs));
    if (quietFrom && *quietFrom < end - second / 10) {
        decay.silent = true;
        decay.silentFrame = std::max(*quietFrom, fromFrame);
        return decay;
    }
    // The fall over the last 4 s, from the peaks of the seconds at both ends.
    const std::int64_t earlierEnd = std::max(fromFrame + second / 2, end - 4 * second);
    const double earlierDb =
        amplitudeToDecibels(peakBetween(audio, earlierEnd - second, earlierEnd));
    const double span = static_cast<double>(end - earlierEnd) / rate;
    decay.dbPerSecond = span > 0.0 && std::isfinite(earlierDb) && std::isfinite(decay.finalDb)
                            ? (earlierDb - decay.finalDb) / span
                            : 0.0;
    // Half a dB per second at least: a stuck note or a constant output falls by nothing, while
    // a reverb with a decay time of two minutes still falls by 0.5 dB/s.
    decay.decaying = decay.dbPerSecond >= 0.5;
    return decay;
}

std::string Decay::describe(double rate, std::int64_t fromFrame, const std::string& cause) const {
    char text[300];
    if (silent) {
        std::snprintf(text, sizeof text, "silent (below %.0f dBFS) %s after %s", kSilenceDbfs,
                      formatSeconds(static_cast<double>(silentFrame - fromFrame) / rate).c_str(),
                      cause.c_str());
    } else if (decaying) {
        std::snprintf(text, sizeof text,
                      "still decaying %s after %s: peak %.1f dBFS in the last second, falling "
                      "%.1f dB/s over the last 4 s (about %s more to %.0f dBFS)",
                      formatSeconds(secondsAfter).c_str(), cause.c_str(), finalDb, dbPerSecond,
                      formatSeconds((finalDb - kSilenceDbfs) / dbPerSecond).c_str(), kSilenceDbfs);
    } else {
        std::snprintf(text, sizeof text,
                      "the output does not die away: peak %.1f dBFS in the last second, %s after "
                      "%s, falling %.1f dB/s over the last 4 s (at least 0.5 needed)",
                      finalDb, formatSeconds(secondsAfter).c_str(), cause.c_str(), dbPerSecond);
    }
    return text;
}

bool judgeCensus(Findings& findings, const Audio& audio, const std::string& where) {
    const SampleCensus census = takeCensus(audio);
    if (census.clean()) return false;
    const std::string prefix = where.empty() ? "" : where + ": ";
    if (census.nan + census.infinite > 0) {
        findings.fail(prefix + describeCensus(census));
    } else {
        findings.warn(prefix + describeCensus(census) +
                      " (they cost the plug-in and those after it much CPU)");
    }
    return true;
}

}  // namespace corvalen::validate
