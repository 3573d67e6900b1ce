// Checks of loading, identity, independent instances, a minimal host and the order of setup.
#include <time.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

constexpr double kMaxLoadSeconds = 0.1;

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

std::string fourCharacters(VstInt32 code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((static_cast<std::uint32_t>(code) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    }
    return text;
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
// anything: non-finite samples, or silence from an instrument.
std::string playProblem(PluginInstance& instance) {
    RenderSettings settings;
    const Audio audio = renderPhrase(instance, standardPhrase(), settings).audio;
    const SampleCensus census = takeCensus(audio);
    if (census.nan + census.infinite > 0) return describeCensus(census);
    const float peak = peakBetween(audio, 0, frameCount(audio));
    if (instance.isSynth() && peak < decibelsToAmplitude(kAudibleDbfs)) {
        return "the phrase stays silent (peak " + formatDb(peak) + ")";
    }
    return "";
}

}  // namespace

void checkLoad(CheckContext& context) {
    const double start = monotonicSeconds();
    vsthost::PluginLibrary& library = context.library();
    PluginInstance instance(library);
    instance.open();
    const double seconds = monotonicSeconds() - start;
    context.verdict(seconds < kMaxLoadSeconds, "load",
                    "library, " + library.entryName() + " and effOpen took " + formatMs(seconds) +
                        " (limit " + formatMs(kMaxLoadSeconds) + ")");
}

void checkRecord(CheckContext& context) {
    PluginInstance instance(context.library());
    const AEffect& effect = instance.effect();
    std::string problems;
    if (effect.uniqueID == 0) appendProblem(problems, "unique id is 0");
    if (effect.numOutputs == 0) appendProblem(problems, "no outputs");
    if ((effect.flags & effFlagsCanReplacing) && !effect.processReplacing) {
        appendProblem(problems, "replacing flag set but no processReplacing entry");
    }
    char detail[400];
    std::snprintf(
        detail, sizeof detail,
        "%s, id '%s', %d inputs, %d outputs, %d parameters, %d programs, flags 0x%x (%s), "
        "entries:%s%s",
        instance.isSynth() ? "instrument" : "effect", fourCharacters(effect.uniqueID).c_str(),
        effect.numInputs, effect.numOutputs, effect.numParams, effect.numPrograms,
        static_cast<unsigned>(effect.flags), flagNames(effect.flags).c_str(),
        effect.processReplacing ? " processReplacing" : "", effect.process ? " process" : "");
    context.verdict(problems.empty(), "record",
                    problems.empty() ? detail : problems + " (" + detail + ")");
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
    std::string problems;
    std::string found;
    for (const auto& text : kTexts) {
        GuardedText buffer(text.capacity);
        const VstIntPtr answer = instance.dispatch(text.opcode, 0, 0, buffer.data());
        const std::string what =
            std::string(text.what) + " (" + std::to_string(text.capacity) + "-byte buffer)";
        if (!buffer.guardsIntact()) {
            appendProblem(problems, what + ": wrote " + std::to_string(buffer.overrun()) +
                                        " bytes past the buffer");
        } else if (!buffer.terminated()) {
            appendProblem(problems, what + ": not terminated");
        } else if (buffer.text().empty()) {
            appendProblem(problems, what + ": empty");
        }
        if (answer != 1)
            appendProblem(problems, what + ": answered " + std::to_string(answer) + ", not 1");
        found +=
            (found.empty() ? "" : ", ") + std::string(text.what) + " \"" + buffer.text() + "\"";
    }
    context.verdict(problems.empty(), "identity",
                    problems.empty() ? found : problems + " (" + found + ")");
}

void checkInstances(CheckContext& context) {
    std::string problems;
    std::string detail;
    // Two pairs: the first closed in creation order, the second in reverse.
    for (int pair = 0; pair < 2; ++pair) {
        auto first = std::make_unique<PluginInstance>(context.library());
        auto second = std::make_unique<PluginInstance>(context.library());
        if (&first->effect() == &second->effect()) {
            context.fail("instances", "main returned the same record twice");
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
                appendProblem(problems,
                              "setting parameter 0 on one instance changed the other's from " +
                                  std::to_string(before) + " to " + std::to_string(after));
            }
        }
        // Close one, then play the other: it must not have lost anything it shared.
        std::unique_ptr<PluginInstance>& closing = pair == 0 ? first : second;
        std::unique_ptr<PluginInstance>& staying = pair == 0 ? second : first;
        closing->suspend();
        closing.reset();
        const std::string problem = playProblem(*staying);
        if (!problem.empty()) {
            appendProblem(problems, std::string(pair == 0 ? "second" : "first") +
                                        " instance after closing the " +
                                        (pair == 0 ? "first" : "second") + ": " + problem);
        }
        staying->suspend();
        staying.reset();
    }
    detail = "two pairs of instances, distinct records, closed in either order";
    context.verdict(problems.empty(), "instances", problems.empty() ? detail : problems);
}

void checkMinimalHost(CheckContext& context) {
    auto minimal = startedInstance(context, kStandardRate, kStandardBlock, HostMode::kVersionOnly);
    const bool synth = minimal->isSynth();
    RenderSettings settings;
    const Audio audio = renderPhrase(*minimal, standardPhrase(), settings).audio;
    minimal->suspend();
    minimal.reset();
    const SampleCensus census = takeCensus(audio);
    const float peak = peakBetween(audio, 0, frameCount(audio));
    if (census.nan + census.infinite > 0) {
        context.fail("minimal-host",
                     "with a host answering 0 to all but the version: " + describeCensus(census));
        return;
    }
    if (synth && peak < decibelsToAmplitude(kAudibleDbfs)) {
        context.fail(
            "minimal-host",
            "with a host answering 0 to all but the version the phrase stays silent (peak " +
                formatDb(peak) + ")");
        return;
    }
    const Audio full = renderFresh(context, standardPhrase());
    const auto difference = firstDifference(audio, full);
    context.verdict(
        !difference, "minimal-host",
        difference
            ? "output differs from a full host's from frame " + std::to_string(*difference)
            : "host answering 0 to all but the version: same output as a full host's, peak " +
                  formatDb(peak));
}

void checkSetupOrder(CheckContext& context) {
    constexpr float kRate = 48000.0f;
    constexpr int kBlock = 256;
    RenderSettings settings;
    settings.blockSize = kBlock;
    const Phrase phrase = standardPhrase();

    const Audio usual = renderFresh(context, phrase, kBlock, kRate);

    PluginInstance early(context.library());
    early.setSampleRate(kRate);
    early.setBlockSize(kBlock);
    early.open();
    early.setSampleRate(kRate);
    early.setBlockSize(kBlock);
    early.resume();
    const Audio settingsFirst = renderPhrase(early, phrase, settings).audio;
    early.suspend();
    early.close();

    PluginInstance twice(context.library());
    twice.start(kRate, kBlock);
    twice.resume();
    const Audio resumedTwice = renderPhrase(twice, phrase, settings).audio;
    twice.suspend();
    twice.close();

    std::string problems;
    for (const Audio* audio : {&usual, &settingsFirst, &resumedTwice}) {
        const SampleCensus census = takeCensus(*audio);
        if (census.nan + census.infinite > 0) {
            appendProblem(problems, describeCensus(census));
            break;
        }
    }
    if (const auto at = firstDifference(settingsFirst, usual)) {
        appendProblem(problems,
                      "rate and block size sent before effOpen change the output from frame " +
                          std::to_string(*at));
    }
    if (const auto at = firstDifference(resumedTwice, usual)) {
        appendProblem(problems,
                      "a second resume changes the output from frame " + std::to_string(*at));
    }
    context.verdict(problems.empty(), "setup-order",
                    problems.empty()
                        ? "rate and block size before and after effOpen, resume twice, an "
                          "event list before every block: same output at 48000 Hz"
                        : problems);
}

}  // namespace corvalen::validate
