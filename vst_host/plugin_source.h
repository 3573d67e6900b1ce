// A VST 2 plug-in as the rate adapter's fixed-rate source, as a live player or an LV2 wrapper
// drives it: MIDI goes in one event list per render; a parameter change, and a program change
// naming one of the plug-in's programs, split the render at their frame and are applied there
// (the interface applies both between calls only). A program change the plug-in has no
// program for reaches it as MIDI.
#pragma once

#include <vector>

#include "rate/rate_adapter.h"
#include "vst_host/event_list.h"
#include "vst_host/plugin.h"

namespace corvalen::vsthost {

class PluginSource : public rate::FixedRateSource {
public:
    // Everything it needs later is reserved here: renders allocate nothing.
    PluginSource(vsthost::Plugin& plugin, int maxEvents);

    void render(float* const* outputs, int frames, const rate::TimedEvent* events,
                int count) override;

    // An effect's inputs for the next render, one buffer per input of at least that render's
    // frames (so only when the adapter passes through, one render per block). Without them an
    // effect gets null input pointers, as before.
    void setInputs(float* const* inputs) { inputBase_ = inputs; }

private:
    bool selectsProgram(const rate::TimedEvent& event) const;
    bool splitsRender(const rate::TimedEvent& event) const;
    // Renders [from, to) with `count` MIDI events whose frames count from `from`.
    void renderSpan(float* const* outputs, int from, int to, const rate::TimedEvent* events,
                    int count);

    vsthost::Plugin& plugin_;
    vsthost::EventList list_;
    std::vector<float*> span_;
    std::vector<float*> inputs_;
    float* const* inputBase_ = nullptr;
};

}  // namespace corvalen::vsthost
