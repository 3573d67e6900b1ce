// Plays a list of MIDI events, placed at absolute frames, through a plug-in block by block, as
// a host does: an effProcessEvents list before every block (empty ones included), then one
// processing call. Events land in the block that holds their frame (vsthost::EventScheduler), so
// the same phrase gives the same samples whatever the block size, if the plug-in is
// sample-accurate.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "tools/validate/plugin_instance.h"
#include "tools/validate/signal_analysis.h"
#include "vst_host/event_list.h"
#include "vst_host/event_scheduler.h"
#include "vst_host/heap_counter.h"
#include "vst_host/wait_counter.h"

namespace corvalen::validate {

using vsthost::HeapCalls;
using vsthost::HeapCounter;
using vsthost::WaitCalls;
using vsthost::WaitCounter;

struct Phrase {
    std::vector<vsthost::TimedEvent> events;  // in frame order
    std::int64_t frames = 0;                  // length of the render

    Phrase& add(std::int64_t frame, unsigned char status, unsigned char data1, unsigned char data2);
    Phrase& noteOn(std::int64_t frame, int note, int velocity = 100);
    Phrase& noteOff(std::int64_t frame, int note);
};

// The value that the output buffers hold before each processing call when the render asks
// for prefilled buffers: deterministic, finite and different in every frame and channel.
float garbageAt(std::size_t channel, std::int64_t frame);

// The input signal given to effects (plug-ins with inputs that are not instruments) for the
// first `inputFrames` frames, then silence: a 441 Hz sine, a tone gliding up from 110 Hz and a
// short burst of noise every quarter second, peaking below 0.7, different on each channel. A
// function of the absolute frame, so every block size feeds the same samples.
float testInputAt(std::size_t channel, std::int64_t frame, std::int64_t inputFrames);

enum class InputSignal {
    kTestSignal,  // testInputAt for settings.inputFrames frames, then silence
    kSilence,
    kImpulse,  // 0.5 on the first frame, then silence
};

struct RenderSettings {
    int blockSize = 512;
    ProcessCall call = ProcessCall::kReplacing;
    bool prefillGarbage = false;  // else the output buffers are zeroed before each block
    bool countHeap = false;       // count allocations inside effProcessEvents and processing
    bool countWaits = false;      // count the plug-in's locks, waits and sleeps there
    bool timeBlocks = false;      // thread CPU time of each processing call
    InputSignal input = InputSignal::kTestSignal;
    std::int64_t inputFrames = -1;  // how long the test signal plays; negative: half the render
    // Called before the events of each block are sent, with the block's first frame.
    std::function<void(std::int64_t)> beforeBlock;
};

struct RenderResult {
    Audio audio;
    HeapCalls heap;                       // when counted
    WaitCalls waits;                      // when counted
    std::vector<double> blockCpuSeconds;  // when timed, one per block
};

// Renders phrase.frames frames. The instance must be open and resumed.
RenderResult renderPhrase(PluginInstance& instance, const Phrase& phrase,
                          const RenderSettings& settings);

}  // namespace corvalen::validate
