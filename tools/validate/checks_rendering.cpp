// Checks of rendering: block sizes and rates, sample-accurate events, odd events, floods, and
// the two processing calls.
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

constexpr int kBlockSizes[] = {1, 2, 3, 31, 64, 127, 512, 4096};
constexpr float kRates[] = {44100.0f, 48000.0f, 96000.0f};
// A flood must have died away this long after its last release.
constexpr double kFloodDecaySeconds = 10.0;

bool isSynth(CheckContext& context) {
    return PluginInstance(context.library()).isSynth();
}

Phrase silentPhrase(std::int64_t frames) {
    Phrase phrase;
    phrase.frames = frames;
    return phrase;
}

}  // namespace

void checkBlockSizes(CheckContext& context) {
    const Phrase phrase = standardPhrase();
    for (float rate : kRates) {
        const std::string name = "block-sizes@" + std::to_string(static_cast<int>(rate));
        const Audio reference = renderFresh(context, phrase, 512, rate);
        std::string problems;
        SampleCensus worst;
        for (int blockSize : kBlockSizes) {
            const Audio audio =
                blockSize == 512 ? reference : renderFresh(context, phrase, blockSize, rate);
            const SampleCensus census = takeCensus(audio);
            if (!census.clean() && worst.clean()) {
                worst = census;
                appendProblem(problems,
                              "block " + std::to_string(blockSize) + ": " + describeCensus(census));
            }
            if (const auto at = firstDifference(audio, reference)) {
                appendProblem(problems, "block " + std::to_string(blockSize) +
                                            " differs from block 512 from frame " +
                                            std::to_string(*at));
            }
        }
        const float peak = peakBetween(reference, 0, frameCount(reference));
        context.verdict(problems.empty(), name,
                        problems.empty() ? "blocks 1 to 4096 give identical, clean output (peak " +
                                               formatDb(peak) + ")"
                                         : problems);
    }
}

void checkSampleAccuracy(CheckContext& context) {
    if (!isSynth(context)) {
        context.skip("sample-accuracy", "not an instrument");
        return;
    }
    constexpr int kBlock = 64;
    constexpr std::int64_t kBase = 640;  // the start of a block
    const Phrase quiet = silentPhrase(4096);
    const Audio baseline = renderFresh(context, quiet, kBlock);
    std::string problems;
    std::int64_t firstOnset = -1;
    std::string onsets;
    for (int offset : {0, 1, 2, 31, 62, 63}) {
        Phrase phrase = quiet;
        phrase.noteOn(kBase + offset, 69, 100);
        const Audio audio = renderFresh(context, phrase, kBlock);
        const auto onset = firstDifference(audio, baseline);
        if (!onset) {
            appendProblem(problems,
                          "a note at offset " + std::to_string(offset) + " changes nothing");
            continue;
        }
        if (*onset < kBase) {
            appendProblem(problems, "output changes at frame " + std::to_string(*onset) +
                                        ", before the note at " + std::to_string(kBase + offset));
        }
        if (firstOnset < 0) firstOnset = *onset - offset;
        onsets += (onsets.empty() ? "" : ", ") + std::to_string(*onset);
        if (*onset - offset != firstOnset) {
            appendProblem(problems, "note at offset " + std::to_string(offset) +
                                        " starts at frame " + std::to_string(*onset) +
                                        ", expected " + std::to_string(firstOnset + offset));
        }
    }
    context.verdict(
        problems.empty(), "sample-accuracy",
        problems.empty()
            ? "onsets move with the offset within a 64-frame block (first changed frames " +
                  onsets + "; latency " + std::to_string(firstOnset - kBase) + " frames)"
            : problems);
}

void checkEdgeEvents(CheckContext& context) {
    if (!isSynth(context)) {
        context.skip("edge-events", "not an instrument");
        return;
    }
    std::string problems;
    std::string notes;
    const Phrase quiet = silentPhrase(20000);
    const Audio baseline = renderFresh(context, quiet);

    Phrase offAlone = quiet;
    offAlone.noteOff(300, 60).add(600, 0x90, 61, 0);
    const Audio offAloneAudio = renderFresh(context, offAlone);
    if (const auto at = firstDifference(offAloneAudio, baseline)) {
        appendProblem(problems, "note-offs without a note-on change the output from frame " +
                                    std::to_string(*at));
    }

    Phrase held = quiet;
    held.noteOn(100, 60);
    Phrase released = held;
    released.noteOff(5000, 60);
    Phrase zeroVelocity = held;
    zeroVelocity.add(5000, 0x90, 60, 0);
    const Audio heldAudio = renderFresh(context, held);
    const Audio releasedAudio = renderFresh(context, released);
    const Audio zeroAudio = renderFresh(context, zeroVelocity);
    if (const auto at = firstDifference(zeroAudio, releasedAudio)) {
        appendProblem(problems,
                      "a note-on with velocity 0 does not act as a note-off (differs from frame " +
                          std::to_string(*at) + ")");
    }
    if (!firstDifference(heldAudio, releasedAudio)) notes = " (the plug-in ignores note-offs)";

    // Note-ons and releases on the last frame of 512-frame blocks, compared with blocks of
    // 4096 in which the first two fall mid-block.
    Phrase lastFrames = quiet;
    lastFrames.noteOn(511, 64).noteOff(1023, 64).noteOn(4095, 65).noteOff(8191, 65);
    const Audio blocked = renderFresh(context, lastFrames, 512);
    const Audio whole = renderFresh(context, lastFrames, 4096);
    if (const auto at = firstDifference(blocked, whole)) {
        appendProblem(problems,
                      "events on the last frame of a block land elsewhere (differs from frame " +
                          std::to_string(*at) + ")");
    }
    for (const Audio* audio : {&offAloneAudio, &releasedAudio, &zeroAudio, &blocked}) {
        const SampleCensus census = takeCensus(*audio);
        if (!census.clean()) {
            appendProblem(problems, describeCensus(census));
            break;
        }
    }
    context.verdict(problems.empty(), "edge-events",
                    problems.empty()
                        ? "note-off without note-on changes nothing, velocity 0 releases, "
                          "events on a block's last frame land there" +
                              notes
                        : problems);
}

void checkEventFlood(CheckContext& context) {
    constexpr int kRandomEvents = 600;
    constexpr int kBlock = 512;
    Lcg random(20240607u);
    Phrase phrase;
    std::set<std::pair<int, int>> held;  // channel, note
    for (int i = 0; i < kRandomEvents; ++i) {
        const std::int64_t frame = static_cast<std::int64_t>(i) * (kBlock - 1) / kRandomEvents;
        const int channel = static_cast<int>(random.below(16));
        const std::uint32_t kind = random.below(10);
        if (kind < 4) {
            const int note = 36 + static_cast<int>(random.below(61));
            phrase.add(frame, static_cast<unsigned char>(0x90 | channel),
                       static_cast<unsigned char>(note),
                       static_cast<unsigned char>(1 + random.below(127)));
            held.insert({channel, note});
        } else if (kind < 7 && !held.empty()) {
            auto it = held.begin();
            std::advance(it, random.below(static_cast<std::uint32_t>(held.size())));
            phrase.add(frame, static_cast<unsigned char>(0x80 | it->first),
                       static_cast<unsigned char>(it->second), 64);
            held.erase(it);
        } else if (kind < 8) {
            // Controllers other than the channel-mode ones (120 to 127), sustain pedal excluded.
            int controller = static_cast<int>(random.below(120));
            if (controller == 64) controller = 1;
            phrase.add(frame, static_cast<unsigned char>(0xB0 | channel),
                       static_cast<unsigned char>(controller),
                       static_cast<unsigned char>(random.below(128)));
        } else if (kind < 9) {
            phrase.add(frame, static_cast<unsigned char>(0xE0 | channel),
                       static_cast<unsigned char>(random.below(128)),
                       static_cast<unsigned char>(random.below(128)));
        } else {
            phrase.add(frame, static_cast<unsigned char>(0xD0 | channel),
                       static_cast<unsigned char>(random.below(128)), 0);
        }
    }
    // Every note still held is released on the block's last frame, as a host does at stop.
    for (const auto& [channel, note] : held) {
        phrase.add(kBlock - 1, static_cast<unsigned char>(0x80 | channel),
                   static_cast<unsigned char>(note), 0);
    }
    const std::size_t eventCount = phrase.events.size();
    phrase.frames = kBlock + static_cast<std::int64_t>(kFloodDecaySeconds * kStandardRate);

    auto instance = startedInstance(context);
    RenderSettings settings;
    settings.blockSize = kBlock;
    const Audio audio = renderPhrase(*instance, phrase, settings).audio;
    instance->suspend();
    instance.reset();

    const SampleCensus census = takeCensus(audio);
    const auto quietFrom = silentFrom(audio, decibelsToAmplitude(kSilenceDbfs));
    std::string problems;
    if (census.nan + census.infinite > 0) appendProblem(problems, describeCensus(census));
    if (!quietFrom ||
        *quietFrom >= frameCount(audio) - static_cast<std::int64_t>(kStandardRate) / 10) {
        appendProblem(
            problems,
            "hung note: still " +
                formatDb(peakBetween(audio, frameCount(audio) - 4410, frameCount(audio))) + " " +
                std::to_string(static_cast<int>(kFloodDecaySeconds)) + " s after the last release");
    }
    char detail[200];
    std::snprintf(
        detail, sizeof detail,
        "%zu events in one list, ending with releases: silent (below %.0f dBFS) %.2f s after them",
        eventCount, kSilenceDbfs,
        quietFrom ? static_cast<double>(*quietFrom - kBlock) / kStandardRate : 0.0);
    context.verdict(problems.empty(), "event-flood",
                    problems.empty() ? std::string(detail)
                                     : problems + " (" + std::to_string(eventCount) + " events)");
}

void checkProcessCalls(CheckContext& context) {
    PluginInstance probe(context.library());
    const bool replacing = probe.offersReplacing();
    const bool accumulating = probe.offersAccumulating();
    probe.close();
    const Phrase phrase = standardPhrase();
    RenderSettings settings;
    settings.prefillGarbage = true;

    // The reference: replacing processing into zeroed buffers, or accumulating processing
    // into zeroed buffers for a plug-in that offers nothing else.
    const Audio reference = renderFresh(context, phrase);

    if (!replacing) {
        context.skip("process-replacing", "the plug-in offers no processReplacing");
    } else {
        auto instance = startedInstance(context);
        settings.call = ProcessCall::kReplacing;
        const Audio audio = renderPhrase(*instance, phrase, settings).audio;
        instance->suspend();
        const auto at = firstDifference(audio, reference);
        context.verdict(
            !at, "process-replacing",
            at ? "output buffers holding garbage give other samples than zeroed ones, from frame " +
                     std::to_string(*at) + " (the garbage is not overwritten)"
               : "garbage in the output buffers is overwritten");
    }

    if (!accumulating) {
        context.skip("process-accumulating", "the plug-in offers no process entry");
        return;
    }
    if (!replacing) {
        context.skip("process-accumulating", "no replacing render to compare with");
        return;
    }
    auto instance = startedInstance(context);
    settings.call = ProcessCall::kAccumulating;
    const Audio audio = renderPhrase(*instance, phrase, settings).audio;
    instance->suspend();
    // Accumulating adds to what the buffer holds: garbage + the replacing sample, in float.
    Audio expected = reference;
    for (std::size_t channel = 0; channel < expected.size(); ++channel) {
        for (std::size_t i = 0; i < expected[channel].size(); ++i) {
            expected[channel][i] =
                garbageAt(channel, static_cast<std::int64_t>(i)) + reference[channel][i];
        }
    }
    const auto at = firstDifference(audio, expected);
    std::string detail = "process adds its output to the buffers' contents";
    if (at) {
        const std::size_t i = static_cast<std::size_t>(*at);
        char text[200];
        std::snprintf(
            text, sizeof text,
            "process does not add to the buffers: frame %lld holds %.9g, expected %.9g + %.9g",
            static_cast<long long>(*at), static_cast<double>(audio[0][i]),
            static_cast<double>(garbageAt(0, *at)), static_cast<double>(reference[0][i]));
        detail = text;
    }
    context.verdict(!at, "process-accumulating", detail);
}

}  // namespace corvalen::validate
