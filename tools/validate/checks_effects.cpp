// Checks of effects: silence in gives silence out, and the tail after the input ends dies away
// at the plug-in's own pace. Instruments are judged by event-flood and tail instead.
#include <cmath>
#include <cstdio>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

// effGetPlugCategory's answer for plug-ins that make sound without input (tone or noise
// generators), which silence in may not silence.
constexpr long kGeneratorCategory = 11;
// Silent input from the first frame: the output may settle (a filter's start-up, a
// look-ahead, a smoothed gain) for this long; it is judged over the second after.
constexpr double kSettlingSeconds = 5.0;
// The test signal plays this long; the tail is then followed for the rest of the render.
constexpr double kInputSeconds = 1.0;
constexpr double kTailRenderSeconds = 30.0;

// Categories whose plug-ins transform their input: sound without input is a fault there. Other
// categories (unknown, analysis, offline) include plug-ins that generate sound by design, such
// as noise generators, so sound without input only warns, unless it is a constant.
bool transformsInput(long category) {
    return category == 1 || (category >= 4 && category <= 8);
}

// Whether every channel holds one value throughout frames [begin, end): a DC offset.
bool constantBetween(const Audio& audio, std::int64_t begin, std::int64_t end) {
    for (const auto& channel : audio) {
        for (std::int64_t frame = begin + 1; frame < end; ++frame) {
            if (channel[static_cast<std::size_t>(frame)] !=
                channel[static_cast<std::size_t>(begin)]) {
                return false;
            }
        }
    }
    return true;
}

// FAIL or WARN for sound with silent input, by the rule above.
Verdict soundWithoutInputVerdict(const Audio& audio, std::int64_t begin, std::int64_t end,
                                 long category, std::string& note) {
    if (transformsInput(category)) return Verdict::kFail;
    if (constantBetween(audio, begin, end)) {
        note = "; the output is a constant";
        return Verdict::kFail;
    }
    note = "; category " + std::to_string(category) +
           " (not an effect category): a fault unless the plug-in generates sound by design";
    return Verdict::kWarn;
}

// Why an effect check does not apply, or "".
std::string notAnEffect(const PluginFacts& facts) {
    if (facts.takesNotes()) return "an instrument: it has no audio input to judge";
    if (facts.category == kGeneratorCategory) {
        return "a generator (category 11): it sounds without input by design";
    }
    return "";
}

}  // namespace

void checkEffectSilence(CheckContext& context) {
    const std::string why = notAnEffect(context.facts());
    if (!why.empty()) {
        context.skip(why);
        return;
    }
    const auto settle = static_cast<std::int64_t>(kSettlingSeconds * kStandardRate);
    const auto second = static_cast<std::int64_t>(kStandardRate);
    auto instance = startedInstance(context);
    RenderSettings settings;
    settings.input = InputSignal::kSilence;
    const Audio audio = renderPhrase(*instance, silentPhrase(settle + second), settings).audio;
    instance->suspend();

    const std::string how =
        "silent input from the first frame, no events, default parameters, 512-frame blocks at "
        "44100 Hz; judged over the second after a settling time of " +
        formatSeconds(kSettlingSeconds);
    const SampleCensus census = takeCensus(audio);
    if (census.nan + census.infinite > 0) {
        context.fail(describeCensus(census) + " (" + how + ")");
        return;
    }
    const float peak = peakBetween(audio, settle, settle + second);
    if (peak < decibelsToAmplitude(kSilenceDbfs)) {
        context.pass("output below " + formatDb(decibelsToAmplitude(kSilenceDbfs)) + " (peak " +
                     formatDb(peak) + "; " + how + ")");
        return;
    }
    // Where the loudest sample of the judged second is, and what it holds.
    std::size_t loudChannel = 0;
    std::int64_t loudFrame = settle;
    for (std::size_t channel = 0; channel < audio.size(); ++channel) {
        for (std::int64_t frame = settle; frame < settle + second; ++frame) {
            if (std::fabs(audio[channel][static_cast<std::size_t>(frame)]) >= peak) {
                loudChannel = channel;
                loudFrame = frame;
                frame = settle + second;
                channel = audio.size() - 1;
            }
        }
    }
    std::string note;
    const Verdict verdict =
        soundWithoutInputVerdict(audio, settle, settle + second, context.facts().category, note);
    context.report(verdict,
                   "output with silent input: peak " + formatDb(peak) + " (limit " +
                       formatDb(decibelsToAmplitude(kSilenceDbfs)) + "), e.g. channel " +
                       std::to_string(loudChannel) + " frame " + std::to_string(loudFrame) +
                       " holds " +
                       formatSample(audio[loudChannel][static_cast<std::size_t>(loudFrame)]) +
                       "; peak over the first second " + formatDb(peakBetween(audio, 0, second)) +
                       " (" + how + ")" + note);
}

void checkEffectTail(CheckContext& context) {
    const std::string why = notAnEffect(context.facts());
    if (!why.empty()) {
        context.skip(why);
        return;
    }
    const auto inputEnd = static_cast<std::int64_t>(kInputSeconds * kStandardRate);
    auto instance = startedInstance(context);
    RenderSettings settings;
    settings.inputFrames = inputEnd;
    const Audio audio =
        renderPhrase(
            *instance,
            silentPhrase(inputEnd + static_cast<std::int64_t>(kTailRenderSeconds * kStandardRate)),
            settings)
            .audio;
    instance->suspend();

    Findings findings;
    judgeCensus(findings, audio);
    const Decay decay = judgeDecay(audio, inputEnd, kStandardRate);
    const std::string cause = "the input ends";
    const std::string how = "the test signal (sine, glide, noise bursts) for " +
                            formatSeconds(kInputSeconds) + ", then silence for " +
                            formatSeconds(kTailRenderSeconds) + "; peak while it played " +
                            formatDb(peakBetween(audio, 0, inputEnd));
    if (!decay.silent && !decay.decaying) {
        // A plug-in that sounds without any input cannot die away; that is effect-silence's
        // finding, weighed as there.
        auto quiet = startedInstance(context);
        RenderSettings silence;
        silence.input = InputSignal::kSilence;
        const auto second = static_cast<std::int64_t>(kStandardRate);
        const Audio unfed = renderPhrase(*quiet, silentPhrase(2 * second), silence).audio;
        quiet->suspend();
        std::string note;
        Verdict verdict = Verdict::kFail;
        if (peakBetween(unfed, second, 2 * second) >= decibelsToAmplitude(kSilenceDbfs)) {
            verdict =
                soundWithoutInputVerdict(unfed, second, 2 * second, context.facts().category, note);
            note =
                "; it sounds with silent input from the start as well (see effect-silence)" + note;
        }
        findings.add(verdict,
                     decay.describe(kStandardRate, inputEnd, cause) + " (" + how + ")" + note);
    }
    findings.report(context, decay.describe(kStandardRate, inputEnd, cause) + " (" + how + ")");
}

}  // namespace corvalen::validate
