// The records and constants that cross the boundary between a VST 2 host and a plug-in.
//
// Only 32-bit integers, floats and pointer-sized types appear in these records, so the layout
// is the same for every compiler of a target: 144 bytes for the effect record on a 32-bit
// target, 192 bytes on a 64-bit one. The static_asserts at the end pin every offset.
#pragma once

#include <cstddef>
#include <cstdint>

using VstInt32 = std::int32_t;
// Value argument and result of the dispatcher and of the host callback: 32 bits on a 32-bit
// target, 64 bits on a 64-bit one (a pointer must fit in it).
using VstIntPtr = std::intptr_t;

struct AEffect;

// Records that the effect classes only pass between the host and the plug-in without reading
// them; they stay incomplete here so that nobody starts depending on a layout nobody checks.
struct VstTimeInfo;
struct VstAudioFile;
struct VstOfflineTask;
struct VstVariableIo;
struct VstSpeakerArrangement;
struct VstParameterProperties;
struct VstWindow;

// Every entry point and the host callback use the platform's default C calling convention
// (cdecl on 32-bit x86).
extern "C" {
using HostCallback = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                   VstIntPtr value, void* ptr, float opt);
using DispatcherEntry = VstIntPtr (*)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt);
using ProcessEntry = void (*)(AEffect* effect, float** inputs, float** outputs,
                              VstInt32 sampleFrames);
using SetParameterEntry = void (*)(AEffect* effect, VstInt32 index, float value);
using GetParameterEntry = float (*)(AEffect* effect, VstInt32 index);
// The library's export: takes the host callback, returns the new effect's record or null.
using PluginEntry = AEffect* (*)(HostCallback host);
}

struct AEffect {
    VstInt32 magic;  // 'VstP'
    DispatcherEntry dispatcher;
    ProcessEntry process;
    SetParameterEntry setParameter;
    GetParameterEntry getParameter;
    VstInt32 numPrograms;
    VstInt32 numParams;
    VstInt32 numInputs;
    VstInt32 numOutputs;
    VstInt32 flags;
    VstIntPtr resvd1;
    VstIntPtr resvd2;
    VstInt32 initialDelay;
    VstInt32 realQualities;
    VstInt32 offQualities;
    float ioRatio;
    void* object;  // the effect object that holds this record
    void* user;    // free for the host
    VstInt32 uniqueID;
    VstInt32 version;
    ProcessEntry processReplacing;
    char future[60];
};

// Flag bits of AEffect::flags.
enum : VstInt32 {
    effFlagsHasEditor = 1,
    effFlagsHasClip = 2,
    effFlagsHasVu = 4,
    effFlagsCanMono = 8,
    effFlagsCanReplacing = 16,
    effFlagsProgramChunks = 32,
    effFlagsIsSynth = 256,
    effFlagsNoSoundInStop = 512,
    effFlagsExtIsAsync = 1024,
    effFlagsExtHasBuffer = 2048,
};

// Dispatcher opcodes, host to plug-in.
enum : VstInt32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effGetVu = 9,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditDraw = 16,
    effEditMouse = 17,
    effEditKey = 18,
    effEditIdle = 19,
    effEditTop = 20,
    effEditSleep = 21,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetNumProgramCategories = 28,
    effGetProgramNameIndexed = 29,
    effCopyProgram = 30,
    effConnectInput = 31,
    effConnectOutput = 32,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effGetCurrentPosition = 36,
    effGetDestinationBuffer = 37,
    effOfflineNotify = 38,
    effOfflinePrepare = 39,
    effOfflineRun = 40,
    effProcessVarIo = 41,
    effSetSpeakerArrangement = 42,
    effSetBlockSizeAndSampleRate = 43,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetErrorText = 46,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effIdle = 53,
    effGetIcon = 54,
    effSetViewPosition = 55,
    effGetParameterProperties = 56,
    effKeysRequired = 57,
    effGetVstVersion = 58,
};

// Host opcodes, plug-in to host through the host callback.
enum : VstInt32 {
    audioMasterAutomate = 0,
    audioMasterVersion = 1,
    audioMasterCurrentId = 2,
    audioMasterIdle = 3,
    audioMasterPinConnected = 4,
    audioMasterWantMidi = 6,
    audioMasterGetTime = 7,
    audioMasterProcessEvents = 8,
    audioMasterSetTime = 9,
    audioMasterTempoAt = 10,
    audioMasterGetNumAutomatableParameters = 11,
    audioMasterGetParameterQuantization = 12,
    audioMasterIOChanged = 13,
    audioMasterNeedIdle = 14,
    audioMasterSizeWindow = 15,
    audioMasterGetSampleRate = 16,
    audioMasterGetBlockSize = 17,
    audioMasterGetInputLatency = 18,
    audioMasterGetOutputLatency = 19,
    audioMasterGetPreviousPlug = 20,
    audioMasterGetNextPlug = 21,
    audioMasterWillReplaceOrAccumulate = 22,
    audioMasterGetCurrentProcessLevel = 23,
    audioMasterGetAutomationState = 24,
    audioMasterOfflineStart = 25,
    audioMasterOfflineRead = 26,
    audioMasterOfflineWrite = 27,
    audioMasterOfflineGetCurrentPass = 28,
    audioMasterOfflineGetCurrentMetaPass = 29,
    audioMasterSetOutputSampleRate = 30,
    audioMasterGetSpeakerArrangement = 31,
    audioMasterGetVendorString = 32,
    audioMasterGetProductString = 33,
    audioMasterGetVendorVersion = 34,
    audioMasterVendorSpecific = 35,
    audioMasterSetIcon = 36,
    audioMasterCanDo = 37,
    audioMasterGetLanguage = 38,
    audioMasterOpenWindow = 39,
    audioMasterCloseWindow = 40,
    audioMasterGetDirectory = 41,
    audioMasterUpdateDisplay = 42,
};

// Plug-in categories answered by effGetPlugCategory.
enum : VstInt32 {
    kPlugCategUnknown = 0,
    kPlugCategEffect = 1,
    kPlugCategSynth = 2,
};

// Event kinds in VstEvent::type.
enum : VstInt32 {
    kVstMidiType = 1,
    kVstSysExType = 6,
};

// The common head of every event; the host may mix kinds in one list.
struct VstEvent {
    VstInt32 type;
    VstInt32 byteSize;
    VstInt32 deltaFrames;  // sample offset from the start of the coming block
    VstInt32 flags;
    char data[16];
};

struct VstMidiEvent {
    VstInt32 type;      // kVstMidiType
    VstInt32 byteSize;  // 32
    VstInt32 deltaFrames;
    VstInt32 flags;  // 1: played live
    VstInt32 noteLength;
    VstInt32 noteOffset;
    char midiData[4];  // status, data 1, data 2, 0
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    VstInt32 type;  // kVstSysExType
    VstInt32 byteSize;
    VstInt32 deltaFrames;
    VstInt32 flags;
    VstInt32 dumpBytes;
    VstIntPtr resvd1;
    char* sysexDump;
    VstIntPtr resvd2;
};

// A list of events. Declared with two pointers; hosts allocate room for numEvents of them.
struct VstEvents {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[2];
};

enum : VstInt32 {
    kVstPinIsActive = 1,
    kVstPinIsStereo = 2,
    kVstPinUseSpeaker = 4,
};

struct VstPinProperties {
    char label[64];
    VstInt32 flags;
    VstInt32 arrangementType;
    char shortLabel[8];
    char future[48];
};

// Layout checks for the target being built.
static_assert(sizeof(VstEvent) == 32, "VstEvent head plus data is 32 bytes");
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent is 32 bytes");
static_assert(offsetof(VstMidiEvent, deltaFrames) == 8, "deltaFrames offset");
static_assert(offsetof(VstMidiEvent, midiData) == 24, "midiData offset");
static_assert(offsetof(VstMidiEvent, detune) == 28, "detune offset");
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties is 128 bytes");
static_assert(offsetof(VstPinProperties, flags) == 64, "pin flags offset");
static_assert(offsetof(VstPinProperties, arrangementType) == 68, "arrangementType offset");
static_assert(offsetof(VstPinProperties, shortLabel) == 72, "shortLabel offset");

#if INTPTR_MAX == INT32_MAX
static_assert(sizeof(AEffect) == 144, "32-bit effect record is 144 bytes");
static_assert(offsetof(AEffect, dispatcher) == 4, "");
static_assert(offsetof(AEffect, process) == 8, "");
static_assert(offsetof(AEffect, setParameter) == 12, "");
static_assert(offsetof(AEffect, getParameter) == 16, "");
static_assert(offsetof(AEffect, numPrograms) == 20, "");
static_assert(offsetof(AEffect, numParams) == 24, "");
static_assert(offsetof(AEffect, numInputs) == 28, "");
static_assert(offsetof(AEffect, numOutputs) == 32, "");
static_assert(offsetof(AEffect, flags) == 36, "");
static_assert(offsetof(AEffect, resvd1) == 40, "");
static_assert(offsetof(AEffect, resvd2) == 44, "");
static_assert(offsetof(AEffect, initialDelay) == 48, "");
static_assert(offsetof(AEffect, realQualities) == 52, "");
static_assert(offsetof(AEffect, offQualities) == 56, "");
static_assert(offsetof(AEffect, ioRatio) == 60, "");
static_assert(offsetof(AEffect, object) == 64, "");
static_assert(offsetof(AEffect, user) == 68, "");
static_assert(offsetof(AEffect, uniqueID) == 72, "");
static_assert(offsetof(AEffect, version) == 76, "");
static_assert(offsetof(AEffect, processReplacing) == 80, "");
static_assert(offsetof(AEffect, future) == 84, "");
static_assert(offsetof(VstEvents, events) == 8, "");
static_assert(sizeof(VstMidiSysexEvent) == 32, "");
#elif INTPTR_MAX == INT64_MAX
static_assert(sizeof(AEffect) == 192, "64-bit effect record is 192 bytes");
static_assert(offsetof(AEffect, dispatcher) == 8, "");
static_assert(offsetof(AEffect, process) == 16, "");
static_assert(offsetof(AEffect, setParameter) == 24, "");
static_assert(offsetof(AEffect, getParameter) == 32, "");
static_assert(offsetof(AEffect, numPrograms) == 40, "");
static_assert(offsetof(AEffect, numParams) == 44, "");
static_assert(offsetof(AEffect, numInputs) == 48, "");
static_assert(offsetof(AEffect, numOutputs) == 52, "");
static_assert(offsetof(AEffect, flags) == 56, "");
static_assert(offsetof(AEffect, resvd1) == 64, "");
static_assert(offsetof(AEffect, resvd2) == 72, "");
static_assert(offsetof(AEffect, initialDelay) == 80, "");
static_assert(offsetof(AEffect, realQualities) == 84, "");
static_assert(offsetof(AEffect, offQualities) == 88, "");
static_assert(offsetof(AEffect, ioRatio) == 92, "");
static_assert(offsetof(AEffect, object) == 96, "");
static_assert(offsetof(AEffect, user) == 104, "");
static_assert(offsetof(AEffect, uniqueID) == 112, "");
static_assert(offsetof(AEffect, version) == 116, "");
static_assert(offsetof(AEffect, processReplacing) == 120, "");
static_assert(offsetof(AEffect, future) == 128, "");
static_assert(offsetof(VstEvents, events) == 16, "");
static_assert(sizeof(VstMidiSysexEvent) == 48, "");
#else
#error "unsupported pointer size"
#endif
