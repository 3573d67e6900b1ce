#include "lv2/event_order.h"

namespace corvalen::lv2 {

void orderForSource(rate::TimedEvent* events, int count, int frames) {
    const int last = frames > 0 ? frames - 1 : 0;
    for (int i = 0; i < count; ++i) {
        rate::TimedEvent event = events[i];
        if (event.frame < 0) event.frame = 0;
        if (event.frame > last) event.frame = last;
        // Only strictly later frames move past it: the sort is stable.
        int place = i;
        while (place > 0 && events[place - 1].frame > event.frame) {
            events[place] = events[place - 1];
            --place;
        }
        events[place] = event;
    }
}

}  // namespace corvalen::lv2
