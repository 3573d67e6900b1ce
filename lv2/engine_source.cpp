#include "lv2/engine_source.h"

#include "synth/rendering_loop.h"

namespace corvalen::lv2 {

void EngineSource::render(float* const* outputs, int frames, const rate::TimedEvent* events,
                          int count) {
    engine.beginEvents();
    for (int i = 0; i < count; ++i) {
        const rate::TimedEvent& event = events[i];
        if (event.kind == rate::TimedEvent::Kind::Midi) {
            engine.addMidi(event.frame, event.midi[0], event.midi[1], event.midi[2]);
        } else {
            engine.setParameter(event.parameter, event.value);
        }
    }
    engine.renderReplacing(outputs, frames);
}

}  // namespace corvalen::lv2
