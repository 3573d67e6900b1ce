// The modulated path against its formulas evaluated in full on every sample: the modulator's
// sin(phase) * vibratoGain plus the smoothed held noise, and the instrument's nut-side delay
// m * (loopDelay * depth) + (1 - bowPosition) * loopDelay. The units skip work whose result
// cannot reach the output; these cases are the ones where it could: zeros of either sign,
// phases that overflow or are NaN, gains other than 0, and the shared generator's draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "dsp/bowed_string.h"
#include "dsp/delay_linear.h"
#include "dsp/noise.h"
#include "dsp/slow_modulator.h"
#include "tests/support/float_bits.h"

using velquistdsp::randomState;
using velquistdsp::tbowedstring;
using velquistdsp::tdlinel;
using velquistdsp::tslowmodul;

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The modulator's formula, sine included on every call, drawing its noise from a copy of the
// generator's sequence (state * 134775813 + 1, value (state >> 17) - 16384 over 32768).
struct ModulatorFormula {
    explicit ModulatorFormula(const tslowmodul& unit)
        : phase(unit.phase),
          phaseStep(unit.phaseStep),
          vibratoGain(unit.vibratoGain),
          counter(unit.randomSource.counter),
          holdLength(unit.randomSource.holdLength),
          held(unit.randomSource.lastSample),
          filterGain(unit.randomFilter.gain),
          b0(unit.randomFilter.numerator[0]),
          a1(unit.randomFilter.denominator[1]),
          smoothed(unit.randomFilter.outputs[1]),
          generator(randomState()) {}

    float next() {
        const float sine = static_cast<float>(std::sin(static_cast<double>(phase))) * vibratoGain;
        phase = phase + phaseStep;
        if (counter == 1) {
            generator = generator * 134775813u + 1u;
            held = static_cast<float>(static_cast<int32_t>(generator >> 17) - 16384) / 32768.0f;
            counter = holdLength;
        } else {
            counter = counter - 1;
        }
        const float input = filterGain * held;
        smoothed = b0 * input - a1 * smoothed;
        return smoothed + sine;
    }

    float phase, phaseStep, vibratoGain;
    int32_t counter, holdLength;
    float held, filterGain, b0, a1, smoothed;
    uint32_t generator;
};

// Runs the unit and the formula side by side; every output, and the generator at the end, must
// match bit for bit.
void expectSameAsFormula(tslowmodul& unit, int calls, const char* what) {
    ModulatorFormula formula(unit);
    for (int call = 0; call < calls; ++call) {
        const float expected = formula.next();
        ASSERT_SAME_FLOAT(expected, unit.computeSample()) << what << ", call " << call;
    }
    EXPECT_EQ(formula.generator, randomState()) << what;
}

}  // namespace

TEST(ModulationShortcut, ModulatorMatchesItsFormulaWithAnyGainsAndPhases) {
    struct Case {
        const char* what;
        float vibratoGain, randomGain, rate, startPhase;
    };
    const Case cases[] = {
        {"default gains", 0.04f, 0.005f, 6.0f, 0.0f},
        {"vibrato only, far phase", 0.3f, 0.0f, 11.9f, 1.0e6f},
        {"noise only", 0.0f, 0.02f, 6.12723f, 0.0f},
        {"negative zero vibrato gain", -0.0f, 0.01f, 3.0f, 0.0f},
        {"the instrument's gains", 0.0f, 0.0f, 6.12723f, 0.0f},
        {"zero gains, negative rate", 0.0f, 0.0f, -7.0f, 0.0f},
        {"NaN vibrato gain", kNaN, 0.0f, 6.0f, 0.0f},
        {"infinite vibrato gain", kInfinity, 0.0f, 6.0f, 0.0f},
        {"NaN random gain", 0.0f, kNaN, 6.0f, 0.0f},
        // The phase overflows to +inf or -inf within a few calls, where sin gives NaN.
        {"phase overflowing up", 0.0f, 0.0f, 3.0e38f, 3.0e38f},
        {"phase overflowing down", 0.0f, 0.0f, -3.0e38f, -3.0e38f},
        {"infinite rate", 0.0f, 0.0f, kInfinity, 0.0f},
        {"NaN phase", 0.0f, 0.0f, 6.0f, kNaN},
    };
    for (const Case& c : cases) {
        tslowmodul unit;
        unit.setVibratoGain(c.vibratoGain);
        unit.setRandomGain(c.randomGain);
        unit.setVibratoRate(c.rate);
        unit.phase = c.startPhase;
        // Past two draws of the held noise.
        expectSameAsFormula(unit, 1000, c.what);
    }
}

TEST(ModulationShortcut, ZeroGainKeepsTheSineSignWhereTheSmoothedNoiseIsNegativeZero) {
    // A smoothed value of -0 (a decayed negative value flushed to zero, fed a negative held
    // value through a zero gain) keeps the sign of the zero sine product: -0 + -0 is -0, while
    // -0 + +0 is +0. Phases on either side of pi give both.
    for (const float phase : {1.0f, 4.0f, -1.0f, -4.0f, 0.0f, -0.0f}) {
        tslowmodul unit;
        unit.setVibratoGain(0.0f);
        unit.setRandomGain(0.0f);
        unit.setVibratoRate(0.0f);
        unit.phase = phase;
        unit.randomFilter.outputs[1] = -0.0f;
        unit.randomSource.lastSample = -0.25f;
        ModulatorFormula formula(unit);
        const float expected = formula.next();
        EXPECT_SAME_FLOAT(expected, unit.computeSample()) << "phase " << phase;
        EXPECT_EQ(std::signbit(std::sin(static_cast<double>(phase))), std::signbit(expected))
            << "phase " << phase;
    }
}

// callsAtRest promises calls that return +0 and draw nothing; advanceAtRest then stands in for
// each of them, as long as a real call follows. The states are the instrument's own and the
// ones next to it where the promise would break: zeros of the other sign in the filter, a
// non-zero gain, a pole whose feedback flips the zero's sign, a draw due, a phase that is about
// to overflow.
TEST(ModulationShortcut, CallsAtRestReturnPositiveZeroWithoutDrawing) {
    struct Case {
        const char* what;
        float vibratoGain, randomGain, pole, history, held, phase, rate;
        int32_t counter;
        bool expectAtRest;  // the instrument's kind of state, where skipping must happen
    };
    const Case cases[] = {
        {"the instrument's state", 0.0f, 0.0f, 0.999f, 0.0f, 0.25f, 1.0f, 6.12723f, 329, true},
        {"negative held value", 0.0f, 0.0f, 0.999f, 0.0f, -0.25f, 1.0f, 6.12723f, 329, true},
        {"negative zero gains", -0.0f, -0.0f, 0.999f, 0.0f, -0.25f, 1.0f, 6.0f, 100, true},
        {"draw due next call", 0.0f, 0.0f, 0.999f, 0.0f, 0.25f, 1.0f, 6.0f, 1, false},
        {"draw due in two calls", 0.0f, 0.0f, 0.999f, 0.0f, 0.25f, 1.0f, 6.0f, 2, true},
        {"history -0", 0.0f, 0.0f, 0.999f, -0.0f, -0.25f, 1.0f, 6.0f, 300, false},
        // The first call turns the history to +0, and with this pole the next gives -0.
        {"history -0, negative pole", 0.0f, 0.0f, -0.5f, -0.0f, -0.25f, 1.0f, 6.0f, 300, false},
        {"history tiny", 0.0f, 0.0f, 0.999f, 1e-30f, 0.25f, 1.0f, 6.0f, 300, false},
        {"negative pole", 0.0f, 0.0f, -0.5f, 0.0f, -0.25f, 1.0f, 6.0f, 300, false},
        {"random gain", 0.0f, 1e-30f, 0.999f, 0.0f, 0.25f, 1.0f, 6.0f, 300, false},
        {"vibrato gain", 1e-30f, 0.0f, 0.999f, 0.0f, 0.25f, 1.0f, 6.0f, 300, false},
        {"phase near overflow", 0.0f, 0.0f, 0.999f, 0.0f, 0.25f, 3.0e38f, 3.0e38f, 300, false},
        {"infinite phase", 0.0f, 0.0f, 0.999f, 0.0f, 0.25f, kInfinity, 6.0f, 300, false},
        {"NaN rate", 0.0f, 0.0f, 0.999f, 0.0f, 0.25f, 1.0f, kNaN, 300, false},
    };
    for (const Case& c : cases) {
        for (const int32_t limit : {0, 1, 7, 1000}) {
            tslowmodul skipping;
            tslowmodul calling;
            for (tslowmodul* unit : {&skipping, &calling}) {
                unit->setVibratoGain(c.vibratoGain);
                unit->setRandomGain(c.randomGain);
                unit->randomFilter.setPole(c.pole);
                unit->randomFilter.outputs[0] = c.history;
                unit->randomFilter.outputs[1] = c.history;
                unit->randomSource.lastSample = c.held;
                unit->randomSource.counter = c.counter;
                unit->phase = c.phase;
                unit->setVibratoRate(c.rate);
            }
            const int32_t calls = skipping.callsAtRest(limit);
            ASSERT_GE(calls, 0) << c.what;
            ASSERT_LE(calls, limit) << c.what;
            if (c.expectAtRest && limit > 0) {
                EXPECT_GT(calls, 0) << c.what << ", limit " << limit;
            }
            const uint32_t generator = randomState();
            for (int32_t call = 0; call < calls; ++call) {
                ASSERT_SAME_FLOAT(0.0f, calling.computeSample()) << c.what << ", call " << call;
                skipping.advanceAtRest();
            }
            ASSERT_EQ(generator, randomState()) << c.what << ": a skipped call drew";
            EXPECT_SAME_FLOAT(calling.phase, skipping.phase) << c.what;
            EXPECT_EQ(calling.randomSource.counter, skipping.randomSource.counter) << c.what;
            // The real call that follows leaves both in the same state, unless it draws (the two
            // units would draw different values from the one generator).
            if (calling.randomSource.counter == 1) continue;
            EXPECT_SAME_FLOAT(calling.computeSample(), skipping.computeSample()) << c.what;
            EXPECT_SAME_FLOAT(calling.randomFilter.inputs[0], skipping.randomFilter.inputs[0]);
            EXPECT_SAME_FLOAT(calling.randomFilter.outputs[0], skipping.randomFilter.outputs[0]);
            EXPECT_SAME_FLOAT(calling.randomFilter.outputs[1], skipping.randomFilter.outputs[1]);
        }
    }
}

namespace {

// The instrument, with step 9 done by hand from the full formula after the rest of the step.
// The nut-side delay only acts on the next sample, so this is the same order as the unit's.
float referenceStep(tbowedstring& string) {
    const float output = string.step<false>();
    if (string.modulationDepth > 0.0f) {
        const double modulation = string.modulator.computeSample();
        string.nutLine.setDelay(static_cast<float>(
            modulation * (static_cast<double>(string.loopDelay) * string.modulationDepth) +
            (1.0 - static_cast<double>(string.bowPosition)) *
                static_cast<double>(string.loopDelay)));
    }
    return output;
}

}  // namespace

// The instrument's computeSample, and its render() in stretches of many lengths, against the
// formula: the same samples, and the same state after each stretch.
TEST(ModulationShortcut, InstrumentSetsTheNutDelayAsTheFormulaDoes) {
    tbowedstring string(20.0f);
    tbowedstring reference(20.0f);
    tbowedstring rendered(20.0f);
    int sample = 0;
    auto both = [&](auto&& change) {
        change(string);
        change(reference);
        change(rendered);
    };
    // Each segment starts with its longest stretch, where state left over from before the
    // change would be carried furthest.
    const int32_t stretches[] = {1000, 1, 7, 8, 64, 329, 330};
    std::vector<float> expected;
    auto play = [&](int samples, const char* what) {
        expected.clear();
        for (int i = 0; i < samples; ++i, ++sample) {
            expected.push_back(referenceStep(reference));
            ASSERT_SAME_FLOAT(expected.back(), string.computeSample())
                << what << ", sample " << sample;
            ASSERT_SAME_FLOAT(reference.nutLine.delay, string.nutLine.delay) << what;
            ASSERT_EQ(reference.nutLine.readIndex, string.nutLine.readIndex) << what;
            ASSERT_SAME_FLOAT(reference.nutLine.fraction, string.nutLine.fraction) << what;
        }
        int32_t done = 0;
        for (size_t stretch = 0; done < samples; ++stretch) {
            const int32_t count = std::min(stretches[stretch % 7], samples - done);
            int32_t at = done;
            rendered.render(count, [&](float value) {
                ASSERT_SAME_FLOAT(expected[at], value) << what << ", rendered sample " << at;
                ++at;
            });
            ASSERT_EQ(done + count, at) << what;
            done = at;
        }
        // The held noise and the filter input differ: each instrument draws its own values from
        // the one generator, and with the instrument's random gain of 0 they are not heard.
        ASSERT_EQ(string.nutLine.readIndex, rendered.nutLine.readIndex) << what;
        ASSERT_EQ(string.nutLine.runFirstWrite, rendered.nutLine.runFirstWrite) << what;
        ASSERT_SAME_FLOAT(string.nutLine.fraction, rendered.nutLine.fraction) << what;
        ASSERT_SAME_FLOAT(string.modulator.phase, rendered.modulator.phase) << what;
        ASSERT_EQ(string.modulator.randomSource.counter, rendered.modulator.randomSource.counter);
        ASSERT_SAME_FLOAT(string.modulator.computeSample(), rendered.modulator.computeSample());
        ASSERT_SAME_FLOAT(string.modulator.randomFilter.outputs[1],
                          rendered.modulator.randomFilter.outputs[1])
            << what;
    };
    both([](tbowedstring& s) { s.noteOff(0.0f); });
    // Before the first note the loop delay is 0; a bow position above 1 makes the unmodulated
    // delay (1 - position) * 0 = -0, and +0 * scale + -0 is +0.
    both([](tbowedstring& s) { s.controlChange(1, 3.0f); });
    both([](tbowedstring& s) { s.controlChange(0, 1270.0f); });
    play(300, "bow position above 1, no note");
    // An infinite depth times the loop delay of 0 is NaN, and so is the request.
    both([](tbowedstring& s) { s.controlChange(1, kInfinity); });
    play(100, "infinite depth, no note");
    both([](tbowedstring& s) { s.controlChange(1, 3.0f); });
    play(100, "finite depth again");
    both([](tbowedstring& s) { s.controlChange(0, 64.0f); });
    both([](tbowedstring& s) { s.noteOn(441.0f, 1.0f); });
    play(3000, "sustained, modulated");
    both([](tbowedstring& s) { s.controlChange(0, 100.0f); });
    play(1000, "bow moved");
    both([](tbowedstring& s) { s.controlChange(1, 0.0f); });
    play(500, "modulation off");
    both([](tbowedstring& s) { s.controlChange(1, 32.0f); });
    both([](tbowedstring& s) { s.noteOn(293.66476f, 0.5f); });
    play(2000, "new note, deeper");
    // The request at rest becomes NaN while the nut line still holds a run for a finite one.
    both([](tbowedstring& s) { s.controlChange(1, kInfinity); });
    play(300, "infinite depth while sounding");
    both([](tbowedstring& s) { s.controlChange(1, 32.0f); });
    both([](tbowedstring& s) { s.controlChange(0, -500.0f); });
    play(500, "bow position below 0");
    // An infinite loop delay: the scale loopDelay * depth is infinite and +0 times it is NaN,
    // which the line clamps to its longest delay.
    both([](tbowedstring& s) { s.setFrequency(0.0f); });
    play(300, "infinite loop delay");
    both([](tbowedstring& s) { s.setFrequency(330.0f); });
    // The modulator's phase overflows: from then on it gives NaN and the delay is clamped.
    both([](tbowedstring& s) { s.controlChange(11, 3.0e38f); });
    play(2000, "modulator phase overflowing");
    // A vibrato gain other than the instrument's own. (The random gain stays 0: the two
    // instruments draw different values from the one shared generator.)
    both([](tbowedstring& s) {
        s.modulator.phase = 0.0f;
        s.modulator.setVibratoRate(6.0f);
        s.modulator.setVibratoGain(0.5f);
    });
    play(2000, "modulator with a vibrato gain");
}

namespace {

// Where a line's read position lies for a request and a write index, derived from scratch:
// w - d rounded once to single, wrapped into the ring, a position of exactly length being slot 0.
struct Placement {
    int32_t readIndex;
    float fraction;
    float delay;
};

Placement placeFromScratch(int32_t length, int32_t writeIndex, float request) {
    float position;
    float delay;
    if (!(request <= static_cast<float>(length - 1))) {
        position = static_cast<float>(writeIndex + 1 == length ? 0 : writeIndex + 1);
        delay = static_cast<float>(length - 1);
    } else {
        delay = request < 0.0f ? 0.0f : request;
        position = static_cast<float>(static_cast<double>(writeIndex) - static_cast<double>(delay));
    }
    if (position < 0.0f) position += static_cast<float>(length);
    int32_t read = static_cast<int32_t>(position);
    if (read >= length) {
        read -= length;
        position -= static_cast<float>(length);
    }
    return {read, position - static_cast<float>(read), delay};
}

}  // namespace

// A line given the same request again reuses its last placement shifted by whole slots while
// that is provably what a fresh derivation gives. Each request is repeated after every step for
// more than two trips round the ring, so the write index crosses every binade of w - d and
// w - d + length and wraps twice; requests also come back after a different one and after runs
// of steps without a request, which land the write index before, inside and past a noted run.
TEST(ModulationShortcut, RepeatedDelayRequestPlacesTheReadPositionAsAFreshDerivation) {
    uint32_t state = 12345u;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    for (const int32_t maximumDelay : {6, 63, 2205, 70000}) {
        tdlinel line(0, maximumDelay);
        const int32_t length = line.length;
        const float longest = static_cast<float>(length - 1);
        std::vector<float> requests = {
            0.0f,           -0.0f,           -3.0f,   0.3f,
            0.5f,           1.0f + 0x1p-23f, 3.5f,    1e-40f,
            0x1p-149f,      1e-8f,           longest, std::nextafter(longest, 0.0f),
            longest - 0.7f, longest + 5.0f,  kNaN,    kInfinity,
            -kInfinity};
        for (int i = 0; i < 12; ++i) {
            // Any float in [0, length - 1], fine fractions included.
            const float unit = static_cast<float>(next() >> 8) * 0x1p-24f;
            requests.push_back(unit * longest);
        }
        const int32_t trips = length > 3000 ? 1 : 2;
        for (const float request : requests) {
            auto check = [&](const char* what, int step) {
                const Placement expected = placeFromScratch(length, line.writeIndex, request);
                ASSERT_EQ(expected.readIndex, line.readIndex)
                    << what << ", length " << length << ", request " << request << ", step " << step
                    << ", write index " << line.writeIndex;
                ASSERT_SAME_FLOAT(expected.fraction, line.fraction) << what << ", " << request;
                ASSERT_SAME_FLOAT(1.0f - expected.fraction, line.oneMinusFraction) << request;
                ASSERT_SAME_FLOAT(expected.delay, line.delay) << what << ", " << request;
            };
            line.setDelay(request);
            check("first request", 0);
            for (int step = 1; step <= trips * length + 3; ++step) {
                line.computeSample(0.25f);
                line.setDelay(request);
                check("repeated every step", step);
            }
            // Another request in between, then the same again.
            line.setDelay(request * 0.5f + 1.0f);
            line.computeSample(0.5f);
            line.setDelay(request);
            check("after another request", 0);
            // Steps without requests, then the same request, then the steps a caller may
            // place without asking (repeatsInRun): each must sit where a request would put it.
            for (int gap = 0; gap < 40; ++gap) {
                const uint32_t steps = next() % static_cast<uint32_t>(2 * length);
                for (uint32_t i = 0; i < steps; ++i) line.computeSample(0.0f);
                line.setDelay(request);
                check("after a gap", static_cast<int>(steps));
                const int32_t repeats = line.repeatsInRun(request, 1 << 30);
                for (int32_t i = 1; i <= repeats; ++i) {
                    line.computeSample(0.125f);
                    line.repeatDelayInRun();
                    check("repeat in run", i);
                }
            }
        }
    }
}
