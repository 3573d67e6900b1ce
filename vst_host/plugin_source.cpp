#include "vst_host/plugin_source.h"

namespace corvalen::vsthost {

using SourceEvent = rate::TimedEvent;

PluginSource::PluginSource(vsthost::Plugin& plugin, int maxEvents)
    : plugin_(plugin),
      list_(static_cast<std::size_t>(maxEvents)),
      span_(static_cast<std::size_t>(plugin.numOutputs())),
      inputs_(static_cast<std::size_t>(plugin.numInputs() + 1), nullptr) {}

bool PluginSource::selectsProgram(const SourceEvent& event) const {
    return event.kind == SourceEvent::Kind::Midi && (event.midi[0] & 0xF0) == 0xC0 &&
           event.midi[1] < plugin_.numPrograms();
}

bool PluginSource::splitsRender(const SourceEvent& event) const {
    return event.kind == SourceEvent::Kind::Parameter || selectsProgram(event);
}

void PluginSource::render(float* const* outputs, int frames, const SourceEvent* events, int count) {
    int from = 0;
    int firstMidi = 0;
    for (int i = 0; i <= count; ++i) {
        if (i < count && !splitsRender(events[i])) continue;
        // MIDI events at the change's own frame wait for the next span, after the change.
        const int to = i < count ? events[i].frame : frames;
        int endMidi = firstMidi;
        while (endMidi < i && events[endMidi].frame < to) ++endMidi;
        if (to > from) {
            renderSpan(outputs, from, to, events + firstMidi, endMidi - firstMidi);
            firstMidi = endMidi;
            from = to;
        }
        if (i == count) break;
        if (events[i].kind == SourceEvent::Kind::Parameter) {
            plugin_.setParameter(events[i].parameter, events[i].value);
        } else {
            plugin_.setProgram(events[i].midi[1]);
        }
    }
}

void PluginSource::renderSpan(float* const* outputs, int from, int to, const SourceEvent* events,
                              int count) {
    list_.clear();
    for (int e = 0; e < count; ++e) {
        if (splitsRender(events[e])) continue;
        list_.addMidi(events[e].frame - from, events[e].midi[0], events[e].midi[1],
                      events[e].midi[2]);
    }
    // Events count for the next block only, so an empty list would tell the plug-in nothing.
    if (!list_.empty()) plugin_.sendEvents(list_.get());
    for (std::size_t c = 0; c < span_.size(); ++c) span_[c] = outputs[c] + from;
    for (std::size_t c = 0; c + 1 < inputs_.size(); ++c) {
        inputs_[c] = inputBase_ ? inputBase_[c] + from : nullptr;
    }
    plugin_.process(inputs_.data(), span_.data(), to - from);
}

}  // namespace corvalen::vsthost
