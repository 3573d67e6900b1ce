#include "tools/render/output_chain.h"

#include <soxr.h>

#include <cmath>
#include <stdexcept>

namespace corvalen::render {

Resampler::Resampler(double inputRate, double outputRate, int channels)
    : channels_(channels), ratio_(outputRate / inputRate) {
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: the machine's other cores belong to the plug-in and to other jobs, and the
    // result does not depend on it.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t error = nullptr;
    state_ = soxr_create(inputRate, outputRate, static_cast<unsigned>(channels), &error, &io,
                         &quality, &runtime);
    if (!state_ || error) {
        throw std::runtime_error(std::string("cannot convert the sample rate: ") +
                                 (error ? error : "unknown error"));
    }
}

Resampler::~Resampler() {
    soxr_delete(state_);
}

void Resampler::process(const float* input, int frames, std::vector<float>& out) {
    const std::size_t room = static_cast<std::size_t>(std::ceil(frames * ratio_)) + 64;
    if (out.size() < room * channels_) out.resize(room * channels_);
    std::size_t used = 0;
    std::size_t made = 0;
    std::size_t total = 0;
    std::size_t consumed = 0;
    while (consumed < static_cast<std::size_t>(frames)) {
        if (out.size() < (total + 64) * channels_) out.resize((total + 64) * 2 * channels_);
        soxr_process(state_, input + consumed * channels_, frames - consumed, &used,
                     out.data() + total * channels_, out.size() / channels_ - total, &made);
        consumed += used;
        total += made;
    }
    out.resize(total * channels_);
}

void Resampler::flush(std::vector<float>& out) {
    std::size_t total = 0;
    std::size_t made = 0;
    out.resize(4096 * static_cast<std::size_t>(channels_));
    do {
        if (out.size() / channels_ - total < 1024) out.resize(out.size() * 2);
        soxr_process(state_, nullptr, 0, nullptr, out.data() + total * channels_,
                     out.size() / channels_ - total, &made);
        total += made;
    } while (made > 0);
    out.resize(total * channels_);
}

std::vector<float> Resampler::convert(const std::vector<float>& input, double inputRate,
                                      double outputRate, int channels) {
    Resampler resampler(inputRate, outputRate, channels);
    std::vector<float> out;
    std::vector<float> piece;
    constexpr std::size_t kChunk = 65536;
    const std::size_t frames = input.size() / static_cast<std::size_t>(channels);
    for (std::size_t start = 0; start < frames; start += kChunk) {
        const std::size_t count = std::min(kChunk, frames - start);
        resampler.process(input.data() + start * channels, static_cast<int>(count), piece);
        out.insert(out.end(), piece.begin(), piece.end());
    }
    resampler.flush(piece);
    out.insert(out.end(), piece.begin(), piece.end());
    return out;
}

OutputChain::OutputChain(InterleavedSink& target, int channels, int renderRate, int outputRate,
                         double gain, int maxFrames)
    : target_(target), channels_(channels), gain_(static_cast<float>(gain)) {
    interleaved_.resize(static_cast<std::size_t>(channels) * static_cast<std::size_t>(maxFrames));
    if (renderRate != outputRate) {
        resampler_ = std::make_unique<Resampler>(renderRate, outputRate, channels);
    }
}

OutputChain::~OutputChain() = default;

void OutputChain::write(const float* const* channels, int channelCount, int frames) {
    const std::size_t needed = static_cast<std::size_t>(channels_) * frames;
    if (interleaved_.size() < needed) interleaved_.resize(needed);
    float* out = interleaved_.data();
    if (channels_ == 2 && channelCount >= 2) {
        const float* left = channels[0];
        const float* right = channels[1];
        for (int frame = 0; frame < frames; ++frame) {
            out[2 * frame] = left[frame];
            out[2 * frame + 1] = right[frame];
        }
    } else {
        for (int channel = 0; channel < channels_; ++channel) {
            const float* in = channel < channelCount ? channels[channel] : nullptr;
            for (int frame = 0; frame < frames; ++frame) {
                out[static_cast<std::size_t>(frame) * channels_ + channel] = in ? in[frame] : 0.0f;
            }
        }
    }
    if (resampler_) {
        resampler_->process(out, frames, resampled_);
        writeInterleaved(resampled_.data(), static_cast<int>(resampled_.size() / channels_));
    } else {
        writeInterleaved(out, frames);
    }
}

void OutputChain::finish() {
    if (!resampler_) return;
    resampler_->flush(resampled_);
    writeInterleaved(resampled_.data(), static_cast<int>(resampled_.size() / channels_));
}

void OutputChain::writeInterleaved(float* samples, int frames) {
    if (frames <= 0) return;
    const std::size_t count = static_cast<std::size_t>(channels_) * frames;
    if (gain_ != 1.0f) applyGain(samples, count, gain_);
    if (stats_.add(samples, channels_, frames) && replaceNaN_) replaceNaN(samples, count);
    target_.write(samples, frames);
}

void applyGain(float* samples, std::size_t count, float gain) {
    for (std::size_t i = 0; i < count; ++i) samples[i] *= gain;
}

void replaceNaN(float* samples, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        if (std::isnan(samples[i])) samples[i] = 0.0f;
    }
}

}  // namespace corvalen::render
