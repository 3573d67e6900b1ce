#include "rate/rate_adapter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace corvalen::rate {
namespace {

std::int64_t wholeRate(double rate, const char* field) {
    if (!(rate >= RateAdapter::kMinRate - 0.5 && rate < RateAdapter::kMaxRate + 0.5)) {
        throw std::invalid_argument(std::string("rate adapter: ") + field + " " +
                                    std::to_string(rate) + " Hz is outside 8,000 to 384,000 Hz");
    }
    return static_cast<std::int64_t>(std::floor(rate + 0.5));
}

int checkedCount(int value, int low, int high, const char* field) {
    if (value < low || value > high) {
        throw std::invalid_argument(std::string("rate adapter: ") + field + " " +
                                    std::to_string(value) + " is outside " + std::to_string(low) +
                                    " to " + std::to_string(high));
    }
    return value;
}

// The smallest latency at which every output's last tap has been rendered by the end of the
// call that asks for it. The call ending at output frame N has rendered [0, E(N)); output
// N - 1 reaches source frame floor((N - 1 - latency) M / L) + lookahead, which must be below
// E(N). Solved for the latency, per N; the condition repeats every L output frames.
int minimumLatency(const RateRatio& ratio, int lookahead) {
    const std::int64_t m = ratio.sourceStep();
    const std::int64_t l = ratio.outputStep();
    std::int64_t latency = 0;
    for (std::int64_t n = 1; n <= l; ++n) {
        const std::int64_t excess = (n - 1) * m - (ratio.sourceFrameAt(n) - lookahead) * l;
        latency = std::max(latency, floorDivide(excess, m) + 1);
    }
    return static_cast<int>(latency);
}

std::int64_t ceilDivide(std::int64_t numerator, std::int64_t denominator) {
    return -floorDivide(-numerator, denominator);
}

}  // namespace

RateAdapter::RateAdapter(const AdapterSetup& setup)
    : ratio_(wholeRate(setup.sourceRate, "source rate"),
             wholeRate(setup.targetRate, "target rate")),
      filter_(ratio_, wholeRate(setup.sourceRate, "source rate"),
              wholeRate(setup.targetRate, "target rate")),
      channels_(checkedCount(setup.channels, 1, kMaxChannels, "channel count")),
      maxBlock_(checkedCount(setup.maxBlock, 1, kMaxBlockLimit, "largest block")),
      maxEvents_(checkedCount(setup.maxEvents, 0, kMaxEventsLimit, "most events per call")) {
    const std::int64_t m = ratio_.sourceStep();
    const std::int64_t l = ratio_.outputStep();
    maxSourceFrames_ = static_cast<int>(ceilDivide(maxBlock_ * m, l));
    std::size_t historySize = 0;
    if (!passesThrough()) {
        latency_ = minimumLatency(ratio_, filter_.lookahead());
        // Kept between calls: at most ceil(latency M / L) + taps - lookahead + 1 frames.
        historySize = static_cast<std::size_t>(maxSourceFrames_ + ceilDivide(latency_ * m, l) +
                                               filter_.taps() + 2);
    }
    history_.assign(static_cast<std::size_t>(channels_), std::vector<float>(historySize));
    sourceOutputs_.resize(static_cast<std::size_t>(channels_));
    sameAsFirstFrom_.resize(static_cast<std::size_t>(channels_));
    rowScratch_.resize(static_cast<std::size_t>(filter_.taps()));
    incoming_.resize(static_cast<std::size_t>(maxEvents_));
    const std::size_t heldCapacity =
        static_cast<std::size_t>(maxEvents_) * static_cast<std::size_t>(ceilDivide(l, m) + 1);
    queue_.resize(heldCapacity + static_cast<std::size_t>(maxEvents_));
    reset();
}

void RateAdapter::reset() {
    for (auto& channel : history_) std::fill(channel.begin(), channel.end(), 0.0f);
    // All silence so far: every channel equals the first.
    std::fill(sameAsFirstFrom_.begin(), sameAsFirstFrom_.end(),
              std::numeric_limits<std::int64_t>::min());
    incomingCount_ = 0;
    heldCount_ = 0;
    droppedEvents_ = 0;
    outputPhase_ = 0;
    sourceBase_ = 0;
    rendered_ = 0;
    // The first outputs look at source time before frame 0: silence, already in place.
    const std::int64_t start = -static_cast<std::int64_t>(latency_) * ratio_.sourceStep();
    readFrame_ = floorDivide(start, ratio_.outputStep());
    readPhase_ = start - readFrame_ * ratio_.outputStep();
    bufferStart_ = readFrame_ - (filter_.taps() - filter_.lookahead()) + 1;
}

void RateAdapter::process(FixedRateSource& source, float* const* outputs, int frames,
                          const TimedEvent* events, int count) {
    frames = std::max(frames, 0);
    takeEvents(events, count, frames);
    int done = 0;
    int firstEvent = 0;
    do {
        const int piece = std::min(frames - done, maxBlock_);
        const int end = done + piece;
        int endEvent = firstEvent;
        while (endEvent < incomingCount_ && (end == frames || incoming_[endEvent].frame < end)) {
            ++endEvent;
        }
        processPiece(source, outputs, done, piece, firstEvent, endEvent);
        firstEvent = endEvent;
        done = end;
    } while (done < frames);
}

void RateAdapter::takeEvents(const TimedEvent* events, int count, int frames) {
    const int taken = events ? std::clamp(count, 0, maxEvents_) : 0;
    if (events && count > taken) droppedEvents_ += static_cast<std::uint64_t>(count - taken);
    const int last = std::max(frames - 1, 0);
    // Insertion sort: stable, no allocation, and linear for the usual already sorted list.
    for (int i = 0; i < taken; ++i) {
        TimedEvent event = events[i];
        event.frame = std::clamp(event.frame, 0, last);
        int j = i;
        while (j > 0 && incoming_[j - 1].frame > event.frame) {
            incoming_[j] = incoming_[j - 1];
            --j;
        }
        incoming_[j] = event;
    }
    incomingCount_ = taken;
}

void RateAdapter::processPiece(FixedRateSource& source, float* const* outputs, int offset,
                               int frames, int firstEvent, int endEvent) {
    const std::int64_t chunkEnd = sourceBase_ + ratio_.sourceFrameAt(outputPhase_ + frames);
    const int chunk = static_cast<int>(chunkEnd - rendered_);
    const int routed = routeEvents(offset, firstEvent, endEvent, chunkEnd);
    if (chunk > 0) {
        for (int c = 0; c < channels_; ++c) {
            sourceOutputs_[c] = passesThrough() ? outputs[c] + offset
                                                : history_[c].data() + (rendered_ - bufferStart_);
        }
        source.render(sourceOutputs_.data(), chunk, queue_.data(), routed);
        if (!passesThrough()) noteDifferences(chunk);
        // What this call holds moves to the front, at offset 0 of the next render.
        const int held = heldCount_ - routed;
        std::copy(queue_.begin() + routed, queue_.begin() + heldCount_, queue_.begin());
        heldCount_ = held;
    }
    rendered_ = chunkEnd;
    if (!passesThrough()) {
        interpolate(outputs, offset, frames);
        keepHistory();
    }
    advance(frames);
}

// Appends this piece's events to the queue behind those already held: first the ones that
// fall inside the render [rendered_, chunkEnd) with their offsets, then the ones held for the
// next render. Returns how many go to this render; heldCount_ becomes the queue's length.
int RateAdapter::routeEvents(int offset, int firstEvent, int endEvent, std::int64_t chunkEnd) {
    int length = heldCount_;
    // Held events are due at the start of this render unless it is empty.
    int routed = chunkEnd > rendered_ ? heldCount_ : 0;
    const int capacity = static_cast<int>(queue_.size());
    for (int i = firstEvent; i < endEvent; ++i) {
        const std::int64_t frame =
            sourceBase_ + ratio_.sourceFrameAt(outputPhase_ + (incoming_[i].frame - offset));
        if (length == capacity) {
            ++droppedEvents_;
            continue;
        }
        TimedEvent& queued = queue_[static_cast<std::size_t>(length++)];
        queued = incoming_[i];
        if (frame < chunkEnd) {
            queued.frame = static_cast<std::int32_t>(frame - rendered_);
            ++routed;
        } else {
            queued.frame = 0;  // frame == chunkEnd: the next render's first frame
        }
    }
    heldCount_ = length;
    return routed;
}

// A channel that differs anywhere in the frames just rendered counts as different up to their
// end. Finding the last differing frame would let it rejoin a few outputs sooner, no more.
void RateAdapter::noteDifferences(int frames) {
    const std::size_t from = static_cast<std::size_t>(rendered_ - bufferStart_);
    const float* first = history_[0].data() + from;
    for (int c = 1; c < channels_; ++c) {
        if (std::memcmp(history_[c].data() + from, first, sizeof(float) * frames) != 0) {
            sameAsFirstFrom_[c] = rendered_ + frames;
        }
    }
}

// A channel equal to the first over every frame this block's first output reaches is equal
// over the later outputs' too (they reach further on): it takes the first channel's result.
void RateAdapter::interpolate(float* const* outputs, int offset, int frames) {
    const std::int64_t reach = readFrame_ + 1 - (filter_.taps() - filter_.lookahead());
    const auto start = static_cast<std::size_t>(reach - bufferStart_);
    PolyphaseFilter::Advance next;
    for (int c = 0; c < channels_; ++c) {
        float* out = outputs[c] + offset;
        if (c > 0 && reach >= sameAsFirstFrom_[c]) {
            std::memmove(out, outputs[0] + offset,
                         sizeof(float) * static_cast<std::size_t>(frames));
        } else {
            next = filter_.filter(history_[c].data() + start, readPhase_, frames, out,
                                  rowScratch_.data());
        }
    }
    readFrame_ += next.frames;
    readPhase_ = next.phase;
}

// Drops the source frames no later output reaches and moves the rest to the front.
void RateAdapter::keepHistory() {
    const std::int64_t keepFrom = readFrame_ + 1 - (filter_.taps() - filter_.lookahead());
    const std::size_t drop = static_cast<std::size_t>(keepFrom - bufferStart_);
    const std::size_t kept = static_cast<std::size_t>(rendered_ - keepFrom);
    for (auto& channel : history_) {
        std::copy(channel.begin() + drop, channel.begin() + drop + kept, channel.begin());
    }
    bufferStart_ = keepFrom;
}

void RateAdapter::advance(int frames) {
    outputPhase_ += frames;
    sourceBase_ += outputPhase_ / ratio_.outputStep() * ratio_.sourceStep();
    outputPhase_ %= ratio_.outputStep();
}

}  // namespace corvalen::rate
