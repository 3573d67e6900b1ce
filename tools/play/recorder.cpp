#include "tools/play/recorder.h"

#include <chrono>
#include <vector>

namespace corvalen::play {
namespace {

// The ring holds this much; the writer wakes ten times as often, so only a disk slower than
// real time for seconds on end makes the player drop frames.
constexpr double kRingSeconds = 4.0;
constexpr auto kWakeInterval = std::chrono::milliseconds(20);
constexpr std::size_t kChunkFrames = 8192;

render::Container checkedContainer(const std::string& path) {
    try {
        return render::containerForPath(path);
    } catch (const render::OutputError& error) {
        throw render::UsageError(std::string("--record: ") + error.what());
    }
}

}  // namespace

Recorder::Recorder(const std::string& path, std::optional<render::SampleFormat> format,
                   int channels, int sampleRate)
    : target_(path, false, render::needsSeeking(checkedContainer(path))),
      ring_(channels, static_cast<std::size_t>(kRingSeconds * sampleRate)) {
    const render::Container container = checkedContainer(path);
    writer_ = std::make_unique<render::AudioFileWriter>(
        target_.fd(), path, container, render::checkedSampleFormat(container, format), channels,
        sampleRate);
}

Recorder::~Recorder() {
    if (thread_.joinable()) {
        stopping_ = true;
        thread_.join();
    }
}

void Recorder::start() {
    thread_ = std::thread([this] { run(); });
}

void Recorder::run() {
    while (!stopping_.load()) {
        drain();
        std::this_thread::sleep_for(kWakeInterval);
    }
}

void Recorder::drain() {
    if (failed_.load()) return;
    std::vector<float> chunk(kChunkFrames * static_cast<std::size_t>(ring_.channels()));
    try {
        while (const std::size_t frames = ring_.pop(chunk.data(), kChunkFrames)) {
            writer_->write(chunk.data(), static_cast<int>(frames));
            written_ += static_cast<std::int64_t>(frames);
        }
    } catch (const render::OutputError& error) {
        error_ = error.what();
        failed_ = true;
    }
}

void Recorder::finish() {
    if (thread_.joinable()) {
        stopping_ = true;
        thread_.join();
    }
    drain();
    if (failed_) throw render::OutputError(error_);
    writer_->close();
    target_.commit();
}

}  // namespace corvalen::play
