// WAV output through libsndfile.
#pragma once

#include <sndfile.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tools/render/renderer.h"

namespace corvalen::render {

enum class SampleFormat { kPcm16, kPcm24, kFloat32 };

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class WavWriter : public AudioSink {
public:
    // Opens (creates or truncates) the file; throws OutputError when it cannot be written.
    WavWriter(const std::string& path, int channels, int sampleRate, SampleFormat format,
              int maxFrames);
    ~WavWriter() override;
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Interleaves and appends; throws OutputError on a write failure (disk full).
    void write(const float* const* channels, int channelCount, int frames) override;
    // Finishes the header; throws OutputError if that fails. Called by the destructor too.
    void close();

private:
    std::string path_;
    SNDFILE* file_ = nullptr;
    int channels_;
    bool integer_;
    std::vector<float> interleaved_;
};

}  // namespace corvalen::render
