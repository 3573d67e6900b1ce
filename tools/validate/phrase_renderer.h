// Plays a list of MIDI events, placed at absolute frames, through a plug-in block by block, as
// a host does: an effProcessEvents list before every block (empty ones included), then one
// processing call. Events land in the block that holds their frame, so the same phrase gives
// the same samples whatever the block size, if the plug-in is sample-accurate.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "vst_host/heap_counter.h"
#include "tools/validate/plugin_instance.h"
#include "tools/validate/signal_analysis.h"

namespace corvalen::validate {

using vsthost::HeapCalls;
using vsthost::HeapCounter;

struct TimedMidi {
    std::int64_t frame = 0;
    unsigned char status = 0;
    unsigned char data1 = 0;
    unsigned char data2 = 0;
};

struct Phrase {
    std::vector<TimedMidi> events;  // in frame order
    std::int64_t frames = 0;        // length of the render

    Phrase& add(std::int64_t frame, unsigned char status, unsigned char data1, unsigned char data2);
    Phrase& noteOn(std::int64_t frame, int note, int velocity = 100);
    Phrase& noteOff(std::int64_t frame, int note);
};

enum class ProcessCall { kReplacing, kAccumulating };

// The value that the output buffers hold before each processing call when the render asks
// for prefilled buffers: deterministic, finite and different in every frame and channel.
float garbageAt(std::size_t channel, std::int64_t frame);

// The input signal given to effects (plug-ins with inputs that are not instruments): a 0.5
// amplitude 441 Hz sine at 44.1 kHz in the first half of the render, then silence. A function
// of the absolute frame, so every block size feeds the same samples.
float testInputAt(std::size_t channel, std::int64_t frame, std::int64_t totalFrames);

struct RenderSettings {
    int blockSize = 512;
    ProcessCall call = ProcessCall::kReplacing;
    bool prefillGarbage = false;  // else the output buffers are zeroed before each block
    bool countHeap = false;       // count allocations inside effProcessEvents and processing
    bool timeBlocks = false;      // thread CPU time of each processing call
    // Called before the events of each block are sent, with the block's first frame.
    std::function<void(std::int64_t)> beforeBlock;
};

struct RenderResult {
    Audio audio;
    HeapCalls heap;                       // when counted
    std::vector<double> blockCpuSeconds;  // when timed, one per block
};

// Renders phrase.frames frames. The instance must be open and resumed.
RenderResult renderPhrase(PluginInstance& instance, const Phrase& phrase,
                          const RenderSettings& settings);

}  // namespace corvalen::validate
