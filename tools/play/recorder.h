// --record: a thread that takes the player's output from the ring and writes it through the
// renderer's safe output (a temporary file beside the target, renamed when complete; the
// format by extension, --format). The audio thread only pushes into the ring.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "tools/play/record_ring.h"
#include "tools/render/audio_file.h"
#include "tools/render/option_values.h"

namespace corvalen::play {

class Recorder {
public:
    // Opens the temporary file; throws OutputError (or UsageError for a name it cannot take).
    Recorder(const std::string& path, std::optional<render::SampleFormat> format, int channels,
             int sampleRate);
    ~Recorder();  // without finish(), the temporary file is removed
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    RecordRing& ring() { return ring_; }
    void start();
    // Once the audio thread has stopped: writes what the ring still holds, completes the file
    // and puts it in place. Throws OutputError if the file could not be written.
    void finish();

    // A write error seen by the thread (then it stops writing); empty while all is well.
    bool failed() const { return failed_.load(); }
    std::int64_t framesWritten() const { return written_.load(); }
    const std::string& path() const { return target_.path(); }

private:
    void run();
    void drain();

    render::OutputTarget target_;
    std::unique_ptr<render::AudioFileWriter> writer_;
    RecordRing ring_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> failed_{false};
    std::atomic<std::int64_t> written_{0};
    std::string error_;
};

}  // namespace corvalen::play
