#include "tools/render/wav_writer.h"

#include <algorithm>
#include <cmath>

namespace corvalen::render {

WavWriter::WavWriter(const std::string& path, int channels, int sampleRate, SampleFormat format,
                     int maxFrames)
    : path_(path), channels_(channels), integer_(format != SampleFormat::kFloat32) {
    if (channels <= 0) throw OutputError("cannot write " + path + ": no channels to write");
    SF_INFO info = {};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == SampleFormat::kPcm16   ? SF_FORMAT_PCM_16
                                   : format == SampleFormat::kPcm24 ? SF_FORMAT_PCM_24
                                                                    : SF_FORMAT_FLOAT);
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) throw OutputError("cannot write " + path + ": " + sf_strerror(nullptr));
    // Without clipping, libsndfile wraps samples beyond full scale round to the other sign.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    interleaved_.resize(static_cast<std::size_t>(channels) * static_cast<std::size_t>(maxFrames));
}

WavWriter::~WavWriter() {
    try {
        close();
    } catch (const OutputError&) {
        // A destructor cannot report; callers that care call close() themselves.
    }
}

void WavWriter::write(const float* const* channels, int channelCount, int frames) {
    const std::size_t maxFrames = interleaved_.size() / static_cast<std::size_t>(channels_);
    int done = 0;
    while (done < frames) {
        const int count = static_cast<int>(std::min<std::size_t>(maxFrames, frames - done));
        float* out = interleaved_.data();
        for (int frame = done; frame < done + count; ++frame) {
            for (int channel = 0; channel < channels_; ++channel) {
                float sample = channel < channelCount ? channels[channel][frame] : 0.0f;
                // A NaN has no integer sample; it is written as silence (the summary counts it).
                if (integer_ && std::isnan(sample)) sample = 0.0f;
                *out++ = sample;
            }
        }
        if (sf_writef_float(file_, interleaved_.data(), count) != count) {
            throw OutputError("cannot write " + path_ + ": " + sf_strerror(file_));
        }
        done += count;
    }
}

void WavWriter::close() {
    if (!file_) return;
    SNDFILE* file = file_;
    file_ = nullptr;
    if (sf_close(file) != 0) throw OutputError("cannot finish " + path_);
}

}  // namespace corvalen::render
