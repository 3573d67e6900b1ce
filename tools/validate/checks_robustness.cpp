// Checks of what a host may send that a plug-in does not expect: bad parameter values,
// programs out of range, long program names, and the texts it writes for parameters.
#include <time.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

double clockSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

constexpr int kParameterInterval = 32;  // frames between two parameter changes
constexpr std::size_t kProgramNameBytes = 24;
constexpr std::size_t kParameterTextBytes = 64;
constexpr std::size_t kShortParameterText = 8;

// A value in 0..1, the ends included, as an automation lane or a host's generic editor sends.
float plainValue(Lcg& random) {
    const std::uint32_t pick = random.below(8);
    if (pick == 0) return 0.0f;
    if (pick == 1) return 1.0f;
    return static_cast<float>(random.below(1u << 20)) / static_cast<float>(1u << 20);
}

// Values a careless or hostile host may send, besides plain ones in 0..1.
float abusiveValue(Lcg& random) {
    static const float kOdd[] = {0.0f,
                                 1.0f,
                                 -1.0f,
                                 2.0f,
                                 1e30f,
                                 -1e30f,
                                 1e-40f,
                                 std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::max(),
                                 -0.0f};
    constexpr std::uint32_t kOddCount = sizeof kOdd / sizeof kOdd[0];
    const std::uint32_t pick = random.below(2 * kOddCount);
    if (pick < kOddCount) return kOdd[pick];
    return static_cast<float>(random.below(1u << 20)) / static_cast<float>(1u << 20);
}

std::string readProgramName(PluginInstance& instance, std::string& problems) {
    GuardedText buffer(kProgramNameBytes, kTextGuardBytes);
    instance.dispatch(effGetProgramName, 0, 0, buffer.data());
    if (!buffer.guardsIntact()) {
        appendProblem(problems, "effGetProgramName wrote " + std::to_string(buffer.overrun()) +
                                    " bytes past a 24-byte buffer");
    } else if (!buffer.terminated()) {
        appendProblem(problems, "effGetProgramName left a 24-byte buffer unterminated");
    }
    return buffer.printable();
}

// Plug-ins that rebuild much on a change (a reverb loading an impulse response, waiting for a
// thread of its own) would take minutes over the whole phrase: changes stop once they have
// taken this long. Wall time, since such a change may wait rather than compute.
constexpr double kChangeBudgetSeconds = 20.0;

// What the parameter changes cost.
struct ChangeCosts {
    int changes = 0;
    double seconds = 0.0;     // wall time
    double cpuSeconds = 0.0;  // CPU time of this thread
    double slowest = 0.0;     // CPU time of the slowest change
    VstInt32 slowestIndex = 0;
};

// How the plug-in sounds before, during and after the changes.
struct FuzzRenders {
    Audio before;
    Audio during;
    Audio after;
    ChangeCosts costs;
};

// Plays note 64 untouched, then a held note while a random parameter changes every 32 frames,
// then restores the initial values and plays note 64 again.
FuzzRenders playWithChanges(PluginInstance& instance, bool abusive,
                            const std::vector<float>& initial) {
    RenderSettings settings;
    settings.blockSize = kParameterInterval;
    const auto second = static_cast<std::int64_t>(kStandardRate);
    Phrase release;
    release.noteOff(0, 60).noteOff(0, 64);
    release.frames = second;
    const Phrase probe = heldNote(second, 64);
    FuzzRenders renders;
    renders.before = renderPhrase(instance, probe, settings).audio;
    renderPhrase(instance, release, settings);

    Lcg random(abusive ? 77u : 78u);
    const auto count = static_cast<std::uint32_t>(initial.size());
    ChangeCosts& costs = renders.costs;
    settings.beforeBlock = [&](std::int64_t) {
        if (costs.seconds > kChangeBudgetSeconds) return;
        const auto index = static_cast<VstInt32>(random.below(count));
        const float value = abusive ? abusiveValue(random) : plainValue(random);
        const double wall = clockSeconds(CLOCK_MONOTONIC);
        const double cpu = clockSeconds(CLOCK_THREAD_CPUTIME_ID);
        instance.setParameter(index, value);
        // Judged by CPU time, which a loaded machine barely changes; the budget by wall time.
        const double spent = clockSeconds(CLOCK_THREAD_CPUTIME_ID) - cpu;
        costs.cpuSeconds += spent;
        costs.seconds += clockSeconds(CLOCK_MONOTONIC) - wall;
        if (spent > costs.slowest) {
            costs.slowest = spent;
            costs.slowestIndex = index;
        }
        ++costs.changes;
    };
    renders.during = renderPhrase(instance, heldNote(2 * second), settings).audio;

    // Restore, let the old note go, then play a new one.
    for (std::uint32_t i = 0; i < count; ++i) {
        instance.setParameter(static_cast<VstInt32>(i), initial[i]);
    }
    settings.beforeBlock = nullptr;
    renderPhrase(instance, release, settings);
    renders.after = renderPhrase(instance, probe, settings).audio;
    instance.suspend();
    return renders;
}

void judgeFuzzedOutput(Findings& findings, const FuzzRenders& renders, Verdict weight,
                       const std::string& values, const std::string& what) {
    const SampleCensus duringCensus = takeCensus(renders.during);
    if (duringCensus.nan + duringCensus.infinite > 0) {
        findings.add(
            weight, "while changing parameters to " + values + ": " + describeCensus(duringCensus));
    }
    const SampleCensus afterCensus = takeCensus(renders.after);
    const float peakBefore = peakBetween(renders.before, 0, frameCount(renders.before));
    const float peakAfter = peakBetween(renders.after, 0, frameCount(renders.after));
    if (afterCensus.nan + afterCensus.infinite > 0) {
        findings.add(weight, "after restoring the initial parameter values, " + what + ": " +
                                 describeCensus(afterCensus));
    } else if (peakBefore >= decibelsToAmplitude(kAudibleDbfs) &&
               peakAfter < decibelsToAmplitude(kAudibleDbfs)) {
        findings.add(weight, "after restoring the initial parameter values " + what +
                                 " stays silent (peak " + formatDb(peakAfter) +
                                 ", before the changes " + formatDb(peakBefore) + ")");
    }
}

void judgeChangeCosts(Findings& findings, const ChangeCosts& costs) {
    // Hosts automate parameters from the audio thread, between two blocks.
    constexpr double kSlowChangeSeconds = 0.005;
    if (costs.slowest <= kSlowChangeSeconds) return;
    findings.warn("setParameter " + std::to_string(costs.slowestIndex) + " took up to " +
                  formatMs(costs.slowest) + " of CPU time (" + std::to_string(costs.changes) +
                  " changes took " + formatMs(costs.seconds) + ", " + formatMs(costs.cpuSeconds) +
                  " of it CPU time; a host automating it from the audio thread has about "
                  "11.6 ms for a 512-frame block)" +
                  (costs.seconds > kChangeBudgetSeconds ? "; changes stopped there" : ""));
}

// The indexes whose values read back differently from the initial ones, "" when none do.
std::string restoredDifferently(PluginInstance& instance, const std::vector<float>& initial) {
    std::string indexes;
    for (std::size_t i = 0; i < initial.size(); ++i) {
        const float value = instance.getParameter(static_cast<VstInt32>(i));
        if (std::memcmp(&value, &initial[i], sizeof value) != 0) {
            indexes += (indexes.empty() ? "" : ", ") + std::to_string(i);
        }
    }
    return indexes;
}

// Changes a random parameter every 32 frames while a note (or the test input) plays, then
// restores the initial values and plays again. `abusive` sends values hosts do not send.
void fuzzParameters(CheckContext& context, bool abusive) {
    auto instance = startedInstance(context, kStandardRate, kParameterInterval);
    const VstInt32 count = instance->numParams();
    if (count == 0) {
        context.skip("the plug-in has no parameters");
        return;
    }
    std::vector<float> initial;
    for (VstInt32 i = 0; i < count; ++i) initial.push_back(instance->getParameter(i));
    const FuzzRenders renders = playWithChanges(*instance, abusive, initial);

    Findings findings;
    const std::string values =
        abusive ? "values out of 0..1, NaN and infinities among them" : "values from 0 to 1";
    const std::string what = context.facts().takesNotes() ? "note 64" : "the test input";
    judgeFuzzedOutput(findings, renders, abusive ? Verdict::kWarn : Verdict::kFail, values, what);
    judgeChangeCosts(findings, renders.costs);
    const std::string restoredWrong = restoredDifferently(*instance, initial);
    const float peakBefore = peakBetween(renders.before, 0, frameCount(renders.before));
    const float peakAfter = peakBetween(renders.after, 0, frameCount(renders.after));
    std::string detail = std::to_string(renders.costs.changes) + " changes to " + values +
                         ", one every " + std::to_string(kParameterInterval) + " frames while " +
                         what + " plays: output finite; afterwards peak " + formatDb(peakAfter) +
                         " (before " + formatDb(peakBefore) + ")";
    if (!restoredWrong.empty())
        detail += " (parameters " + restoredWrong + " read back other values than set)";
    findings.report(context, detail);
}

}  // namespace

void checkParameterChanges(CheckContext& context) {
    fuzzParameters(context, false);
}

void checkParameterAbuse(CheckContext& context) {
    fuzzParameters(context, true);
}

namespace {

// Selects one program and judges what the plug-in then says: the current program, its name
// (and the indexed name, counted in `indexedAnswers` when offered), finite parameters.
void judgeProgram(PluginInstance& instance, VstInt32 program, Findings& findings,
                  int& indexedAnswers) {
    instance.dispatch(effSetProgram, 0, program);
    const VstIntPtr current = instance.dispatch(effGetProgram);
    if (current != program) {
        findings.fail("effSetProgram " + std::to_string(program) + " left program " +
                      std::to_string(current));
    }
    std::string nameProblems;
    const std::string name = readProgramName(instance, nameProblems);
    if (!nameProblems.empty())
        findings.fail("program " + std::to_string(program) + ": " + nameProblems);
    GuardedText indexed(kProgramNameBytes, kTextGuardBytes);
    if (instance.dispatch(effGetProgramNameIndexed, program, 0, indexed.data()) == 1) {
        ++indexedAnswers;
        if (!indexed.guardsIntact() || !indexed.terminated()) {
            findings.fail("effGetProgramNameIndexed " + std::to_string(program) +
                          " overran or left unterminated a 24-byte buffer");
        } else if (indexed.printable() != name) {
            findings.warn("program " + std::to_string(program) + " is \"" + name +
                          "\" but effGetProgramNameIndexed says \"" + indexed.printable() + "\"");
        }
    }
    for (VstInt32 i = 0; i < instance.numParams(); ++i) {
        if (!std::isfinite(instance.getParameter(i))) {
            findings.fail("program " + std::to_string(program) + ": parameter " +
                          std::to_string(i) + " reads as " +
                          formatSample(instance.getParameter(i)));
            break;
        }
    }
}

// Program numbers out of range are abuse: a crash there is reported, not fatal to the check.
std::string outOfRangeProgramsCrash(PluginInstance& instance, VstInt32 count) {
    instance.dispatch(effSetProgram, 0, 0);
    return crashOfForked([&] {
        for (VstIntPtr wrong : {static_cast<VstIntPtr>(count), static_cast<VstIntPtr>(-1),
                                static_cast<VstIntPtr>(1000000)}) {
            instance.dispatch(effSetProgram, 0, wrong);
            const VstIntPtr current = instance.dispatch(effGetProgram);
            if (current < 0 || current >= count) {
                throw ValidationError("effSetProgram " + std::to_string(wrong) +
                                      " selected program " + std::to_string(current));
            }
        }
        GuardedText beyond(kProgramNameBytes, kTextGuardBytes);
        instance.dispatch(effGetProgramNameIndexed, count, 0, beyond.data());
        if (!beyond.guardsIntact())
            throw ValidationError("effGetProgramNameIndexed past the last program overran");
    });
}

}  // namespace

void checkPrograms(CheckContext& context) {
    PluginInstance instance(context.library());
    instance.open();
    const VstInt32 count = instance.numPrograms();
    if (count == 0) {
        context.skip("the plug-in has no programs");
        return;
    }
    Findings findings;
    int indexedAnswers = 0;
    for (VstInt32 program = 0; program < count; ++program) {
        judgeProgram(instance, program, findings, indexedAnswers);
        if (findings.verdict() == Verdict::kFail && program > 8) break;
    }
    const std::string crash = outOfRangeProgramsCrash(instance, count);
    if (!crash.empty()) findings.warn("out-of-range program numbers: " + crash);
    findings.report(context, std::to_string(count) + " programs selected and named" +
                                 (indexedAnswers ? ", indexed names agree" : "") +
                                 ", numbers out of range ignored");
}

void checkProgramNameOverflow(CheckContext& context) {
    PluginInstance instance(context.library());
    instance.open();
    if (instance.numPrograms() == 0) {
        context.skip("the plug-in has no programs");
        return;
    }
    // A 100-character name, longer than any buffer convention: hosts do not send these, so
    // what follows is a warning at most.
    instance.dispatch(effSetProgram, 0, 0);
    std::string longName;
    while (longName.size() < 100) longName += "Validator long name ";
    longName.resize(100);
    std::vector<char> sent(longName.begin(), longName.end());
    sent.push_back('\0');
    std::string overflow;
    instance.dispatch(effSetProgramName, 0, 0, sent.data());
    const std::string readBack = readProgramName(instance, overflow);
    GuardedText indexed(kProgramNameBytes, kTextGuardBytes);
    if (instance.dispatch(effGetProgramNameIndexed, 0, 0, indexed.data()) == 1 &&
        (!indexed.guardsIntact() || !indexed.terminated())) {
        appendProblem(overflow,
                      "effGetProgramNameIndexed overran a 24-byte buffer with the long name");
    }
    const bool kept = longName.compare(0, readBack.size(), readBack) == 0 && !readBack.empty();
    if (!overflow.empty()) {
        context.report(Verdict::kWarn, "after effSetProgramName with 100 characters: " + overflow);
        return;
    }
    context.pass("100-character name read back into a guarded 24-byte buffer as \"" + readBack +
                 "\"" + (kept ? " (cut)" : " (refused)"));
}

void checkParameterTexts(CheckContext& context) {
    PluginInstance instance(context.library());
    instance.open();
    const VstInt32 count = instance.numParams();
    Findings findings;
    int longTexts = 0;
    const struct {
        VstInt32 opcode;
        const char* what;
    } kTexts[] = {
        {effGetParamName, "name"}, {effGetParamLabel, "label"}, {effGetParamDisplay, "display"}};
    // Reads the texts of one index; "" or the first problem.
    auto readTexts = [&](VstInt32 index, bool real) {
        std::string problem;
        for (const auto& text : kTexts) {
            GuardedText buffer(kParameterTextBytes, kTextGuardBytes);
            instance.dispatch(text.opcode, index, 0, buffer.data());
            const std::string where =
                std::string(text.what) + " of parameter " + std::to_string(index);
            if (!buffer.guardsIntact()) {
                appendProblem(problem, where + " wrote " + std::to_string(buffer.overrun()) +
                                           " bytes past a 64-byte buffer");
            } else if (real && !buffer.terminated()) {
                appendProblem(problem, where + " is not terminated within 64 bytes");
            } else if (real && buffer.printable().size() > kShortParameterText) {
                ++longTexts;
            }
        }
        return problem;
    };
    for (VstInt32 index = 0; index < count; ++index) {
        const std::string problem = readTexts(index, true);
        if (!problem.empty()) findings.fail(problem);
        const float value = instance.getParameter(index);
        if (!std::isfinite(value)) {
            findings.fail("parameter " + std::to_string(index) + " reads as " +
                          formatSample(value));
        }
        if (findings.verdict() == Verdict::kFail && index > 8) break;
    }
    // Indexes one past the end and -1 are abuse: hosts do not ask for them.
    for (VstInt32 index : {count, -1}) {
        const std::string crash = crashOfForked([&] {
            const std::string problem = readTexts(index, false);
            instance.getParameter(index);
            if (!problem.empty()) throw ValidationError(problem);
        });
        if (!crash.empty()) {
            findings.warn("texts of index " + std::to_string(index) +
                          " (no such parameter): " + crash);
        }
    }
    findings.report(context, std::to_string(count) +
                                 " parameters' names, labels and displays fit; " +
                                 std::to_string(longTexts) +
                                 " texts longer than the 8-character convention; indexes " +
                                 std::to_string(count) + " and -1 safe");
}

void checkHostOddities(CheckContext& context) {
    // The reference first, in a fresh process, before this process loads the library.
    const Audio fresh = renderFresh(context, standardPhrase());
    Findings findings;
    std::string answers;
    auto instance = startedInstance(context);
    // Opcodes no VST 2 version defines, with a harmless buffer in case one is read as text.
    for (VstInt32 opcode : {-1, 59, 60, 77, 1000, 0x7fffffff}) {
        std::vector<char> buffer(256, '\0');
        const VstIntPtr answer = instance->dispatch(opcode, 0, 0, buffer.data());
        if (answer != 0) answers += " " + std::to_string(opcode) + "->" + std::to_string(answer);
    }
    // A block of zero frames must leave the buffers alone and not move time on.
    constexpr std::size_t kFrames = 16;
    std::vector<std::vector<float>> storage(static_cast<std::size_t>(instance->numOutputs()),
                                            std::vector<float>(kFrames, 0.75f));
    std::vector<std::vector<float>> inputStorage(static_cast<std::size_t>(instance->numInputs()),
                                                 std::vector<float>(kFrames, 0.0f));
    std::vector<float*> outputs;
    std::vector<float*> inputs;
    for (auto& channel : storage) outputs.push_back(channel.data());
    for (auto& channel : inputStorage) inputs.push_back(channel.data());
    outputs.push_back(nullptr);
    inputs.push_back(nullptr);
    AEffect& effect = instance->effect();
    for (ProcessEntry entry : {effect.processReplacing, effect.process}) {
        if (entry) entry(&effect, inputs.data(), outputs.data(), 0);
    }
    bool wrote = false;
    for (const auto& channel : storage) {
        for (float sample : channel) wrote = wrote || sample != 0.75f;
    }
    if (wrote) findings.warn("a zero-frame processing call wrote into the buffers");
    RenderSettings settings;
    const Audio after = renderPhrase(*instance, standardPhrase(), settings).audio;
    instance->suspend();
    instance.reset();
    if (const auto at = firstDifference(fresh, after)) {
        findings.warn("after unknown opcodes and zero-frame calls the standard phrase differs " +
                      describeDifference(fresh, after, *at, "a fresh process", "this instance"));
    }
    findings.report(context, "unknown opcodes -1, 59, 60, 77, 1000, 2^31-1 answered (" +
                                 (answers.empty() ? std::string("all 0") : "non-zero:" + answers) +
                                 "); zero-frame blocks write nothing and change nothing");
}

}  // namespace corvalen::validate
