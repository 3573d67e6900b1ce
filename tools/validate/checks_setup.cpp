// Checks of loading, identity, independent instances, a minimal host and the order of setup.
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/common/child_process.h"
#include "tools/validate/checks.h"
#include "vst_host/effect.h"

namespace corvalen::validate {
namespace {

// CPU time of dlopen, the entry point and effOpen, best of several fresh processes: above
// the first limit a host's start-up is noticeably slow; above the second it is a fault.
constexpr double kSlowLoadSeconds = 0.1;
constexpr double kFailLoadSeconds = 1.0;
constexpr int kLoadTries = 3;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string flagNames(VstInt32 flags) {
    static const struct {
        VstInt32 bit;
        const char* name;
    } kFlags[] = {{effFlagsHasEditor, "editor"},
                  {effFlagsHasClip, "clip"},
                  {effFlagsHasVu, "vu"},
                  {effFlagsCanMono, "mono"},
                  {effFlagsCanReplacing, "replacing"},
                  {effFlagsProgramChunks, "chunks"},
                  {effFlagsIsSynth, "synth"},
                  {effFlagsNoSoundInStop, "no-tail"},
                  {effFlagsExtIsAsync, "async"},
                  {effFlagsExtHasBuffer, "external-buffer"}};
    std::string names;
    for (const auto& flag : kFlags) {
        if (flags & flag.bit) names += (names.empty() ? "" : ", ") + std::string(flag.name);
    }
    return names.empty() ? "none" : names;
}

// A value for parameter 0 far from its current one.
float distantValue(float current) {
    return current < 0.5f ? 0.875f : 0.125f;
}

bool sameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Plays the standard phrase on an instance and describes what is wrong with the result, if
// anything: non-finite samples, or silence when a fresh instance sounds.
std::string playProblem(PluginInstance& instance, bool shouldSound) {
    RenderSettings settings;
    const Audio audio = renderPhrase(instance, standardPhrase(), settings).audio;
    const SampleCensus census = takeCensus(audio);
    if (census.nan + census.infinite > 0) return describeCensus(census);
    const float peak = peakBetween(audio, 0, frameCount(audio));
    if (shouldSound && peak < decibelsToAmplitude(kAudibleDbfs)) {
        return "the phrase stays silent (peak " + formatDb(peak) +
               ") where a fresh instance in a fresh process sounds";
    }
    return "";
}

}  // namespace

void checkLoad(CheckContext& context) {
    double bestCpu = 1e30;
    double bestWall = 1e30;
    std::string entryName;
    for (int attempt = 0; attempt < kLoadTries; ++attempt) {
        const std::string answer = textFromFreshProcess(context, [](CheckContext& own) {
            const double cpu = processCpuSeconds();
            const double wall = tools::monotonicSeconds();
            vsthost::PluginLibrary& library = own.library();
            PluginInstance instance(library);
            instance.open();
            char text[160];
            std::snprintf(text, sizeof text, "%.9f %.9f %s", processCpuSeconds() - cpu,
                          tools::monotonicSeconds() - wall, library.entryName().c_str());
            return std::string(text);
        });
        double cpu = 0.0;
        double wall = 0.0;
        char name[64] = {};
        if (std::sscanf(answer.c_str(), "%lf %lf %63s", &cpu, &wall, name) != 3) {
            throw ValidationError("unreadable timing from the loading process");
        }
        bestCpu = std::min(bestCpu, cpu);
        bestWall = std::min(bestWall, wall);
        entryName = name;
    }
    const std::string detail =
        "library, " + entryName + " and effOpen: " + formatMs(bestCpu) + " CPU (" +
        formatMs(bestWall) + " wall), best of " + std::to_string(kLoadTries) +
        " fresh processes; CPU of all the process's threads, so time spent waiting for the disk "
        "or other processes does not count; WARN above " +
        formatMs(kSlowLoadSeconds) + ", FAIL above " + formatMs(kFailLoadSeconds);
    const Verdict verdict = bestCpu > kFailLoadSeconds   ? Verdict::kFail
                            : bestCpu > kSlowLoadSeconds ? Verdict::kWarn
                                                         : Verdict::kPass;
    context.report(verdict, detail);
}

void checkRecord(CheckContext& context) {
    PluginInstance instance(context.library());
    const AEffect& effect = instance.effect();
    Findings findings;
    // Hosts store sessions by the id; a plug-in without one cannot be told apart on reload.
    if (effect.uniqueID == 0) findings.warn("unique id is 0");
    if (effect.numOutputs == 0) findings.warn("no outputs");
    if ((effect.flags & effFlagsCanReplacing) && !effect.processReplacing) {
        findings.fail("replacing flag set but no processReplacing entry (a host calls null)");
    }
    char detail[400];
    std::snprintf(
        detail, sizeof detail,
        "%s, id '%s', %d inputs, %d outputs, %d parameters, %d programs, flags 0x%x (%s), "
        "entries:%s%s",
        instance.isSynth() ? "instrument" : "effect",
        vsthost::fourCharacterText(effect.uniqueID).c_str(), effect.numInputs, effect.numOutputs,
        effect.numParams, effect.numPrograms, static_cast<unsigned>(effect.flags),
        flagNames(effect.flags).c_str(), effect.processReplacing ? " processReplacing" : "",
        effect.process ? " process" : "");
    findings.report(context, detail, true);
}

void checkIdentity(CheckContext& context) {
    PluginInstance instance(context.library());
    instance.open();
    // Buffer sizes hosts give by convention.
    const struct {
        VstInt32 opcode;
        const char* what;
        std::size_t capacity;
    } kTexts[] = {{effGetEffectName, "name", 32},
                  {effGetVendorString, "vendor", 64},
                  {effGetProductString, "product", 64}};
    Findings findings;
    std::string found;
    for (const auto& text : kTexts) {
        GuardedText buffer(text.capacity, kTextGuardBytes);
        const VstIntPtr answer = instance.dispatch(text.opcode, 0, 0, buffer.data());
        const std::string what =
            std::string(text.what) + " (" + std::to_string(text.capacity) + "-byte buffer)";
        if (!buffer.guardsIntact()) {
            findings.fail(what + ": wrote " + std::to_string(buffer.overrun()) +
                          " bytes past the buffer");
        } else if (!buffer.terminated()) {
            findings.fail(what + ": not terminated");
        } else if (buffer.printable().empty()) {
            findings.warn(what + ": empty");
        }
        if (answer != 1) findings.warn(what + ": answered " + std::to_string(answer) + ", not 1");
        found += (found.empty() ? "" : ", ") + std::string(text.what) + " \"" + buffer.printable() +
                 "\"";
    }
    findings.report(context, found, true);
}

void checkRepeatability(CheckContext& context) {
    const Phrase phrase = standardPhrase();
    // Two fresh processes first (this process must not hold the library yet), then two
    // instances one after the other in this process.
    const Audio first = renderFresh(context, phrase);
    const Audio second = renderFresh(context, phrase);
    if (const auto at = firstDifference(first, second)) {
        context.report(
            Verdict::kWarn,
            "the phrase on a fresh instance in two fresh processes gives different "
            "output " +
                describeDifference(first, second, *at, "the first process", "the second") +
                "; the output is not repeatable, so checks that compare renders "
                "cannot judge");
        return;
    }
    std::vector<Audio> inProcess;
    for (int i = 0; i < 2; ++i) {
        auto instance = startedInstance(context);
        RenderSettings settings;
        inProcess.push_back(renderPhrase(*instance, phrase, settings).audio);
        instance->suspend();
    }
    for (int i = 0; i < 2; ++i) {
        if (const auto at = firstDifference(first, inProcess[static_cast<std::size_t>(i)])) {
            context.report(
                Verdict::kWarn,
                std::string(i == 0 ? "the first" : "the second") +
                    " fresh instance in one process renders the phrase differently from a "
                    "fresh process " +
                    describeDifference(first, inProcess[static_cast<std::size_t>(i)], *at,
                                       "fresh processes", "instances in one process") +
                    ", while two fresh processes agree bit for bit: state shared across the "
                    "process (a common random generator, say) carries from one instance to the "
                    "next. The other checks compare renders in fresh processes.");
            return;
        }
    }
    context.pass(
        "the phrase renders bit-identically in two fresh processes and on two "
        "successive instances in one process");
}

void checkInstances(CheckContext& context) {
    const Audio reference = renderFresh(context, standardPhrase());
    const bool shouldSound = context.facts().takesNotes() && !inaudible(reference);
    Findings findings;
    // Two pairs: the first closed in creation order, the second in reverse.
    for (int pair = 0; pair < 2; ++pair) {
        auto first = std::make_unique<PluginInstance>(context.library());
        auto second = std::make_unique<PluginInstance>(context.library());
        if (&first->effect() == &second->effect()) {
            context.fail("the entry point returned the same record twice");
            return;
        }
        first->start(kStandardRate, kStandardBlock);
        second->start(kStandardRate, kStandardBlock);
        if (first->numParams() > 0) {
            const float before = second->getParameter(0);
            const float wanted = distantValue(first->getParameter(0));
            first->setParameter(0, wanted);
            const float after = second->getParameter(0);
            if (!sameBits(before, after)) {
                findings.fail("setting parameter 0 of one instance to " + formatSample(wanted) +
                              " changed the other's from " + formatSample(before) + " to " +
                              formatSample(after));
            }
        }
        // Close one, then play the other: it must not have lost anything it shared.
        std::unique_ptr<PluginInstance>& closing = pair == 0 ? first : second;
        std::unique_ptr<PluginInstance>& staying = pair == 0 ? second : first;
        closing->suspend();
        closing.reset();
        const std::string problem = playProblem(*staying, shouldSound);
        if (!problem.empty()) {
            findings.fail(std::string(pair == 0 ? "second" : "first") +
                          " instance after closing the " + (pair == 0 ? "first" : "second") + ": " +
                          problem);
        }
        staying->suspend();
        staying.reset();
    }
    std::string detail = "two pairs of instances, distinct records, closed in either order";
    if (!shouldSound && context.facts().takesNotes()) {
        detail +=
            "; whether the remaining one still sounds cannot be judged: a fresh instance "
            "is silent too";
    }
    findings.report(context, detail);
}

void checkMinimalHost(CheckContext& context) {
    const Phrase phrase = standardPhrase();
    FreshRender minimalHow;
    minimalHow.profile = HostProfile::kVersionOnly;
    const Audio audio = renderFresh(context, phrase, minimalHow);
    const Audio full = renderFresh(context, phrase);
    const SampleCensus census = takeCensus(audio);
    const float peak = peakBetween(audio, 0, frameCount(audio));
    if (census.nan + census.infinite > 0) {
        context.fail("with a host answering 0 to all but the version: " + describeCensus(census));
        return;
    }
    if (context.facts().takesNotes() && inaudible(full)) {
        context.skip(inaudibleReason(full));
        return;
    }
    if (context.facts().takesNotes() && peak < decibelsToAmplitude(kAudibleDbfs)) {
        context.fail(
            "with a host answering 0 to all but the version the phrase stays silent "
            "(peak " +
            formatDb(peak) + "); with a full host its peak is " +
            formatDb(peakBetween(full, 0, frameCount(full))));
        return;
    }
    const Comparison comparison =
        compareRenders(full, audio, [&] { return renderFresh(context, phrase); });
    if (comparison.unstable) {
        context.skip(unrepeatableReason(*comparison.unstable));
        return;
    }
    if (comparison.at) {
        context.report(
            differenceVerdict(full, audio),
            "the standard phrase (512-frame blocks, 44100 Hz, fresh processes) differs " +
                describeDifference(full, audio, *comparison.at, "a full host's answers",
                                   "zero answers"));
        return;
    }
    context.pass("host answering 0 to all but the version: same output as a full host's, peak " +
                 formatDb(peak));
}

void checkSetupOrder(CheckContext& context) {
    constexpr float kRate = 48000.0f;
    constexpr int kBlock = 256;
    const Phrase phrase = standardPhrase();
    auto render = [&](int order) {
        return renderInFreshProcess(context, [&](CheckContext& own) {
            PluginInstance instance(own.library(), HostProfile::kFull, kRate, kBlock);
            if (order == 1) {
                instance.setSampleRate(kRate);
                instance.setBlockSize(kBlock);
            }
            instance.start(kRate, kBlock);
            if (order == 2) instance.resume();
            RenderSettings settings;
            settings.blockSize = kBlock;
            Audio audio = renderPhrase(instance, phrase, settings).audio;
            instance.suspend();
            return audio;
        });
    };
    const Audio usual = render(0);
    const Audio settingsFirst = render(1);
    const Audio resumedTwice = render(2);

    Findings findings;
    for (const Audio* audio : {&usual, &settingsFirst, &resumedTwice}) {
        const SampleCensus census = takeCensus(*audio);
        if (census.nan + census.infinite > 0) {
            findings.fail(describeCensus(census));
            break;
        }
    }
    const Comparison early = compareRenders(usual, settingsFirst, [&] { return render(0); });
    if (early.unstable) {
        context.skip(unrepeatableReason(*early.unstable));
        return;
    }
    if (early.at) {
        findings.add(differenceVerdict(usual, settingsFirst),
                     "rate and block size sent before effOpen as well as after change the "
                     "output " +
                         describeDifference(usual, settingsFirst, *early.at, "the usual order",
                                            "rate and block size first"));
    }
    if (const auto at = firstDifference(usual, resumedTwice)) {
        findings.add(differenceVerdict(usual, resumedTwice),
                     "a second resume changes the output " +
                         describeDifference(usual, resumedTwice, *at, "one resume", "two resumes"));
    }
    findings.report(context,
                    "rate and block size before and after effOpen, resume twice: same output at "
                    "48000 Hz in 256-frame blocks (fresh processes)");
}

}  // namespace corvalen::validate
