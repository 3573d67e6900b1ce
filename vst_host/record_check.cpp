#include "vst_host/record_check.h"

namespace corvalen::vsthost {
namespace {

bool impossibleCounts(const AEffect& record) {
    return record.numInputs < 0 || record.numInputs > kMaxChannels || record.numOutputs < 0 ||
           record.numOutputs > kMaxChannels || record.numParams < 0 || record.numPrograms < 0;
}

std::string countsText(const AEffect& record) {
    return "the effect record announces impossible counts (inputs " +
           std::to_string(record.numInputs) + ", outputs " + std::to_string(record.numOutputs) +
           ", parameters " + std::to_string(record.numParams) + ", programs " +
           std::to_string(record.numPrograms) + "; channels may number 0 to " +
           std::to_string(kMaxChannels) + ")";
}

}  // namespace

RecordCheck checkRecord(const AEffect* record, const std::string& entryName,
                        const RecordDemands& demands) {
    RecordCheck check;
    if (!record) {
        check.problem = entryName + " returned no effect (null record)";
    } else if (!isEffectRecord(record)) {
        check.problem = entryName +
                        " returned a record that is not a VST 2 effect (no VstP "
                        "magic or no dispatcher)";
    } else if (impossibleCounts(*record)) {
        check.problem = countsText(*record);
    } else if (!record->processReplacing && !record->process) {
        check.problem = "the effect has no processing entry";
    } else if (demands.parameterEntries && (!record->setParameter || !record->getParameter)) {
        check.problem = "the effect record lacks a parameter entry";
    } else {
        const bool replacing = record->processReplacing != nullptr &&
                               ((record->flags & effFlagsCanReplacing) != 0 || !record->process);
        check.call = replacing ? ProcessCall::kReplacing : ProcessCall::kAccumulating;
    }
    return check;
}

ProcessCall availableCall(const AEffect& record, ProcessCall wanted) {
    const bool hasWanted = wanted == ProcessCall::kReplacing ? record.processReplacing != nullptr
                                                             : record.process != nullptr;
    if (hasWanted) return wanted;
    return wanted == ProcessCall::kReplacing ? ProcessCall::kAccumulating : ProcessCall::kReplacing;
}

}  // namespace corvalen::vsthost
