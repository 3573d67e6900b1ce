// Input and output channels for one processing call, each followed by guard samples that show
// whether a plug-in wrote past the end of the block.
#pragma once

#include <cstddef>
#include <vector>

namespace corvalen::vsthost {

class AudioBlock {
public:
    static constexpr std::size_t kGuardSamples = 16;
    // A value no plug-in produces by accident.
    static constexpr float kGuardValue = -12345.5f;

    // Inputs hold silence, outputs `initialOutput`.
    explicit AudioBlock(std::size_t frames, float initialOutput = 0.0f, int inputCount = 2,
                        int outputCount = 2);

    std::size_t frames() const { return frames_; }
    int inputCount() const { return static_cast<int>(inputs_.size()); }
    int outputCount() const { return static_cast<int>(outputs_.size()); }
    float** inputs() { return inputPointers_.data(); }
    float** outputs() { return outputPointers_.data(); }
    float* input(int index) { return inputs_[static_cast<std::size_t>(index)].data(); }
    float* output(int index) { return outputs_[static_cast<std::size_t>(index)].data(); }
    const float* left() const { return outputs_[0].data(); }
    const float* right() const { return outputs_[1].data(); }
    // The first frames() samples of an output.
    std::vector<float> channel(int index) const;
    // True while nothing was written after the end of any channel.
    bool guardsIntact() const;

private:
    std::size_t frames_;
    std::vector<std::vector<float>> inputs_;
    std::vector<std::vector<float>> outputs_;
    std::vector<float*> inputPointers_;
    std::vector<float*> outputPointers_;
};

}  // namespace corvalen::vsthost
