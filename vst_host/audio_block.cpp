#include "vst_host/audio_block.h"

#include <algorithm>
#include <cstring>

namespace corvalen::vsthost {
namespace {

std::vector<float> guardedChannel(std::size_t frames, float value) {
    std::vector<float> samples(frames + AudioBlock::kGuardSamples, AudioBlock::kGuardValue);
    std::fill_n(samples.begin(), frames, value);
    return samples;
}

}  // namespace

AudioBlock::AudioBlock(std::size_t frames, float initialOutput, int inputCount, int outputCount)
    : frames_(frames) {
    for (int c = 0; c < inputCount; ++c) inputs_.push_back(guardedChannel(frames, 0.0f));
    for (int c = 0; c < outputCount; ++c) outputs_.push_back(guardedChannel(frames, initialOutput));
    for (auto& samples : inputs_) inputPointers_.push_back(samples.data());
    for (auto& samples : outputs_) outputPointers_.push_back(samples.data());
    // Hosts hand a valid array even for no channels.
    inputPointers_.push_back(nullptr);
    outputPointers_.push_back(nullptr);
}

std::vector<float> AudioBlock::channel(int index) const {
    const auto& samples = outputs_[static_cast<std::size_t>(index)];
    return std::vector<float>(samples.begin(), samples.begin() + static_cast<long>(frames_));
}

bool AudioBlock::guardsIntact() const {
    for (const auto* set : {&inputs_, &outputs_}) {
        for (const auto& samples : *set) {
            for (std::size_t i = frames_; i < frames_ + kGuardSamples; ++i) {
                // Bit comparison: a write of the same value would still be a write.
                if (std::memcmp(&samples[i], &kGuardValue, sizeof(float)) != 0) return false;
            }
        }
    }
    return true;
}

}  // namespace corvalen::vsthost
