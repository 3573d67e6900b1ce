// What every check needs: what the plug-in is, a place to report verdicts, fresh plug-in
// instances (in this process or in a fresh one), the phrases they play, comparisons of renders
// described precisely.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/validate/phrase_renderer.h"
#include "tools/validate/plugin_instance.h"
#include "tools/validate/verdict.h"
#include "vst_host/guarded_text.h"

namespace corvalen::validate {

// Levels the checks decide with.
constexpr double kSilenceDbfs = -90.0;  // below this a render counts as silent
constexpr double kAudibleDbfs = -80.0;  // a note must rise above this to count as sounding
constexpr float kStandardRate = 44100.0f;
constexpr int kStandardBlock = 512;

// What the record and effOpen told about the plug-in, learnt once before the checks run.
struct PluginFacts {
    bool synth = false;
    int inputs = 0;
    int outputs = 0;
    int parameters = 0;
    int programs = 0;
    bool replacing = false;     // offers processReplacing (flag and entry)
    bool accumulating = false;  // has a process entry
    long category = 0;          // effGetPlugCategory
    // An instrument gets notes; an effect gets audio on its inputs (and notes, which it may
    // ignore). A plug-in without the instrument flag and without inputs is treated as an
    // instrument.
    bool takesNotes() const { return synth || inputs == 0; }
};

// What a check reports through: its verdict goes out under the check's own name, which the
// check never writes itself.
class CheckContext {
public:
    using Sink = std::function<void(const VerdictLine&)>;
    CheckContext(std::string checkName, std::string pluginPath, PluginFacts facts, Sink sink)
        : checkName_(std::move(checkName)),
          pluginPath_(std::move(pluginPath)),
          facts_(facts),
          sink_(std::move(sink)) {}

    const std::string& checkName() const { return checkName_; }
    const std::string& pluginPath() const { return pluginPath_; }
    const PluginFacts& facts() const { return facts_; }
    // The library, loaded on first use; one per process.
    vsthost::PluginLibrary& library();
    bool libraryLoaded() const { return library_ != nullptr; }

    void report(Verdict verdict, const std::string& detail) {
        sink_({verdict, checkName_, detail});
    }
    void pass(const std::string& detail) { report(Verdict::kPass, detail); }
    void fail(const std::string& detail) { report(Verdict::kFail, detail); }
    void skip(const std::string& detail) { report(Verdict::kSkip, detail); }

private:
    std::string checkName_;
    std::string pluginPath_;
    PluginFacts facts_;
    Sink sink_;
    std::unique_ptr<vsthost::PluginLibrary> library_;
};

// What one check found, each finding with its own weight; the verdict is the worst of them.
class Findings {
public:
    void fail(const std::string& problem) { add(Verdict::kFail, problem); }
    void warn(const std::string& problem) { add(Verdict::kWarn, problem); }
    void add(Verdict verdict, const std::string& problem);
    bool empty() const { return text_.empty(); }
    Verdict verdict() const { return verdict_; }
    // PASS with `passDetail` when nothing was found; else the worst verdict with every
    // finding, and `passDetail` after them when `context` is set.
    void report(CheckContext& context, const std::string& passDetail,
                bool withContext = false) const;

private:
    Verdict verdict_ = Verdict::kPass;
    std::string text_;
};

// A fresh instance, opened, given the rate and block size and resumed.
std::unique_ptr<PluginInstance> startedInstance(CheckContext& context, float rate = kStandardRate,
                                                int blockSize = kStandardBlock,
                                                HostProfile profile = HostProfile::kFull);

// Runs `render` in a child process that loads the library afresh, so that no state a previous
// instance left in the process (a shared random generator, a counter of instances) can make
// two renders differ. Must be called before the check loads the library itself. Throws
// ValidationError when the child crashes, hangs past `timeoutSeconds` or throws.
using RenderJob = std::function<Audio(CheckContext&)>;
Audio renderInFreshProcess(CheckContext& context, const RenderJob& render,
                           int timeoutSeconds = 300);

// Runs `job` in a child process that loads the library afresh and returns the text it gave.
// Throws as renderInFreshProcess does.
using TextJob = std::function<std::string(CheckContext&)>;
std::string textFromFreshProcess(CheckContext& context, const TextJob& job,
                                 int timeoutSeconds = 300);

// Runs `work` in a forked child of this process (library state included) and reports how it
// ended: empty when it returned, else the crash or the exception, in words. For calls under
// abuse whose crash must not end the check.
std::string crashOfForked(const std::function<void()>& work, int timeoutSeconds = 60);

// Renders a phrase on a fresh started instance in a fresh process.
struct FreshRender {
    int blockSize = kStandardBlock;
    float rate = kStandardRate;
    HostProfile profile = HostProfile::kFull;
    RenderSettings settings;  // blockSize is taken from above
};
Audio renderFresh(CheckContext& context, const Phrase& phrase, const FreshRender& how = {});
Audio renderFresh(CheckContext& context, const Phrase& phrase, int blockSize,
                  float rate = kStandardRate);

// Notes, a legato change, a pitch bend, releases: about 1.4 s at 44.1 kHz.
Phrase standardPhrase();
// One note from frame 0 held for `frames` frames (no release).
Phrase heldNote(std::int64_t frames, int note = 60, int velocity = 100);
Phrase silentPhrase(std::int64_t frames);

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
std::string formatSample(float value);
std::string formatSeconds(double seconds);

// Text buffers for the checks sit between 256-byte guard areas, so an overrun is measured
// rather than corrupting the heap.
constexpr std::size_t kTextGuardBytes = 256;
using vsthost::GuardedText;

}  // namespace corvalen::validate
