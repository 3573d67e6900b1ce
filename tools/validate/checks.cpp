// The registry of checks: each declared once, with its name, what it does, its verdict rules
// (time limit, the verdict of a crash) and its function.
#include "tools/validate/checks.h"

#include <cstdio>

#include "tools/validate/validator.h"

namespace corvalen::validate {

namespace {

const std::vector<Check> kChecks = {
    {"load", "dlopen, the entry point and effOpen: CPU time, best of 3 fresh processes", checkLoad,
     120},
    {"record", "the effect record: magic, entries, id, channel counts, flags", checkRecord, 60},
    {"identity", "effect name, vendor and product strings fit guarded 32/64-byte buffers",
     checkIdentity, 60},
    {"repeatability",
     "the same phrase renders bit-identically in fresh processes and on successive "
     "instances in one process",
     checkRepeatability, 120},
    {"instances",
     "two instances at once keep their own parameters; closing one leaves the other playing",
     checkInstances, 120},
    {"minimal-host", "a host answering 0 to everything but the version gives the same output",
     checkMinimalHost, 120},
    {"setup-order", "rate and block size before effOpen, or resume twice, change nothing",
     checkSetupOrder, 120},
    {"block-sizes",
     "blocks of 1 to 4096 frames at 44100, 48000 and 96000 Hz give bit-identical, finite "
     "output",
     checkBlockSizes, 600},
    {"sample-accuracy", "a note's onset moves with its offset inside a 64-frame block",
     checkSampleAccuracy, 120},
    {"events-in-one-block",
     "several events in one block (same frame, first and last frames) sound as in 1-frame "
     "blocks",
     checkEventsInOneBlock, 300},
    {"edge-events",
     "note-offs without a note-on change nothing; velocity 0 releases like a note-off",
     checkEdgeEvents, 120},
    {"event-flood",
     "600 random events in one list, then releases: no crash, finite, the sound dies away",
     checkEventFlood, 120},
    {"effect-silence", "an effect given silence gives silence after a 5 s settling time",
     checkEffectSilence, 120},
    {"effect-tail", "an effect's output dies away after its input ends, at its own pace, finite",
     checkEffectTail, 300},
    {"parameter-changes",
     "random parameter values from 0 to 1 every 32 frames: finite output, sound afterwards",
     checkParameterChanges, 120},
    {"parameter-abuse",
     "out-of-range, NaN and infinite parameter values (WARN only: hosts do not send them)",
     checkParameterAbuse, 30, Verdict::kWarn},
    {"programs", "every program selects, reads back and names itself within 24 bytes",
     checkPrograms, 120},
    {"program-name-overflow",
     "a 100-character program name is cut or refused (WARN only: hosts send 24)",
     checkProgramNameOverflow, 60, Verdict::kWarn},
    {"parameter-texts", "names, labels and displays of every parameter fit guarded 64-byte buffers",
     checkParameterTexts, 60},
    {"host-oddities", "unknown opcodes and zero-frame blocks (WARN only: hosts do not send them)",
     checkHostOddities, 60, Verdict::kWarn},
    {"process-replacing", "processReplacing overwrites whatever the output buffers held",
     checkProcessReplacing, 120},
    {"process-accumulating",
     "process adds to the buffers (WARN when processReplacing is offered: hosts use that)",
     checkProcessAccumulating, 120},
    {"no-allocation", "no malloc or free inside effProcessEvents and the processing calls",
     checkNoAllocation, 120},
    {"no-locks",
     "no sleep inside effProcessEvents and the processing calls (FAIL); no lock or wait "
     "there (WARN)",
     checkNoLocks, 120},
    {"tail",
     "an instrument's note dies away after release; tail blocks cost no more than sounding "
     "ones",
     checkTail, 300},
};

}  // namespace

const std::vector<Check>& allChecks() {
    return kChecks;
}

const Check* findCheck(const std::string& name) {
    for (const Check& check : allChecks()) {
        if (name == check.name) return &check;
    }
    return nullptr;
}

std::vector<std::string> checkNames() {
    std::vector<std::string> names;
    for (const Check& check : allChecks()) names.push_back(check.name);
    return names;
}

std::string unknownCheckMessage(const std::vector<std::string>& names, const std::string& option) {
    for (const std::string& name : names) {
        if (findCheck(name)) continue;
        std::string list;
        for (const Check& check : allChecks())
            list += std::string(list.empty() ? "" : ", ") + check.name;
        return option + ": no check named '" + name + "' (checks: " + list + ")";
    }
    return "";
}

void listChecks(std::FILE* out) {
    for (const Check& check : allChecks()) {
        std::fprintf(out, "%-22s %s\n", check.name, check.description);
    }
}

}  // namespace corvalen::validate
