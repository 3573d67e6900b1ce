// Checks of what a host may send that a plug-in does not expect: bad parameter values,
// programs out of range, long program names, and the texts it writes for parameters.
#include <cmath>
#include <cstring>
#include <limits>

#include "tools/validate/checks.h"

namespace corvalen::validate {
namespace {

constexpr int kParameterInterval = 32;  // frames between two parameter changes
constexpr std::size_t kProgramNameBytes = 24;
constexpr std::size_t kParameterTextBytes = 64;
constexpr std::size_t kShortParameterText = 8;

// Values a careless or hostile host may send, besides plain ones in 0..1.
float fuzzValue(Lcg& random) {
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
    GuardedText buffer(kProgramNameBytes);
    instance.dispatch(effGetProgramName, 0, 0, buffer.data());
    if (!buffer.guardsIntact()) {
        appendProblem(problems, "effGetProgramName wrote " + std::to_string(buffer.overrun()) +
                                    " bytes past a 24-byte buffer");
    } else if (!buffer.terminated()) {
        appendProblem(problems, "effGetProgramName left a 24-byte buffer unterminated");
    }
    return buffer.text();
}

}  // namespace

void checkParameterFuzz(CheckContext& context) {
    auto instance = startedInstance(context, kStandardRate, kParameterInterval);
    const VstInt32 count = instance->numParams();
    if (count == 0) {
        context.skip("parameter-fuzz", "the plug-in has no parameters");
        return;
    }
    std::vector<float> initial;
    for (VstInt32 i = 0; i < count; ++i) initial.push_back(instance->getParameter(i));

    Lcg random(77u);
    int changes = 0;
    RenderSettings settings;
    settings.blockSize = kParameterInterval;
    settings.beforeBlock = [&](std::int64_t) {
        instance->setParameter(
            static_cast<VstInt32>(random.below(static_cast<std::uint32_t>(count))),
            fuzzValue(random));
        ++changes;
    };
    const Phrase fuzzed = heldNote(2 * static_cast<std::int64_t>(kStandardRate));
    const Audio during = renderPhrase(*instance, fuzzed, settings).audio;

    // Restore, let the old note go, then play a new one.
    for (VstInt32 i = 0; i < count; ++i) instance->setParameter(i, initial[i]);
    settings.beforeBlock = nullptr;
    Phrase release;
    release.noteOff(0, 60);
    release.frames = static_cast<std::int64_t>(kStandardRate);
    renderPhrase(*instance, release, settings);
    const Audio after =
        renderPhrase(*instance, heldNote(static_cast<std::int64_t>(kStandardRate), 64), settings)
            .audio;
    instance->suspend();

    std::string problems;
    const SampleCensus duringCensus = takeCensus(during);
    if (duringCensus.nan + duringCensus.infinite > 0) {
        appendProblem(problems, "while changing parameters: " + describeCensus(duringCensus));
    }
    const SampleCensus afterCensus = takeCensus(after);
    const float peakAfter = peakBetween(after, 0, frameCount(after));
    if (afterCensus.nan + afterCensus.infinite > 0) {
        appendProblem(problems, "after restoring the parameters: " + describeCensus(afterCensus));
    } else if (peakAfter < decibelsToAmplitude(kAudibleDbfs)) {
        appendProblem(problems, "after restoring the parameters a new " +
                                    std::string(instance->isSynth() ? "note" : "input") +
                                    " stays silent (peak " + formatDb(peakAfter) + ")");
    }
    std::string restoredWrong;
    for (VstInt32 i = 0; i < count; ++i) {
        const float value = instance->getParameter(i);
        if (std::memcmp(&value, &initial[static_cast<std::size_t>(i)], sizeof value) != 0) {
            restoredWrong += (restoredWrong.empty() ? "" : ", ") + std::to_string(i);
        }
    }
    std::string detail = std::to_string(changes) +
                         " changes (0, 1, out of range, NaN, infinities) every " +
                         std::to_string(kParameterInterval) +
                         " frames: output finite; afterwards peak " + formatDb(peakAfter);
    if (!restoredWrong.empty())
        detail += " (parameters " + restoredWrong + " read back other values than set)";
    context.verdict(problems.empty(), "parameter-fuzz", problems.empty() ? detail : problems);
}

void checkPrograms(CheckContext& context) {
    PluginInstance instance(context.library());
    instance.open();
    const VstInt32 count = instance.numPrograms();
    if (count == 0) {
        context.skip("programs", "the plug-in has no programs");
        context.skip("program-name-overflow", "the plug-in has no programs");
        return;
    }
    std::string problems;
    int indexedAnswers = 0;
    for (VstInt32 program = 0; program < count; ++program) {
        instance.dispatch(effSetProgram, 0, program);
        const VstIntPtr current = instance.dispatch(effGetProgram);
        if (current != program) {
            appendProblem(problems, "effSetProgram " + std::to_string(program) + " left program " +
                                        std::to_string(current));
        }
        const std::string name = readProgramName(instance, problems);
        GuardedText indexed(kProgramNameBytes);
        if (instance.dispatch(effGetProgramNameIndexed, program, 0, indexed.data()) == 1) {
            ++indexedAnswers;
            if (!indexed.guardsIntact() || !indexed.terminated()) {
                appendProblem(problems, "effGetProgramNameIndexed " + std::to_string(program) +
                                            " overran or left unterminated a 24-byte buffer");
            } else if (indexed.text() != name) {
                appendProblem(problems, "program " + std::to_string(program) + " is \"" + name +
                                            "\" but effGetProgramNameIndexed says \"" +
                                            indexed.text() + "\"");
            }
        }
        for (VstInt32 i = 0; i < instance.numParams(); ++i) {
            if (!std::isfinite(instance.getParameter(i))) {
                appendProblem(problems, "program " + std::to_string(program) + ": parameter " +
                                            std::to_string(i) + " is not finite");
                break;
            }
        }
        if (problems.size() > 400) break;
    }
    // Numbers out of range must leave a valid program selected.
    instance.dispatch(effSetProgram, 0, 0);
    for (VstIntPtr wrong : {static_cast<VstIntPtr>(count), static_cast<VstIntPtr>(-1),
                            static_cast<VstIntPtr>(1000000)}) {
        instance.dispatch(effSetProgram, 0, wrong);
        const VstIntPtr current = instance.dispatch(effGetProgram);
        if (current < 0 || current >= count) {
            appendProblem(problems, "effSetProgram " + std::to_string(wrong) +
                                        " selected program " + std::to_string(current));
        }
    }
    GuardedText beyond(kProgramNameBytes);
    instance.dispatch(effGetProgramNameIndexed, count, 0, beyond.data());
    if (!beyond.guardsIntact())
        appendProblem(problems, "effGetProgramNameIndexed past the last program overran");
    context.verdict(problems.empty(), "programs",
                    problems.empty() ? std::to_string(count) + " programs selected and named" +
                                           (indexedAnswers ? ", indexed names agree" : "") +
                                           ", numbers out of range ignored"
                                     : problems);

    // A 100-character name, longer than any buffer convention.
    instance.dispatch(effSetProgram, 0, 0);
    std::string longName;
    while (longName.size() < 100) longName += "Validator long name ";
    longName.resize(100);
    std::vector<char> sent(longName.begin(), longName.end());
    sent.push_back('\0');
    std::string overflow;
    instance.dispatch(effSetProgramName, 0, 0, sent.data());
    const std::string readBack = readProgramName(instance, overflow);
    GuardedText indexed(kProgramNameBytes);
    if (instance.dispatch(effGetProgramNameIndexed, 0, 0, indexed.data()) == 1 &&
        (!indexed.guardsIntact() || !indexed.terminated())) {
        appendProblem(overflow,
                      "effGetProgramNameIndexed overran a 24-byte buffer with the long name");
    }
    const bool kept = longName.compare(0, readBack.size(), readBack) == 0 && !readBack.empty();
    context.verdict(overflow.empty(), "program-name-overflow",
                    overflow.empty()
                        ? "100-character name read back into a guarded 24-byte buffer as \"" +
                              readBack + "\"" + (kept ? " (cut)" : " (refused)")
                        : overflow);
}

void checkParameterTexts(CheckContext& context) {
    PluginInstance instance(context.library());
    instance.open();
    const VstInt32 count = instance.numParams();
    std::string problems;
    int longTexts = 0;
    const struct {
        VstInt32 opcode;
        const char* what;
    } kTexts[] = {
        {effGetParamName, "name"}, {effGetParamLabel, "label"}, {effGetParamDisplay, "display"}};
    // Every parameter, one past the end and a negative index: none may write past the buffer.
    std::vector<VstInt32> indexes;
    for (VstInt32 i = 0; i < count; ++i) indexes.push_back(i);
    indexes.push_back(count);
    indexes.push_back(-1);
    for (VstInt32 index : indexes) {
        for (const auto& text : kTexts) {
            GuardedText buffer(kParameterTextBytes);
            instance.dispatch(text.opcode, index, 0, buffer.data());
            const bool real = index >= 0 && index < count;
            const std::string where =
                std::string(text.what) + " of parameter " + std::to_string(index);
            if (!buffer.guardsIntact()) {
                appendProblem(problems, where + " wrote " + std::to_string(buffer.overrun()) +
                                            " bytes past a 64-byte buffer");
            } else if (real && !buffer.terminated()) {
                appendProblem(problems, where + " is not terminated within 64 bytes");
            } else if (real && buffer.text().size() > kShortParameterText) {
                ++longTexts;
            }
        }
        // Out-of-range reads must answer without touching memory they do not own (which a
        // sanitizer build of the plug-in would catch).
        if (!std::isfinite(instance.getParameter(index)) && index >= 0 && index < count) {
            appendProblem(problems,
                          "parameter " + std::to_string(index) + " reads as a non-finite value");
        }
    }
    context.verdict(problems.empty(), "parameter-texts",
                    problems.empty()
                        ? std::to_string(count) + " parameters' names, labels and displays fit; " +
                              std::to_string(longTexts) +
                              " texts longer than the 8-character convention; indexes " +
                              std::to_string(count) + " and -1 safe"
                        : problems);
}

}  // namespace corvalen::validate

namespace corvalen::validate {

void checkHostOddities(CheckContext& context) {
    std::string problems;
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
    for (const auto& channel : storage) {
        for (float sample : channel) {
            if (sample != 0.75f) {
                appendProblem(problems, "a zero-frame processing call wrote into the buffers");
                break;
            }
        }
        if (!problems.empty()) break;
    }
    RenderSettings settings;
    const Audio after = renderPhrase(*instance, standardPhrase(), settings).audio;
    instance->suspend();
    instance.reset();
    const Audio fresh = renderFresh(context, standardPhrase());
    if (const auto at = firstDifference(after, fresh)) {
        appendProblem(problems,
                      "after zero-frame calls and unknown opcodes the phrase differs from frame " +
                          std::to_string(*at));
    }
    context.verdict(problems.empty(), "host-oddities",
                    problems.empty()
                        ? "unknown opcodes -1, 59, 60, 77, 1000, 2^31-1 answered (" +
                              (answers.empty() ? std::string("all 0") : "non-zero:" + answers) +
                              "); zero-frame blocks write nothing and change nothing"
                        : problems);
}

}  // namespace corvalen::validate
