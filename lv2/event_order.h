#pragma once

#include "lv2/rate_interface.h"

namespace corvalen::lv2 {

// Puts one run's events into the order a FixedRateSource takes them: each frame clamped into
// [0, frames) (a negative frame to 0, one at or past the end to the last frame; with 0 frames,
// to 0), then sorted by frame, equal frames keeping the host's order. Hosts have sent both
// unsorted events and frames outside the block; clamping keeps every event, so a late release
// never hangs a note. In place, without allocation: an insertion sort, linear for the sorted
// lists hosts normally send.
void orderForSource(rate::TimedEvent* events, int count, int frames);

}  // namespace corvalen::lv2
