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
    const auto stride = static_cast<std::size_t>(channels_);
    for (std::size_t f = 0; f < count; ++f) {
        float* frame = samples_.data() + ((written + f) & (capacity_ - 1)) * stride;
        for (std::size_t c = 0; c < stride; ++c) frame[c] = outputs[c][f];
    }
    written_.store(written + count, std::memory_order_release);
    return true;
}

std::size_t RecordRing::pop(float* out, std::size_t maxFrames) {
    const std::uint64_t read = read_.load(std::memory_order_relaxed);
    const std::uint64_t written = written_.load(std::memory_order_acquire);
    const std::size_t count = std::min(static_cast<std::size_t>(written - read), maxFrames);
    const auto stride = static_cast<std::size_t>(channels_);
    for (std::size_t f = 0; f < count; ++f) {
        const float* frame = samples_.data() + ((read + f) & (capacity_ - 1)) * stride;
        std::copy(frame, frame + stride, out + f * stride);
    }
    read_.store(read + count, std::memory_order_release);
    return count;
}

}  // namespace corvalen::play
