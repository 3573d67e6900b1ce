// What every check needs: a place to report verdicts, fresh plug-in instances, the phrases
// they play, and guarded text buffers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/validate/phrase_renderer.h"
#include "tools/validate/plugin_instance.h"
#include "tools/validate/verdict.h"

namespace corvalen::validate {

// Levels the checks decide with.
constexpr double kSilenceDbfs = -90.0;  // below this a render counts as silent
constexpr double kAudibleDbfs = -80.0;  // a note must rise above this to count as sounding
constexpr float kStandardRate = 44100.0f;
constexpr int kStandardBlock = 512;

class CheckContext {
public:
    using Sink = std::function<void(const VerdictLine&)>;
    CheckContext(std::string pluginPath, Sink sink)
        : pluginPath_(std::move(pluginPath)), sink_(std::move(sink)) {}

    const std::string& pluginPath() const { return pluginPath_; }
    // The library, loaded on first use; one per process.
    vsthost::PluginLibrary& library();

    void pass(const std::string& name, const std::string& detail) {
        sink_({Verdict::kPass, name, detail});
    }
    void fail(const std::string& name, const std::string& detail) {
        sink_({Verdict::kFail, name, detail});
    }
    void skip(const std::string& name, const std::string& detail) {
        sink_({Verdict::kSkip, name, detail});
    }
    void verdict(bool passed, const std::string& name, const std::string& detail) {
        passed ? pass(name, detail) : fail(name, detail);
    }

private:
    std::string pluginPath_;
    Sink sink_;
    std::unique_ptr<vsthost::PluginLibrary> library_;
};

// A fresh instance, opened, given the rate and block size and resumed.
std::unique_ptr<PluginInstance> startedInstance(CheckContext& context, float rate = kStandardRate,
                                                int blockSize = kStandardBlock,
                                                HostMode mode = HostMode::kFull);

// Renders a phrase on a fresh started instance with the given block size and rate.
Audio renderFresh(CheckContext& context, const Phrase& phrase, int blockSize = kStandardBlock,
                  float rate = kStandardRate);

// Notes, a legato change, a pitch bend, releases: about 1.4 s at 44.1 kHz.
Phrase standardPhrase();
// One note from frame 0 held for `frames` frames (no release).
Phrase heldNote(std::int64_t frames, int note = 60, int velocity = 100);

// Joins problems found by one check into its detail, "; " between them.
void appendProblem(std::string& problems, const std::string& problem);

// A small deterministic generator, so that every run sends the same random events and values.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    // A number from 0 to n - 1.
    std::uint32_t below(std::uint32_t n) {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<std::uint32_t>((static_cast<std::uint64_t>(state_ >> 8) * n) >> 24);
    }

private:
    std::uint32_t state_;
};

// Short descriptions for details.
std::string describeCensus(const SampleCensus& census);
std::string formatDb(double amplitude);
std::string formatMs(double seconds);

// A text buffer of `capacity` bytes between guard areas, all filled with a pattern, so a
// plug-in's text call can be checked for writing past the buffer or leaving it unterminated.
class GuardedText {
public:
    static constexpr std::size_t kGuardBytes = 256;
    explicit GuardedText(std::size_t capacity);

    char* data() { return reinterpret_cast<char*>(bytes_.data() + kGuardBytes); }
    std::size_t capacity() const { return capacity_; }
    bool guardsIntact() const;
    // How many bytes past the buffer were written (0 when the guards are intact).
    std::size_t overrun() const;
    bool terminated() const;
    // The text up to its terminator or the buffer's end, control characters shown as '?'.
    std::string text() const;

private:
    static constexpr unsigned char kPattern = 0xA5;
    std::size_t capacity_;
    std::vector<unsigned char> bytes_;
};

}  // namespace corvalen::validate
