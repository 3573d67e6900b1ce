// The validator's checks. Each reports one or more verdict lines through its context; each
// runs in a process of its own (see validator.h), so a crash or hang ends only that check.
#pragma once

#include <vector>

#include "tools/validate/check_support.h"

namespace corvalen::validate {

struct Check {
    const char* name;
    void (*run)(CheckContext& context);
    int timeoutSeconds;
};

// All checks, in the order they run.
const std::vector<Check>& allChecks();

// Load, identity, instances, hosts and the order of setup calls.
void checkLoad(CheckContext& context);
void checkRecord(CheckContext& context);
void checkIdentity(CheckContext& context);
void checkInstances(CheckContext& context);
void checkMinimalHost(CheckContext& context);
void checkSetupOrder(CheckContext& context);

// Rendering: block sizes and rates, timing of events, floods, both processing calls.
void checkBlockSizes(CheckContext& context);
void checkSampleAccuracy(CheckContext& context);
void checkEdgeEvents(CheckContext& context);
void checkEventFlood(CheckContext& context);
void checkProcessCalls(CheckContext& context);

// Bad values and texts: parameters, programs, names.
void checkParameterFuzz(CheckContext& context);
void checkPrograms(CheckContext& context);
void checkParameterTexts(CheckContext& context);
void checkHostOddities(CheckContext& context);

// Real-time behaviour: heap use while processing, the cost of the release tail.
void checkNoAllocation(CheckContext& context);
void checkTail(CheckContext& context);

}  // namespace corvalen::validate
