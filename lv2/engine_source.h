#pragma once

#include "rate/rate_adapter.h"
#include "synth/engine.h"

namespace corvalen::lv2 {

// The engine as a source at its own rate, 44,100 samples per second: one render is one block,
// its events one list through the same intake as a VST 2 event list. A parameter event takes
// effect at the start of that block, as a VST 2 setParameter before the block does.
class EngineSource final : public rate::FixedRateSource {
public:
    explicit EngineSource(CorvalenEngine& engine) : engine(engine) {}
    void render(float* const* outputs, int frames, const rate::TimedEvent* events,
                int count) override;

private:
    CorvalenEngine& engine;
};

}  // namespace corvalen::lv2
