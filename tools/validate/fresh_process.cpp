#include "tools/validate/fresh_process.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "tools/common/child_process.h"

namespace corvalen::validate {
namespace {

using tools::writeAll;

// Runs `work` in a child with the write end of a pipe; returns what it wrote and, in words, how
// it ended if not normally ("" when it exited normally).
std::string runChild(const std::function<void(int)>& work, int timeoutSeconds, std::string& text) {
    tools::ChildOptions options;
    options.timeoutSeconds = timeoutSeconds;
    const tools::ChildResult child = tools::runInChild(work, options);
    text = child.answer;
    const tools::ChildEnding& ending = child.ending;
    switch (ending.kind) {
        case tools::ChildEnding::Kind::kNotStarted:
            return ending.problem;
        case tools::ChildEnding::Kind::kHung:
            return "gave no answer within " + std::to_string(timeoutSeconds) +
                   " s of wall time (hung, or very slow on a loaded machine)";
        case tools::ChildEnding::Kind::kSignaled:
            return "crashed (" + ending.signalText() + ")";
        case tools::ChildEnding::Kind::kExited:
            break;
    }
    return ending.exitCode == 0 ? "" : "ended with status " + std::to_string(ending.exitCode);
}

}  // namespace

Audio renderFreshUnnamed(CheckContext& context, const Phrase& phrase, const FreshRender& how);

std::unique_ptr<PluginInstance> startedInstance(CheckContext& context, float rate, int blockSize,
                                                HostProfile profile) {
    auto instance = std::make_unique<PluginInstance>(context.library(), profile, rate, blockSize);
    instance->start(rate, blockSize);
    return instance;
}

std::string textFromFreshProcess(CheckContext& context, const TextJob& job, int timeoutSeconds) {
    if (context.libraryLoaded()) {
        // A child of a process that holds the library would inherit its state.
        throw std::logic_error("a fresh process after the check loaded the library");
    }
    std::string text;
    const std::string ending = runChild(
        [&](int fd) {
            CheckContext own(context.checkName(), context.pluginPath(), context.facts(),
                             [](const VerdictLine&) {});
            std::string message;
            try {
                const std::string answer = job(own);
                writeAll(fd, "T", 1);
                writeAll(fd, answer.data(), answer.size());
                return;
            } catch (...) {
                message = currentExceptionMessage();
            }
            writeAll(fd, "E", 1);
            writeAll(fd, message.data(), message.size());
        },
        timeoutSeconds, text);
    if (!ending.empty()) throw ValidationError("a fresh process for this check " + ending);
    if (text.empty() || text[0] != 'T') {
        throw ValidationError(text.empty() ? "a fresh process for this check gave no answer"
                                           : text.substr(1));
    }
    return text.substr(1);
}

Audio renderInFreshProcess(CheckContext& context, const RenderJob& render, int timeoutSeconds) {
    // The child sends the channel count, the frame count and the samples, channel by channel.
    const std::string bytes = textFromFreshProcess(
        context,
        [&render](CheckContext& own) {
            const Audio audio = render(own);
            const std::uint64_t header[2] = {audio.size(),
                                             static_cast<std::uint64_t>(frameCount(audio))};
            std::string packed(reinterpret_cast<const char*>(header), sizeof header);
            for (const auto& channel : audio) {
                packed.append(reinterpret_cast<const char*>(channel.data()),
                              channel.size() * sizeof(float));
            }
            return packed;
        },
        timeoutSeconds);
    std::uint64_t header[2] = {0, 0};
    if (bytes.size() < sizeof header) {
        throw ValidationError("a fresh process rendering for this check sent no audio");
    }
    std::memcpy(header, bytes.data(), sizeof header);
    if (bytes.size() != sizeof header + header[0] * header[1] * sizeof(float)) {
        throw ValidationError("a fresh process rendering for this check sent incomplete audio");
    }
    Audio audio(header[0], std::vector<float>(header[1]));
    const char* at = bytes.data() + sizeof header;
    for (auto& channel : audio) {
        std::memcpy(channel.data(), at, channel.size() * sizeof(float));
        at += channel.size() * sizeof(float);
    }
    return audio;
}

std::string crashOfForked(const std::function<void()>& work, int timeoutSeconds) {
    std::string text;
    const std::string ending = runChild(
        [&](int fd) {
            std::string message;
            try {
                work();
                return;
            } catch (...) {
                message = currentExceptionMessage();
            }
            writeAll(fd, message.data(), message.size());
        },
        timeoutSeconds, text);
    return ending.empty() ? text : ending;
}

Audio renderFresh(CheckContext& context, const Phrase& phrase, const FreshRender& how) {
    try {
        return renderFreshUnnamed(context, phrase, how);
    } catch (const ValidationError& error) {
        // Which render it was: the check may make dozens.
        char what[160];
        std::snprintf(what, sizeof what, "rendering in %d-frame blocks at %d Hz%s: ", how.blockSize,
                      static_cast<int>(how.rate),
                      how.profile == HostProfile::kVersionOnly ? " with a host answering 0" : "");
        throw ValidationError(what + std::string(error.what()));
    }
}

Audio renderFreshUnnamed(CheckContext& context, const Phrase& phrase, const FreshRender& how) {
    return renderInFreshProcess(context, [&](CheckContext& own) {
        auto instance = startedInstance(own, how.rate, how.blockSize, how.profile);
        RenderSettings settings = how.settings;
        settings.blockSize = how.blockSize;
        Audio audio = renderPhrase(*instance, phrase, settings).audio;
        instance->suspend();
        return audio;
    });
}

Audio renderFresh(CheckContext& context, const Phrase& phrase, int blockSize, float rate) {
    FreshRender how;
    how.blockSize = blockSize;
    how.rate = rate;
    return renderFresh(context, phrase, how);
}

}  // namespace corvalen::validate
