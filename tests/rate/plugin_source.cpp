#include "tests/rate/plugin_source.h"

namespace corvalen::test {

using rate::TimedEvent;

PluginSource::PluginSource(vsthost::Plugin& plugin, int maxEvents)
    : plugin_(plugin),
      list_(static_cast<std::size_t>(maxEvents)),
      span_(static_cast<std::size_t>(plugin.numOutputs())),
      inputs_(static_cast<std::size_t>(plugin.numInputs() + 1), nullptr) {}

void PluginSource::render(float* const* outputs, int frames, const TimedEvent* events, int count) {
    int from = 0;
    int firstMidi = 0;
    for (int i = 0; i <= count; ++i) {
        if (i < count && events[i].kind == TimedEvent::Kind::Midi) continue;
        // MIDI events at the parameter's own frame wait for the next span, after the change.
        const int to = i < count ? events[i].frame : frames;
        int endMidi = firstMidi;
        while (endMidi < i && events[endMidi].frame < to) ++endMidi;
        if (to > from) {
            renderSpan(outputs, from, to, events + firstMidi, endMidi - firstMidi);
            firstMidi = endMidi;
            from = to;
        }
        if (i < count) plugin_.setParameter(events[i].parameter, events[i].value);
    }
}

void PluginSource::renderSpan(float* const* outputs, int from, int to, const TimedEvent* events,
                              int count) {
    list_.clear();
    for (int e = 0; e < count; ++e) {
        if (events[e].kind != TimedEvent::Kind::Midi) continue;
        list_.addMidi(events[e].frame - from, events[e].midi[0], events[e].midi[1],
                      events[e].midi[2]);
    }
    plugin_.sendEvents(list_.get());
    for (std::size_t c = 0; c < span_.size(); ++c) span_[c] = outputs[c] + from;
    plugin_.process(inputs_.data(), span_.data(), to - from);
}

}  // namespace corvalen::test
