// Checks of rendering: block sizes and rates, sample-accurate events, several events in one
// block, odd events, floods, and the two processing calls. Renders that are compared run on
// fresh instances in fresh processes, so state a plug-in keeps across its instances cannot
// make them differ.
#include <cmath>
#include <cstdio>
#include <map>
#include <set>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

constexpr int kBlockSizes[] = {1, 2, 3, 31, 64, 127, 512, 4096};
constexpr float kRates[] = {44100.0f, 48000.0f, 96000.0f};
// A flood must have died away, or still be dying away, this long after its last release.
constexpr double kFloodDecaySeconds = 10.0;

std::string blockName(int frames) {
    return std::to_string(frames) + "-frame blocks";
}

std::string rateName(float rate) {
    return std::to_string(static_cast<int>(rate)) + " Hz";
}

// In 512-frame blocks: two note-ons 184 frames apart in one block, events on a block's first
// and last frames, a release and a note-on on one frame, a chord on one frame, a bend and a
// controller between notes.
Phrase eventsInOneBlockPhrase() {
    Phrase phrase;
    phrase.noteOn(0, 60)
        .noteOn(184, 64)
        .noteOff(512, 60)
        .noteOn(512, 67, 90)
        .noteOn(1023, 72, 80)
        .noteOn(1100, 48)
        .noteOn(1100, 55)
        .noteOn(1100, 62)
        .noteOff(1300, 64)
        .noteOff(1535, 67)
        .noteOff(1535, 72)
        .add(1600, 0xE0, 0x00, 0x50)
        .add(1700, 0xB0, 1, 64)
        .add(1800, 0xE0, 0x00, 0x40)
        .noteOff(2047, 48)
        .noteOff(2047, 55)
        .noteOff(2047, 62);
    phrase.frames = 30000;
    return phrase;
}

}  // namespace

void checkBlockSizes(CheckContext& context) {
    const Phrase phrase = standardPhrase();
    Findings findings;
    std::string peaks;
    for (float rate : kRates) {
        const Audio reference = renderFresh(context, phrase, 512, rate);
        if (rate == kRates[0] && context.facts().takesNotes() && inaudible(reference)) {
            context.skip(inaudibleReason(reference));
            return;
        }
        std::string differing;
        Verdict differingVerdict = Verdict::kWarn;
        bool checkedRepeatable = false;
        bool reportedCensus = false;
        for (int blockSize : kBlockSizes) {
            const Audio audio =
                blockSize == 512 ? reference : renderFresh(context, phrase, blockSize, rate);
            if (!reportedCensus) {
                reportedCensus = judgeCensus(
                    findings, audio, "at " + rateName(rate) + " in " + blockName(blockSize));
            }
            const auto at = firstDifference(reference, audio);
            if (!at) continue;
            if (!checkedRepeatable) {
                checkedRepeatable = true;
                const Audio again = renderFresh(context, phrase, 512, rate);
                if (const auto unstable = firstDifference(reference, again)) {
                    context.skip(unrepeatableReason(*unstable));
                    return;
                }
            }
            differingVerdict = worse(differingVerdict, differenceVerdict(reference, audio));
            if (differing.empty()) {
                differing =
                    "at " + rateName(rate) + ", " + blockName(blockSize) +
                    " differ from 512-frame blocks " +
                    describeDifference(reference, audio, *at, blockName(512), blockName(blockSize));
            } else {
                differing += "; " + blockName(blockSize) + " from frame " + std::to_string(*at);
            }
        }
        if (!differing.empty()) findings.add(differingVerdict, differing);
        peaks += (peaks.empty() ? "" : ", ") +
                 formatDb(peakBetween(reference, 0, frameCount(reference))) + " at " +
                 rateName(rate);
    }
    findings.report(context,
                    std::string("the standard phrase") +
                        (context.facts().takesNotes() ? "" : " with the test signal as input") +
                        " in blocks of 1, 2, 3, 31, 64, 127, 512 and 4096 frames at 44100, "
                        "48000 and 96000 Hz: bit-identical, clean output (peak " +
                        peaks + ")");
}

void checkSampleAccuracy(CheckContext& context) {
    if (!context.facts().takesNotes()) {
        context.skip("an effect: it is not played with notes");
        return;
    }
    constexpr int kBlock = 64;
    constexpr std::int64_t kBase = 640;  // the start of a block
    const Phrase quiet = silentPhrase(4096);
    const Audio baseline = renderFresh(context, quiet, kBlock);
    Findings findings;
    std::int64_t firstOnset = -1;
    std::string onsets;
    for (int offset : {0, 1, 2, 31, 62, 63}) {
        Phrase phrase = quiet;
        phrase.noteOn(kBase + offset, 69, 100);
        const Audio audio = renderFresh(context, phrase, kBlock);
        const auto onset = firstDifference(baseline, audio);
        if (!onset) {
            if (offset == 0) {
                context.skip(
                    "cannot judge: a note (69, velocity 100) changes nothing in the "
                    "output; the plug-in may need user data (a sample or file) first");
                return;
            }
            findings.fail("a note on frame " + std::to_string(kBase + offset) +
                          " changes nothing, while one on frame " + std::to_string(kBase) +
                          " does");
            continue;
        }
        if (*onset < kBase) {
            const Comparison again = compareRenders(
                baseline, audio, [&] { return renderFresh(context, quiet, kBlock); });
            if (again.unstable) {
                context.skip(unrepeatableReason(*again.unstable));
                return;
            }
            findings.fail("with a note on frame " + std::to_string(kBase + offset) +
                          " the output changes " +
                          describeDifference(baseline, audio, *onset, "no note", "the note") +
                          ", before the note");
        }
        if (firstOnset < 0) firstOnset = *onset - offset;
        onsets += (onsets.empty() ? "" : ", ") + std::to_string(*onset);
        if (*onset - offset != firstOnset) {
            findings.fail("in 64-frame blocks a note on frame " + std::to_string(kBase + offset) +
                          " (offset " + std::to_string(offset) +
                          ") first changes the output on frame " + std::to_string(*onset) +
                          ", expected " + std::to_string(firstOnset + offset) +
                          " as the note on frame " + std::to_string(kBase) + " does on " +
                          std::to_string(firstOnset));
        }
    }
    findings.report(context,
                    "onsets move with the offset within a 64-frame block (first changed frames " +
                        onsets + "; latency " + std::to_string(firstOnset - kBase) + " frames)");
}

void checkEventsInOneBlock(CheckContext& context) {
    if (!context.facts().takesNotes()) {
        context.skip("an effect: it is not played with notes");
        return;
    }
    const Phrase phrase = eventsInOneBlockPhrase();
    const std::string events =
        "note-ons on frames 0 and 184, a release and a note-on on 512, a note-on on 1023, three "
        "note-ons on 1100, releases on 1300, 1535 (two) and 2047 (three), bend and controller "
        "on 1600 to 1800";
    const Audio reference = renderFresh(context, phrase, 1);
    if (inaudible(reference)) {
        context.skip(inaudibleReason(reference));
        return;
    }
    std::string differing;
    Verdict differingVerdict = Verdict::kWarn;
    bool checkedRepeatable = false;
    for (int blockSize : {512, 4096}) {
        const Audio audio = renderFresh(context, phrase, blockSize);
        const auto at = firstDifference(reference, audio);
        if (!at) continue;
        if (!checkedRepeatable) {
            checkedRepeatable = true;
            if (const auto unstable = firstDifference(reference, renderFresh(context, phrase, 1))) {
                context.skip(unrepeatableReason(*unstable));
                return;
            }
        }
        differingVerdict = worse(differingVerdict, differenceVerdict(reference, audio));
        appendProblem(differing, blockName(blockSize) + " differ from 1-frame blocks " +
                                     describeDifference(reference, audio, *at, blockName(1),
                                                        blockName(blockSize)));
    }
    Findings findings;
    if (!differing.empty()) {
        findings.add(differingVerdict, "the same events in " + differing + "; events: " + events);
    }
    const SampleCensus census = takeCensus(reference);
    if (census.nan + census.infinite > 0) findings.fail(describeCensus(census));
    findings.report(context, events +
                                 ": 512- and 4096-frame blocks give the same samples as 1-frame "
                                 "blocks");
}

void checkEdgeEvents(CheckContext& context) {
    if (!context.facts().takesNotes()) {
        context.skip("an effect: it is not played with notes");
        return;
    }
    Findings findings;
    std::string notes;
    const Phrase quiet = silentPhrase(20000);
    Phrase held = quiet;
    held.noteOn(100, 60);
    const Audio heldAudio = renderFresh(context, held);
    if (inaudible(heldAudio)) {
        context.skip(inaudibleReason(heldAudio));
        return;
    }
    const Audio baseline = renderFresh(context, quiet);
    Phrase offAlone = quiet;
    offAlone.noteOff(300, 60).add(600, 0x90, 61, 0);
    const Audio offAloneAudio = renderFresh(context, offAlone);
    const Comparison offs =
        compareRenders(baseline, offAloneAudio, [&] { return renderFresh(context, quiet); });
    if (offs.unstable) {
        context.skip(unrepeatableReason(*offs.unstable));
        return;
    }
    if (offs.at) {
        findings.add(
            differenceVerdict(baseline, offAloneAudio),
            "a note-off of 60 on frame 300 and a velocity-0 note-on of 61 on frame 600, "
            "with no note sounding, change the output " +
                describeDifference(baseline, offAloneAudio, *offs.at, "no events", "the releases"));
    }

    Phrase released = held;
    released.noteOff(5000, 60);
    Phrase zeroVelocity = held;
    zeroVelocity.add(5000, 0x90, 60, 0);
    const Audio releasedAudio = renderFresh(context, released);
    const Audio zeroAudio = renderFresh(context, zeroVelocity);
    if (const auto at = firstDifference(releasedAudio, zeroAudio)) {
        findings.add(differenceVerdict(releasedAudio, zeroAudio),
                     "note 60 on frame 100 released on frame 5000 by a velocity-0 note-on "
                     "sounds different from a note-off there " +
                         describeDifference(releasedAudio, zeroAudio, *at, "note-off",
                                            "velocity-0 note-on"));
    }
    if (!firstDifference(heldAudio, releasedAudio)) notes = " (the plug-in ignores note-offs)";
    for (const Audio* audio : {&offAloneAudio, &releasedAudio, &zeroAudio}) {
        const SampleCensus census = takeCensus(*audio);
        if (census.nan + census.infinite > 0) {
            findings.fail(describeCensus(census));
            break;
        }
    }
    findings.report(context,
                    "note-offs without a note-on change nothing; a velocity-0 note-on releases "
                    "as a note-off does" +
                        notes);
}

namespace {

// 600 random events (notes on 16 channels, controllers, bends, pressure) spread evenly over
// the first `spread` frames, then a release of every held note on the last of them.
Phrase floodPhrase(std::int64_t spread) {
    constexpr int kRandomEvents = 600;
    Lcg random(20240607u);
    Phrase phrase;
    std::set<std::pair<int, int>> held;  // channel, note
    for (int i = 0; i < kRandomEvents; ++i) {
        const std::int64_t frame = static_cast<std::int64_t>(i) * (spread - 1) / kRandomEvents;
        const int channel = static_cast<int>(random.below(16));
        const std::uint32_t kind = random.below(10);
        if (kind < 4) {
            const int note = 36 + static_cast<int>(random.below(61));
            // A second note-on of a held key would need two releases in plug-ins that stack
            // voices per key, and only one is sent.
            if (held.count({channel, note}) != 0) continue;
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
            // Controllers other than the pedals that hold notes (64 to 69) and the channel-mode
            // ones (120 to 127).
            int controller = static_cast<int>(random.below(114));
            if (controller >= 64 && controller <= 69) controller -= 60;
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
    // Every note still held is released on the last frame, as a host does at stop.
    for (const auto& [channel, note] : held) {
        phrase.add(spread - 1, static_cast<unsigned char>(0x80 | channel),
                   static_cast<unsigned char>(note), 0);
    }
    phrase.frames = spread + static_cast<std::int64_t>(kFloodDecaySeconds * kStandardRate);
    return phrase;
}

// Plays a flood on a fresh instance in 512-frame blocks; "" or what went wrong.
std::string playFlood(CheckContext& context, const Phrase& phrase, std::int64_t spread,
                      std::string& outcome) {
    auto instance = startedInstance(context);
    RenderSettings settings;
    settings.blockSize = kStandardBlock;
    // Effects get their input only while the flood lasts, so that what follows is their own
    // tail; judging that tail is effect-tail's part.
    settings.inputFrames = spread;
    const Audio audio = renderPhrase(*instance, phrase, settings).audio;
    instance->suspend();
    instance.reset();
    const SampleCensus census = takeCensus(audio);
    if (census.nan + census.infinite > 0) return describeCensus(census);
    if (!context.facts().takesNotes()) {
        outcome = "finite output (an effect: its tail is judged by effect-tail)";
        return "";
    }
    const Decay decay = judgeDecay(audio, spread, kStandardRate);
    outcome = decay.describe(kStandardRate, spread, "the last release");
    return decay.silent || decay.decaying ? "" : outcome;
}

}  // namespace

void checkEventFlood(CheckContext& context) {
    // A dense but possible stream: 600 events over eight 512-frame blocks, about 75 per list
    // (6500 events a second, what a busy sequencer sends, far above one MIDI cable's 1000).
    constexpr std::int64_t kDenseSpread = 8 * kStandardBlock;
    const Phrase dense = floodPhrase(kDenseSpread);
    std::string outcome;
    Findings findings;
    const std::string denseEvents =
        std::to_string(dense.events.size()) +
        " events (notes on 16 channels, controllers, bends, pressure) over eight 512-frame "
        "blocks, about 75 per list, every held note released on frame " +
        std::to_string(kDenseSpread - 1);
    const std::string problem = playFlood(context, dense, kDenseSpread, outcome);
    if (!problem.empty()) findings.fail(problem + "; " + denseEvents);

    // The same in one list: beyond any stream hosts send, so only a warning.
    const Phrase crowded = floodPhrase(kStandardBlock);
    const std::string crowdedEvents = std::to_string(crowded.events.size()) +
                                      " events in one 512-frame list, every held note released "
                                      "on its last frame";
    const std::string crowdedProblem = crashOfForked([&] {
        std::string ignored;
        const std::string found = playFlood(context, crowded, kStandardBlock, ignored);
        if (!found.empty()) throw ValidationError(found);
    });
    if (!crowdedProblem.empty()) findings.warn(crowdedEvents + ": " + crowdedProblem);
    findings.report(context, denseEvents + ": " + outcome + "; " + crowdedEvents + ": the same");
}

void checkProcessReplacing(CheckContext& context) {
    if (!context.facts().replacing) {
        context.skip("the plug-in offers no processReplacing");
        return;
    }
    const Phrase phrase = standardPhrase();
    const Audio reference = renderFresh(context, phrase);
    FreshRender how;
    how.settings.prefillGarbage = true;
    const Audio audio = renderFresh(context, phrase, how);
    const Comparison comparison =
        compareRenders(reference, audio, [&] { return renderFresh(context, phrase); });
    if (comparison.unstable) {
        context.skip(unrepeatableReason(*comparison.unstable));
        return;
    }
    if (!comparison.at) {
        context.pass(
            "output buffers holding other values before each call give the same "
            "output as zeroed ones (every sample overwritten)");
        return;
    }
    const std::int64_t at = *comparison.at;
    const std::size_t i = static_cast<std::size_t>(at);
    std::string left;
    for (std::size_t channel = 0; channel < audio.size(); ++channel) {
        if (audio[channel][i] == garbageAt(channel, at)) {
            left = " (channel " + std::to_string(channel) +
                   " still holds the value the buffer held before the call)";
            break;
        }
    }
    context.report(
        left.empty() ? differenceVerdict(reference, audio) : Verdict::kFail,
        "output buffers filled with other values before each processReplacing call "
        "(512-frame blocks) give other output than zeroed ones " +
            describeDifference(reference, audio, at, "zeroed buffers", "prefilled buffers") + left);
}

void checkProcessAccumulating(CheckContext& context) {
    const PluginFacts& facts = context.facts();
    if (!facts.accumulating) {
        context.skip("the plug-in offers no process entry");
        return;
    }
    const Phrase phrase = standardPhrase();
    // The reference: replacing processing into zeroed buffers, or accumulating processing
    // into zeroed buffers for a plug-in that offers nothing else.
    const Audio reference = renderFresh(context, phrase);
    FreshRender how;
    how.settings.prefillGarbage = true;
    how.settings.call = ProcessCall::kAccumulating;
    const Audio audio = renderFresh(context, phrase, how);
    // Accumulating adds to what the buffer holds: prefilled value + the output, in float.
    Audio expected = reference;
    for (std::size_t channel = 0; channel < expected.size(); ++channel) {
        for (std::size_t i = 0; i < expected[channel].size(); ++i) {
            expected[channel][i] =
                garbageAt(channel, static_cast<std::int64_t>(i)) + reference[channel][i];
        }
    }
    const auto at = firstDifference(expected, audio);
    if (!at) {
        context.pass("process adds its output to the buffers' contents");
        return;
    }
    if (const auto unstable = firstDifference(reference, renderFresh(context, phrase))) {
        context.skip(unrepeatableReason(*unstable));
        return;
    }
    const std::size_t i = static_cast<std::size_t>(*at);
    std::size_t channel = 0;
    while (channel + 1 < audio.size() && audio[channel][i] == expected[channel][i]) ++channel;
    char text[300];
    std::snprintf(text, sizeof text,
                  "the accumulating process into prefilled buffers: frame %lld channel %zu holds "
                  "%.9g, expected %.9g + %.9g (prefilled + the output into zeroed buffers)",
                  static_cast<long long>(*at), channel, static_cast<double>(audio[channel][i]),
                  static_cast<double>(garbageAt(channel, *at)),
                  static_cast<double>(reference[channel][i]));
    if (facts.replacing) {
        context.report(
            Verdict::kWarn,
            std::string(text) + "; hosts call processReplacing on this plug-in, never process");
    } else {
        context.fail(std::string(text) + "; process is this plug-in's only processing call");
    }
}

}  // namespace corvalen::validate
