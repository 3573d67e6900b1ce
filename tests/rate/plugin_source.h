// A VST 2 plug-in as the rate adapter's fixed-rate source, as a live player or an LV2 wrapper
// drives it: MIDI goes in one event list per render, a parameter change splits the render at
// its frame (the interface applies parameters between calls only).
#pragma once

#include <vector>

#include "rate/rate_adapter.h"
#include "vst_host/event_list.h"
#include "vst_host/plugin.h"

namespace corvalen::test {

class PluginSource : public rate::FixedRateSource {
public:
    // Everything it needs later is reserved here: renders allocate nothing.
    PluginSource(vsthost::Plugin& plugin, int maxEvents);

    void render(float* const* outputs, int frames, const rate::TimedEvent* events,
                int count) override;

private:
    // Renders [from, to) with `count` MIDI events whose frames count from `from`.
    void renderSpan(float* const* outputs, int from, int to, const rate::TimedEvent* events,
                    int count);

    vsthost::Plugin& plugin_;
    vsthost::EventList list_;
    std::vector<float*> span_;
    std::vector<float*> inputs_;
};

}  // namespace corvalen::test
