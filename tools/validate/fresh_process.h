// Plug-in instances for the checks: started in this process, or in a fresh process that loads
// the library afresh (so no state of an earlier instance can change a render), and calls under
// abuse made in a forked child whose crash does not end the check.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "tools/validate/check_context.h"
#include "tools/validate/phrase_renderer.h"

namespace corvalen::validate {

// A fresh instance, opened, given the rate and block size and resumed.
std::unique_ptr<PluginInstance> startedInstance(CheckContext& context, float rate = kStandardRate,
                                                int blockSize = kStandardBlock,
                                                HostProfile profile = HostProfile::kFull);

// Runs `render` in a child process that loads the library afresh, so that no state a previous
// instance left in the process (a shared random generator, a counter of instances) can make
// two renders differ. Must be called before the check loads the library itself. Throws
// ValidationError when the child crashes, hangs past `timeoutSeconds` or throws.
using RenderJob = std::function<Audio(CheckContext&)>;
Audio renderInFreshProcess(CheckContext& context, const RenderJob& render,
                           int timeoutSeconds = 300);

// Runs `job` in a child process that loads the library afresh and returns the text it gave.
// Throws as renderInFreshProcess does.
using TextJob = std::function<std::string(CheckContext&)>;
std::string textFromFreshProcess(CheckContext& context, const TextJob& job,
                                 int timeoutSeconds = 300);

// Runs `work` in a forked child of this process (library state included) and reports how it
// ended: empty when it returned, else the crash or the exception, in words. For calls under
// abuse whose crash must not end the check.
std::string crashOfForked(const std::function<void()>& work, int timeoutSeconds = 60);

// Renders a phrase on a fresh started instance in a fresh process.
struct FreshRender {
    int blockSize = kStandardBlock;
    float rate = kStandardRate;
    HostProfile profile = HostProfile::kFull;
    RenderSettings settings;  // blockSize is taken from above
};
Audio renderFresh(CheckContext& context, const Phrase& phrase, const FreshRender& how = {});
Audio renderFresh(CheckContext& context, const Phrase& phrase, int blockSize,
                  float rate = kStandardRate);

}  // namespace corvalen::validate
