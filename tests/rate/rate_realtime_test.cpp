// Heap use of the rate adapter with the plug-in as its source, counted by replacing this
// process's allocator (vst_host/heap_counter.h; the program exports it, so the loaded library
// binds to it too).
#include <gtest/gtest.h>

#include <vector>

#include "rate/rate_adapter.h"
#include "tests/rate/adapter_harness.h"
#include "tests/rate/plugin_source.h"
#include "tests/support/plugin_under_test.h"
#include "vst_host/heap_counter.h"

namespace {

using corvalen::rate::AdapterSetup;
using corvalen::rate::RateAdapter;
using corvalen::rate::TimedEvent;
using corvalen::test::midiEvent;
using corvalen::vsthost::HeapCalls;
using corvalen::vsthost::HeapCounter;

TEST(RateRealTime, ProcessingAllocatesNothingAtAnyRate) {
    auto plugin =
        corvalen::vsthost::Plugin::load(corvalen::test::pluginUnderTestPath(), {44100.0f, 512});
    plugin->resume();
    std::vector<float> left(3000), right(3000);
    float* outputs[] = {left.data(), right.data()};
    // Unsorted, out of range, a parameter change, and more than maxEvents.
    std::vector<TimedEvent> events = {midiEvent(0x90, 69, 100), midiEvent(0x90, 72, 90),
                                      midiEvent(0x80, 69, 0), midiEvent(0xB0, 123, 0)};
    events[0].frame = 300;
    events[1].frame = -4;
    events[2].frame = 100000;
    TimedEvent parameter;
    parameter.kind = TimedEvent::Kind::Parameter;
    parameter.frame = 50;
    parameter.parameter = 3;
    parameter.value = 0.5f;
    events.push_back(parameter);
    for (int i = 0; i < 40; ++i) events.push_back(midiEvent(0x90, 40 + i, 100));

    for (double rate : {8000.0, 22050.0, 44100.0, 48000.0, 96000.0, 192000.0, 384000.0}) {
        SCOPED_TRACE(rate);
        AdapterSetup setup;
        setup.targetRate = rate;
        setup.maxBlock = 512;
        setup.maxEvents = 32;
        // Positive control: set-up allocates, and the counter sees it.
        std::unique_ptr<RateAdapter> made;
        const HeapCalls setUp =
            HeapCounter::countDuring([&] { made = std::make_unique<RateAdapter>(setup); });
        EXPECT_GT(setUp.allocations, 0u);
        RateAdapter& adapter = *made;
        corvalen::test::PluginSource source(*plugin, adapter.maxSourceEvents());
        const int count = static_cast<int>(events.size());

        std::uint64_t dropped = 0;
        const HeapCalls used = HeapCounter::countDuring([&] {
            for (int frames : {512, 1, 0, 7, 3000, 64, 511}) {
                adapter.process(source, outputs, frames, events.data(), count);
                adapter.process(source, outputs, frames, nullptr, 0);
            }
            dropped = adapter.droppedEvents();
            adapter.reset();
            adapter.process(source, outputs, 256, events.data(), 4);
        });
        EXPECT_EQ(used.allocations, 0u);
        EXPECT_EQ(used.releases, 0u);
        EXPECT_GT(dropped, 0u);  // the flood went past maxEvents
    }
}

}  // namespace
