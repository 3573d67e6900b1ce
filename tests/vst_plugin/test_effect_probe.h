// What the test effect library (test_effect.cpp) shares with the tests that drive it. The tests
// reach everything through the effect record, as a host does: opcode 50 (effVendorSpecific)
// with one of the command codes below as index. Any other index is an ordinary vendorSpecific
// call and is logged like every other operation.
#pragma once

#include "vst_plugin/aeffect.h"
#include "vst_plugin/text_helpers.h"

namespace corvalen::test {

// Command codes sent as the index of opcode 50.
enum ProbeCommand : VstInt32 {
    // Answers the address of the object's Probe.
    kCommandGetProbe = packFourCharCode('p', 'r', 'o', 'b'),
    // value: a HostService. Calls it with the probe's argA/argB/argPointer, the command's ptr
    // and opt; answers its result (a double result goes to Probe::lastDouble).
    kCommandCallHost = packFourCharCode('h', 'o', 's', 't'),
    // value: a Setter. Calls it with the probe's argA (a bool setter takes argA != 0).
    kCommandSetter = packFourCharCode('s', 'e', 't', 'r'),
    // value: an EffectKind; ptr: the host callback or null. Answers the new object's record.
    kCommandCreate = packFourCharCode('m', 'a', 'k', 'e'),
    // Answers how many test effect objects of any kind are alive in the library.
    kCommandLiveObjects = packFourCharCode('l', 'i', 'v', 'e'),
};

// Index of the host call (audioMasterVendorSpecific) that the recording effect's close() makes,
// with the number of live objects as value: proof that close runs before destruction.
constexpr VstInt32 kCloseReport = packFourCharCode('c', 'l', 'o', 's');

enum EffectKind : VstInt32 {
    kRecordingEffect = 0,  // AudioEffectX that logs every operation (what `main` makes)
    kPlainEffectX = 1,     // AudioEffectX with only process supplied: the defaults
    kPlainEffect = 2,      // AudioEffect with only process supplied: the defaults
};

// The operations of AudioEffect and AudioEffectX that the test effect logs.
enum Operation : VstInt32 {
    kOpSetSampleRate,
    kOpSetBlockSize,
    kOpSetParameter,
    kOpGetParameter,
    kOpProcess,
    kOpProcessReplacing,
    kOpOpen,
    kOpClose,
    kOpGetProgram,
    kOpSetProgram,
    kOpSetProgramName,
    kOpGetProgramName,
    kOpGetParameterLabel,
    kOpGetParameterDisplay,
    kOpGetParameterName,
    kOpGetVu,
    kOpGetChunk,
    kOpSetChunk,
    kOpSuspend,
    kOpResume,
    kOpProcessEvents,
    kOpCanParameterBeAutomated,
    kOpString2Parameter,
    kOpGetNumCategories,
    kOpGetProgramNameIndexed,
    kOpCopyProgram,
    kOpInputConnected,
    kOpOutputConnected,
    kOpGetInputProperties,
    kOpGetOutputProperties,
    kOpGetPlugCategory,
    kOpReportCurrentPosition,
    kOpReportDestinationBuffer,
    kOpOfflineNotify,
    kOpOfflinePrepare,
    kOpOfflineRun,
    kOpProcessVariableIo,
    kOpSetSpeakerArrangement,
    kOpSetBlockSizeAndSampleRate,
    kOpSetBypass,
    kOpGetEffectName,
    kOpGetErrorText,
    kOpGetVendorString,
    kOpGetProductString,
    kOpGetVendorVersion,
    kOpVendorSpecific,
    kOpCanDo,
    kOpGetGetTailSize,
    kOpFxIdle,
    kOpGetIcon,
    kOpSetViewPosition,
    kOpGetParameterProperties,
    kOpKeysRequired,
    kOpGetVstVersion,
};

// The host services of AudioEffect and AudioEffectX, for kCommandCallHost.
enum HostService : VstInt32 {
    kServiceSetParameterAutomated,  // (argA, opt)
    kServiceGetMasterVersion,
    kServiceGetCurrentUniqueId,
    kServiceMasterIdle,
    kServiceIsInputConnected,   // (argA)
    kServiceIsOutputConnected,  // (argA)
    kServiceWantEvents,         // (argA)
    kServiceGetTimeInfo,        // (argA)
    kServiceTempoAt,            // (argA)
    kServiceGetNumAutomatableParameters,
    kServiceGetParameterQuantization,
    kServiceIoChanged,
    kServiceNeedIdle,
    kServiceSizeWindow,  // (argA, argB)
    kServiceUpdateSampleRate,
    kServiceUpdateBlockSize,
    kServiceGetInputLatency,
    kServiceGetOutputLatency,
    kServiceGetPreviousPlug,
    kServiceGetNextPlug,
    kServiceWillProcessReplacing,
    kServiceGetCurrentProcessLevel,
    kServiceGetAutomationState,
    kServiceOfflineStart,  // (ptr, argA = numAudioFiles, argB = numNewAudioFiles)
    kServiceOfflineRead,   // (ptr, argA = option, argB != 0 = readSource)
    kServiceOfflineWrite,  // (ptr, argA = option)
    kServiceOfflineGetCurrentPass,
    kServiceOfflineGetCurrentMetaPass,
    kServiceSetOutputSamplerate,    // (opt)
    kServiceGetSpeakerArrangement,  // (argPointer = pluginInput, ptr = pluginOutput)
    kServiceGetHostVendorString,    // (ptr)
    kServiceGetHostProductString,   // (ptr)
    kServiceGetHostVendorVersion,
    kServiceHostVendorSpecific,  // (argA, argB, ptr, opt)
    kServiceCanHostDo,           // (ptr)
    kServiceGetHostLanguage,
    kServiceOpenWindow,   // (ptr)
    kServiceCloseWindow,  // (ptr)
    kServiceGetDirectory,
    kServiceUpdateDisplay,
    kServiceCount,
};

enum Setter : VstInt32 {
    kSetUniqueID,
    kSetNumInputs,
    kSetNumOutputs,
    kSetHasVu,
    kSetHasClip,
    kSetCanMono,
    kSetCanProcessReplacing,
    kSetProgramsAreChunks,
    kSetRealtimeQualities,
    kSetOfflineQualities,
    kSetInitialDelay,
    kSetIsSynth,
    kSetNoTail,
    kSetWantAsyncOperation,
    kSetHasExternalBuffer,
    kSetterCount,
};

// One logged operation: its arguments in the order the operation takes them. Unused ones are 0.
struct ProbeCall {
    VstInt32 operation;
    VstInt32 intArg1;
    VstIntPtr intArg2;
    const void* ptrArg1;
    const void* ptrArg2;
    float floatArg;
    bool boolArg;
};

// Programs and parameters of the recording effect.
constexpr VstInt32 kTestEffectPrograms = 3;
constexpr VstInt32 kTestEffectParams = 4;

struct Probe {
    static constexpr int kMaxCalls = 256;

    void* object;  // the C++ object, to compare with the record's object field
    int callCount;
    ProbeCall calls[kMaxCalls];

    // When armed, the logged operations answer these instead of the base behaviour: integers
    // and booleans (answer != 0) from answer, floats from floatAnswer, pointers from
    // pointerAnswer. Text getters also copy text into the buffer when it is not empty.
    bool armed;
    VstIntPtr answer;
    float floatAnswer;
    void* pointerAnswer;
    char text[64];

    // Arguments for kCommandCallHost and kCommandSetter.
    VstInt32 argA;
    VstInt32 argB;
    void* argPointer;
    double lastDouble;

    // The object's fields as the base class holds them, refreshed after every logged call.
    float sampleRate;
    VstInt32 blockSize;
    VstInt32 curProgram;
    bool hasEditor;
    bool hostCallbackSet;
};

}  // namespace corvalen::test
