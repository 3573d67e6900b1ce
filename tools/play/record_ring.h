// Hands the player's output from the audio thread to the recording's writer thread without a
// lock: one writer, one reader, interleaved frames in a ring. A period that does not fit is
// dropped whole and counted, so the audio thread never waits for the disk.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvalen::play {

class RecordRing {
public:
    // Room for at least `frames` frames of `channels` channels. Allocates; off the audio thread.
    RecordRing(int channels, std::size_t frames);

    int channels() const { return channels_; }

    // Audio thread: `frames` frames of the planar `outputs`, all of them or none.
    bool push(const float* const* outputs, int frames);
    // Writer thread: up to `maxFrames` interleaved frames into `out`; how many.
    std::size_t pop(float* out, std::size_t maxFrames);

    std::uint64_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

private:
    void interleave(const float* const* outputs, std::size_t from, std::size_t frames,
                    float* to) const;

    int channels_;
    std::size_t capacity_;  // frames, a power of two
    std::vector<float> samples_;
    std::atomic<std::uint64_t> written_{0};  // frames pushed so far
    std::atomic<std::uint64_t> read_{0};     // frames popped so far
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace corvalen::play
