#include "tools/validate/check_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "tools/common/child_process.h"

namespace corvalen::validate {
namespace {

using tools::writeAll;

// Runs `work` in a child with the write end of a pipe; returns what it wrote and, in words, how
// it ended if not normally ("" when it exited normally).
std::string runChild(const std::function<void(int)>& work, int timeoutSeconds, std::string& text) {
    tools::ChildOptions options;
    options.timeoutSeconds = timeoutSeconds;
    const tools::ChildResult child = tools::runInChild(work, options);
    text = child.answer;
    const tools::ChildEnding& ending = child.ending;
    switch (ending.kind) {
        case tools::ChildEnding::Kind::kNotStarted:
            return ending.problem;
        case tools::ChildEnding::Kind::kHung:
            return "gave no answer within " + std::to_string(timeoutSeconds) +
                   " s of wall time (hung, or very slow on a loaded machine)";
        case tools::ChildEnding::Kind::kSignaled:
            return "crashed (" + ending.signalText() + ")";
        case tools::ChildEnding::Kind::kExited:
            break;
    }
    return ending.exitCode == 0 ? "" : "ended with status " + std::to_string(ending.exitCode);
}

}  // namespace

vsthost::PluginLibrary& CheckContext::library() {
    if (!library_) library_ = std::make_unique<vsthost::PluginLibrary>(pluginPath_);
    return *library_;
}

void Findings::add(Verdict verdict, const std::string& problem) {
    verdict_ = text_.empty() ? verdict : worse(verdict_, verdict);
    appendProblem(text_, problem);
}

void Findings::report(CheckContext& context, const std::string& passDetail,
                      bool withContext) const {
    if (text_.empty()) {
        context.pass(passDetail);
    } else {
        context.report(verdict_, withContext ? text_ + " (" + passDetail + ")" : text_);
    }
}

Audio renderFreshUnnamed(CheckContext& context, const Phrase& phrase, const FreshRender& how);

std::unique_ptr<PluginInstance> startedInstance(CheckContext& context, float rate, int blockSize,
                                                HostProfile profile) {
    auto instance = std::make_unique<PluginInstance>(context.library(), profile, rate, blockSize);
    instance->start(rate, blockSize);
    return instance;
}

std::string textFromFreshProcess(CheckContext& context, const TextJob& job, int timeoutSeconds) {
    if (context.libraryLoaded()) {
        // A child of a process that holds the library would inherit its state.
        throw std::logic_error("a fresh process after the check loaded the library");
    }
    std::string text;
    const std::string ending = runChild(
        [&](int fd) {
            CheckContext own(context.checkName(), context.pluginPath(), context.facts(),
                             [](const VerdictLine&) {});
            std::string message;
            try {
                const std::string answer = job(own);
                writeAll(fd, "T", 1);
                writeAll(fd, answer.data(), answer.size());
                return;
            } catch (...) {
                message = currentExceptionMessage();
            }
            writeAll(fd, "E", 1);
            writeAll(fd, message.data(), message.size());
        },
        timeoutSeconds, text);
    if (!ending.empty()) throw ValidationError("a fresh process for this check " + ending);
    if (text.empty() || text[0] != 'T') {
        throw ValidationError(text.empty() ? "a fresh process for this check gave no answer"
                                           : text.substr(1));
    }
    return text.substr(1);
}

Audio renderInFreshProcess(CheckContext& context, const RenderJob& render, int timeoutSeconds) {
    // The child sends the channel count, the frame count and the samples, channel by channel.
    const std::string bytes = textFromFreshProcess(
        context,
        [&render](CheckContext& own) {
            const Audio audio = render(own);
            const std::uint64_t header[2] = {audio.size(),
                                             static_cast<std::uint64_t>(frameCount(audio))};
            std::string packed(reinterpret_cast<const char*>(header), sizeof header);
            for (const auto& channel : audio) {
                packed.append(reinterpret_cast<const char*>(channel.data()),
                              channel.size() * sizeof(float));
            }
            return packed;
        },
        timeoutSeconds);
    std::uint64_t header[2] = {0, 0};
    if (bytes.size() < sizeof header) {
        throw ValidationError("a fresh process rendering for this check sent no audio");
    }
    std::memcpy(header, bytes.data(), sizeof header);
    if (bytes.size() != sizeof header + header[0] * header[1] * sizeof(float)) {
        throw ValidationError("a fresh process rendering for this check sent incomplete audio");
    }
    Audio audio(header[0], std::vector<float>(header[1]));
    const char* at = bytes.data() + sizeof header;
    for (auto& channel : audio) {
        std::memcpy(channel.data(), at, channel.size() * sizeof(float));
        at += channel.size() * sizeof(float);
    }
    return audio;
}

std::string crashOfForked(const std::function<void()>& work, int timeoutSeconds) {
    std::string text;
    const std::string ending = runChild(
        [&](int fd) {
            std::string message;
            try {
                work();
                return;
            } catch (...) {
                message = currentExceptionMessage();
            }
            writeAll(fd, message.data(), message.size());
        },
        timeoutSeconds, text);
    return ending.empty() ? text : ending;
}

Audio renderFresh(CheckContext& context, const Phrase& phrase, const FreshRender& how) {
    try {
        return renderFreshUnnamed(context, phrase, how);
    } catch (const ValidationError& error) {
        // Which render it was: the check may make dozens.
        char what[160];
        std::snprintf(what, sizeof what, "rendering in %d-frame blocks at %d Hz%s: ", how.blockSize,
                      static_cast<int>(how.rate),
                      how.profile == HostProfile::kVersionOnly ? " with a host answering 0" : "");
        throw ValidationError(what + std::string(error.what()));
    }
}

Audio renderFreshUnnamed(CheckContext& context, const Phrase& phrase, const FreshRender& how) {
    return renderInFreshProcess(context, [&](CheckContext& own) {
        auto instance = startedInstance(own, how.rate, how.blockSize, how.profile);
        RenderSettings settings = how.settings;
        settings.blockSize = how.blockSize;
        Audio audio = renderPhrase(*instance, phrase, settings).audio;
        instance->suspend();
        return audio;
    });
}

Audio renderFresh(CheckContext& context, const Phrase& phrase, int blockSize, float rate) {
    FreshRender how;
    how.blockSize = blockSize;
    how.rate = rate;
    return renderFresh(context, phrase, how);
}

Phrase standardPhrase() {
    Phrase phrase;
    phrase.noteOn(100, 60, 100)
        .noteOn(9000, 64, 90)          // legato: a new note over the sounding one
        .add(15000, 0xE0, 0x00, 0x50)  // pitch bend up a little
        .noteOff(20000, 64)            //
        .add(20500, 0xE0, 0x00, 0x40)  // bend back to the centre
        .noteOn(25000, 67, 127)        //
        .noteOff(30000, 60)            // releases a key that no longer sounds
        .noteOn(35000, 55, 64)         //
        .noteOff(40000, 55)            //
        .noteOff(40000, 67);
    phrase.frames = 62000;
    return phrase;
}

Phrase heldNote(std::int64_t frames, int note, int velocity) {
    Phrase phrase;
    phrase.noteOn(0, note, velocity);
    phrase.frames = frames;
    return phrase;
}

Phrase silentPhrase(std::int64_t frames) {
    Phrase phrase;
    phrase.frames = frames;
    return phrase;
}

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

void appendProblem(std::string& problems, const std::string& problem) {
    problems += (problems.empty() ? "" : "; ") + problem;
}

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
