// A check's context: what the plug-in is, the levels the checks decide with, where a check's
// verdict goes (under the check's own name), and the findings a verdict is made of.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

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
    // finding, and `passDetail` after them when `withContext` is set.
    void report(CheckContext& context, const std::string& passDetail,
                bool withContext = false) const;

private:
    Verdict verdict_ = Verdict::kPass;
    std::string text_;
};

// Joins problems found by one check into its detail, "; " between them.
void appendProblem(std::string& problems, const std::string& problem);

// Text buffers for the checks sit between 256-byte guard areas, so an overrun is measured
// rather than corrupting the heap.
constexpr std::size_t kTextGuardBytes = 256;
using vsthost::GuardedText;

}  // namespace corvalen::validate
