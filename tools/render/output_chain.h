// What happens to the plug-in's output on its way to the file: interleaving, conversion to
// the output rate, gain, level statistics, and NaN made writable.
#pragma once

#include <memory>
#include <vector>

#include "tools/render/audio_file.h"
#include "tools/render/renderer.h"
#include "tools/render/signal_stats.h"

struct soxr;

namespace corvalen::render {

// Streaming sample-rate conversion of interleaved float frames (libsoxr, high quality:
// 20-bit precision, passband to 91 % of the lower Nyquist frequency).
class Resampler {
public:
    Resampler(double inputRate, double outputRate, int channels);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Converts `frames` input frames; `out` receives the frames ready so far. `flush` (with
    // no input) drains what the filter still holds at the end.
    void process(const float* input, int frames, std::vector<float>& out);
    void flush(std::vector<float>& out);

    // Converts a whole buffer at once.
    static std::vector<float> convert(const std::vector<float>& input, double inputRate,
                                      double outputRate, int channels);

private:
    soxr* state_ = nullptr;
    int channels_;
    double ratio_;
};

class OutputChain : public AudioSink {
public:
    // Frames arrive at `renderRate`; they leave at `outputRate` into `target`, times `gain`.
    OutputChain(InterleavedSink& target, int channels, int renderRate, int outputRate, double gain,
                int maxFrames);
    ~OutputChain() override;

    void write(const float* const* channels, int channelCount, int frames) override;
    // Interleaved frames already at the output rate: gain, statistics, NaN, then the target.
    // Changes the samples in place.
    void writeInterleaved(float* samples, int frames);
    // NaN cannot be stored as an integer; float files keep what the plug-in gave.
    void setReplaceNaN(bool replace) { replaceNaN_ = replace; }
    // Drains the resampler; call once after the last write.
    void finish();

    const SignalStats& stats() const { return stats_; }

private:
    InterleavedSink& target_;
    int channels_;
    float gain_;
    bool replaceNaN_ = true;
    std::unique_ptr<Resampler> resampler_;
    std::vector<float> interleaved_;
    std::vector<float> resampled_;
    SignalStats stats_;
};

// Multiplies interleaved samples in place and replaces NaN by 0 (an integer file has no NaN;
// the summary has counted them).
void applyGain(float* samples, std::size_t count, float gain);
void replaceNaN(float* samples, std::size_t count);

}  // namespace corvalen::render
