#include "tools/play/record_ring.h"

#include <algorithm>

namespace corvalen::play {

RecordRing::RecordRing(int channels, std::size_t frames) : channels_(channels), capacity_(1) {
    while (capacity_ < frames) capacity_ *= 2;
    samples_.assign(capacity_ * static_cast<std::size_t>(channels), 0.0f);
}

bool RecordRing::push(const float* const* outputs, int frames) {
    const std::uint64_t written = written_.load(std::memory_order_relaxed);
    const std::uint64_t read = read_.load(std::memory_order_acquire);
    const auto count = static_cast<std::size_t>(frames);
    if (capacity_ - static_cast<std::size_t>(written - read) < count) {
        dropped_.fetch_add(count, std::memory_order_relaxed);
        return false;
    }
    // At most two runs: up to the ring's end, then from its start.
    const std::size_t start = static_cast<std::size_t>(written) & (capacity_ - 1);
    const std::size_t first = std::min(count, capacity_ - start);
    interleave(outputs, 0, first, samples_.data() + start * static_cast<std::size_t>(channels_));
    interleave(outputs, first, count - first, samples_.data());
    written_.store(written + count, std::memory_order_release);
    return true;
}

void RecordRing::interleave(const float* const* outputs, std::size_t from, std::size_t frames,
                            float* to) const {
    const auto stride = static_cast<std::size_t>(channels_);
    for (std::size_t c = 0; c < stride; ++c) {
        const float* channel = outputs[c] + from;
        for (std::size_t f = 0; f < frames; ++f) to[f * stride + c] = channel[f];
    }
}

std::size_t RecordRing::pop(float* out, std::size_t maxFrames) {
    const std::uint64_t read = read_.load(std::memory_order_relaxed);
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    const std::size_t count = std::min(static_cast<std::size_t>(written - read), maxFrames);
    // The frames are interleaved already: at most two runs, up to the ring's end and on.
    const auto stride = static_cast<std::size_t>(channels_);
    const std::size_t start = static_cast<std::size_t>(read) & (capacity_ - 1);
    const std::size_t first = std::min(count, capacity_ - start);
    const float* ring = samples_.data();
    std::copy(ring + start * stride, ring + (start + first) * stride, out);
    std::copy(ring, ring + (count - first) * stride, out + first * stride);
    read_.store(read + count, std::memory_order_release);
    return count;
}

}  // namespace corvalen::play
