// The validator's checks, declared once each in the registry (checks.cpp). Each reports exactly
// one verdict line through its context, which puts the check's name on it; each runs in a
// process of its own (see validator.h), so a crash or hang ends only that check, and the runner
// takes from that process only lines under the check's own name.
#pragma once

#include <vector>

#include "tools/validate/check_support.h"

namespace corvalen::validate {

struct Check {
    const char* name;
    const char* description;  // one line, for --list-checks
    void (*run)(CheckContext& context);
    int timeoutSeconds;
    // The verdict when the check's process crashes or hangs: FAIL, except for checks that
    // only abuse the plug-in, where it is WARN.
    Verdict crashVerdict = Verdict::kFail;
};

// All checks, in the order they run.
const std::vector<Check>& allChecks();
const Check* findCheck(const std::string& name);

// Load, identity, instances, hosts and the order of setup calls.
void checkLoad(CheckContext& context);
void checkRecord(CheckContext& context);
void checkIdentity(CheckContext& context);
void checkRepeatability(CheckContext& context);
void checkInstances(CheckContext& context);
void checkMinimalHost(CheckContext& context);
void checkSetupOrder(CheckContext& context);

// Rendering: block sizes and rates, timing of events, floods, both processing calls.
void checkBlockSizes(CheckContext& context);
void checkSampleAccuracy(CheckContext& context);
void checkEventsInOneBlock(CheckContext& context);
void checkEdgeEvents(CheckContext& context);
void checkEventFlood(CheckContext& context);
void checkProcessReplacing(CheckContext& context);
void checkProcessAccumulating(CheckContext& context);

// Effects: silence in, and the tail after the input ends.
void checkEffectSilence(CheckContext& context);
void checkEffectTail(CheckContext& context);

// Parameters, programs, names, and what hosts do not normally send.
void checkParameterChanges(CheckContext& context);
void checkParameterAbuse(CheckContext& context);
void checkPrograms(CheckContext& context);
void checkProgramNameOverflow(CheckContext& context);
void checkParameterTexts(CheckContext& context);
void checkHostOddities(CheckContext& context);

// Real-time behaviour: heap use while processing, the cost of the release tail.
void checkNoAllocation(CheckContext& context);
void checkNoLocks(CheckContext& context);
void checkTail(CheckContext& context);

}  // namespace corvalen::validate
