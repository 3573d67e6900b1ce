// The one judgement of an effect record that every host here makes before driving it: can it
// be driven at all (and if not, why not), and which processing call a host uses for it.
#pragma once

#include <string>

#include "vst_plugin/aeffect.h"

namespace corvalen::vsthost {

// The record's magic, 'VstP'.
constexpr VstInt32 kEffectMagic = ('V' << 24) | ('s' << 16) | ('t' << 8) | 'P';

// More channels than this is taken as a corrupt record rather than a real plug-in. Real ones go
// far beyond 64 (a multi-sampler of Debian's lsp-plugins-vst has 98 outputs); the bound only
// keeps a garbage count from asking for gigabytes of buffers.
constexpr VstInt32 kMaxChannels = 1024;

// True for a record that can be called at all: the VST 2 magic and a dispatcher.
inline bool isEffectRecord(const AEffect* record) {
    return record != nullptr && record->magic == kEffectMagic && record->dispatcher != nullptr;
}

enum class ProcessCall { kReplacing, kAccumulating };

struct RecordCheck {
    // Empty when the record is usable; otherwise why not, as a phrase that follows the
    // library's path ("VSTPluginMain returned no effect (null record)").
    std::string problem;
    // What a host uses: processReplacing when the record offers it (flag and entry) or has no
    // accumulating entry; else the accumulating process on zeroed buffers.
    ProcessCall call = ProcessCall::kReplacing;
    bool usable() const { return problem.empty(); }
};

struct RecordDemands {
    // The validator drives parameters directly, so it refuses records without the entries;
    // a renderer treats missing ones as "no parameters".
    bool parameterEntries = false;
};

// `entryName` names the entry point that gave the record, for the message.
RecordCheck checkRecord(const AEffect* record, const std::string& entryName,
                        const RecordDemands& demands = {});

// The call a render asks for when the record has its entry, else the other one.
ProcessCall availableCall(const AEffect& record, ProcessCall wanted);

}  // namespace corvalen::vsthost
