// Plays a source that runs at a fixed rate (the instrument computes at 44,100 frames per
// second) at any session rate, block by block, inside an audio callback.
//
// Timing contract. Output frames are counted from set-up or reset(); output frame n
// corresponds to source frame E(n) = round(n x sourceRate / targetRate), halves up, in exact
// integer arithmetic (RateRatio::sourceFrameAt). A process() call for output frames
// [n0, n0 + frames) renders source frames [E(n0), E(n0 + frames)): never more than
// ceil(frames x sourceRate / targetRate), and the same count in every run. An event at frame
// f of that call reaches the source at source frame E(n0 + f): in this call's render, or at
// offset 0 of the next render when E(n0 + f) = E(n0 + frames) (the source is behind by less
// than one of its frames). Output frame n is the source's signal at source time
// (n - latency()) x sourceRate / targetRate, interpolated, so what an event starts comes out
// latency() output frames after the event's own output frame, give or take half a source
// frame (the grain at which the source can place it: within one output frame up to twice the
// source rate). latency() depends on the two rates alone, not on block sizes.
//
// Events: at most maxEvents per call are taken, in the order given; the rest are dropped and
// counted (droppedEvents()). Frames below 0 count as 0, frames at or past the block's end as
// its last frame (a zero-frame call's events as the next call's first frame). Events are
// sorted by frame, equal frames keeping their order. Events held for the next render queue
// up to maxEvents x (ceil(targetRate / sourceRate) + 1); only a run of zero-frame calls can
// overflow that, and what overflows is dropped and counted.
//
// Quality: a Kaiser-windowed sinc (PolyphaseFilter), flat to within its 110 dB design depth up
// to 69 % of the lower rate's Nyquist frequency (15.2 kHz when both rates are 44.1 kHz or
// above; 7.6 kHz at 22,050 Hz), and everything above that Nyquist frequency is rejected by as
// much, so it does not fold back.
//
// A channel that carries the same samples as the first (a mono source on two outputs) over all
// the frames an output's taps reach is not filtered again: the first channel's result is
// copied, which is the same result bit for bit, at half the cost.
//
// When both rates are equal the adapter passes through: the source renders straight into the
// outputs, latency 0, bit-identical.
#pragma once

#include <cstdint>
#include <vector>

#include "rate/polyphase_filter.h"
#include "rate/rate_ratio.h"

namespace corvalen::rate {

// One timed event. The caller gives `frame` as an offset into the output block it asks for;
// the adapter hands it to the source with `frame` rewritten as an offset into the source block.
struct TimedEvent {
    enum class Kind : std::uint8_t { Midi, Parameter };
    std::int32_t frame = 0;
    Kind kind = Kind::Midi;
    std::uint8_t midi[3] = {0, 0, 0};  // Kind::Midi: status, data 1, data 2
    std::int32_t parameter = 0;        // Kind::Parameter: index and new value
    float value = 0.0f;
};

// What runs at the fixed rate: a plug-in's processReplacing behind a small wrapper, or the
// instrument engine. Events arrive sorted by frame (stable: equal frames keep their order),
// each 0 <= frame < frames. frames is at least 1 and at most the adapter's maxSourceFrames().
class FixedRateSource {
public:
    virtual ~FixedRateSource() = default;
    virtual void render(float* const* outputs, int frames, const TimedEvent* events, int count) = 0;
};

struct AdapterSetup {
    double sourceRate = 44100.0;  // the source's fixed rate, 8,000 to 384,000
    double targetRate = 48000.0;  // the session's rate, 8,000 to 384,000
    int channels = 2;             // 1 to kMaxChannels
    int maxBlock = 4096;          // largest output block process() will be asked for
    int maxEvents = 1024;         // most events one process() call may carry
};

class RateAdapter {
public:
    static constexpr double kMinRate = 8000.0;
    static constexpr double kMaxRate = 384000.0;
    static constexpr int kMaxChannels = 64;
    static constexpr int kMaxBlockLimit = 1 << 20;
    static constexpr int kMaxEventsLimit = 1 << 16;

    // Allocates everything; off the audio thread. Rates are taken to the nearest whole hertz.
    // Throws std::invalid_argument, naming the field, for a value outside its range.
    explicit RateAdapter(const AdapterSetup& setup);

    int latency() const { return latency_; }  // output frames, constant for this setup
    int maxSourceFrames() const { return maxSourceFrames_; }  // per block of up to maxBlock
    // Most events one render hands the source: this call's and those held from earlier ones.
    int maxSourceEvents() const { return static_cast<int>(queue_.size()); }
    bool passesThrough() const { return ratio_.isIdentity(); }
    const RateRatio& ratio() const { return ratio_; }
    double passBandEdge() const { return filter_.passBandEdge(); }  // Hz
    std::uint64_t droppedEvents() const { return droppedEvents_; }

    // Real time: no allocation, lock or system call. 0 <= frames <= maxBlock (a larger block
    // is processed in pieces of maxBlock, a negative one as 0); outputs hold `channels`
    // buffers of `frames` samples. Events follow the rules above.
    void process(FixedRateSource& source, float* const* outputs, int frames,
                 const TimedEvent* events, int count);

    // Silence and empty queues, the frame count back to 0, same latency.
    void reset();

private:
    void takeEvents(const TimedEvent* events, int count, int frames);
    void processPiece(FixedRateSource& source, float* const* outputs, int offset, int frames,
                      int firstEvent, int endEvent);
    int routeEvents(int offset, int firstEvent, int endEvent, std::int64_t chunkEnd);
    void interpolate(float* const* outputs, int offset, int frames);
    void noteDifferences(int frames);
    void keepHistory();
    void advance(int frames);

    RateRatio ratio_;
    PolyphaseFilter filter_;
    int channels_;
    int maxBlock_;
    int maxEvents_;
    int latency_ = 0;
    int maxSourceFrames_ = 0;

    std::vector<std::vector<float>> history_;  // source frames from bufferStart_ on, per channel
    std::vector<float*> sourceOutputs_;
    // Per channel, the source frame from which it has equalled the first channel, bit for bit.
    std::vector<std::int64_t> sameAsFirstFrom_;
    std::vector<float> rowScratch_;
    std::vector<TimedEvent> incoming_;  // this call's events, clamped and sorted
    int incomingCount_ = 0;
    // Held events first (all at offset 0 of the next render), then those routed to the
    // current render, then those the current call holds.
    std::vector<TimedEvent> queue_;
    int heldCount_ = 0;
    std::uint64_t droppedEvents_ = 0;

    std::int64_t outputPhase_ = 0;  // the next output frame, modulo ratio_.outputStep()
    std::int64_t sourceBase_ = 0;   // E(next output frame - outputPhase_)
    std::int64_t rendered_ = 0;     // source frames rendered so far
    std::int64_t bufferStart_ = 0;  // source frame held in history_[c][0] (may be negative)
    std::int64_t readFrame_ = 0;    // the next output's position: readFrame_ + readPhase_ / step
    std::int64_t readPhase_ = 0;
};

}  // namespace corvalen::rate
