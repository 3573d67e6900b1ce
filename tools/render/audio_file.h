// Audio files out (WAV, FLAC, Ogg Vorbis, AIFF through libsndfile) and in (for effects), and
// the safe way of putting an output in place.
//
// Nothing half-written ever carries the output's name: audio goes to a temporary file beside
// the target, which replaces the target only once the render has succeeded. An error, Ctrl-C
// (SIGINT), SIGTERM, SIGHUP, or a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT) removes the
// temporary file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/render/exit_code.h"

typedef struct sf_private_tag SNDFILE;

namespace corvalen::render {

enum class SampleFormat { kPcm16, kPcm24, kFloat32 };
enum class Container { kWav, kFlac, kOgg, kAiff };

class OutputError : public ToolError {
public:
    explicit OutputError(const std::string& message) : ToolError(kExitOutput, message) {}
};

// "wav", "flac", "ogg" (Vorbis) or "aiff", from a file's extension (any case; also .oga, .aif)
// or from a --type name. Empty when unknown.
std::optional<Container> containerFromExtension(const std::string& extension);
// The container a file name asks for; throws OutputError listing the known extensions.
Container containerForPath(const std::string& path);
const char* containerName(Container container);
const char* containerExtension(Container container);
// WAV and AIFF headers are completed after the last sample; FLAC and Ogg stream.
bool needsSeeking(Container container);
// The sample format used when none is asked for, and whether one may be asked for at all;
// throws OutputError when the container cannot hold `format`.
SampleFormat checkedSampleFormat(Container container, std::optional<SampleFormat> format);
// True when the container stores integers, which cannot hold samples beyond full scale.
bool clipsBeyondFullScale(Container container, SampleFormat format);

// Where interleaved audio goes.
class InterleavedSink {
public:
    virtual ~InterleavedSink() = default;
    virtual void write(const float* samples, int frames) = 0;
};

// Writes interleaved float frames into an open file descriptor in the given container.
class AudioFileWriter : public InterleavedSink {
public:
    // `name` is only for messages. Throws OutputError.
    AudioFileWriter(int fd, const std::string& name, Container container, SampleFormat format,
                    int channels, int sampleRate);
    ~AudioFileWriter() override;
    AudioFileWriter(const AudioFileWriter&) = delete;
    AudioFileWriter& operator=(const AudioFileWriter&) = delete;

    // Throws OutputError on a write failure (disk full).
    void write(const float* samples, int frames) override;
    // Finishes the header; throws OutputError if that fails.
    void close();

private:
    void flush();

    std::string name_;
    SNDFILE* file_ = nullptr;
    int channels_;
    // Frames are gathered into large writes: one write call per processing block would cost
    // more in the kernel than the conversion itself.
    std::vector<float> pending_;
    std::size_t pendingFrames_ = 0;
};

// The output file being written: a temporary file beside the target, or standard output.
class OutputTarget {
public:
    // "-" is standard output (refused when it is a terminal). Otherwise creates the temporary
    // file; with `noClobber` an existing target is refused. Throws OutputError.
    // `needsSeeking`: the container's header is completed at the end (WAV, AIFF). Such a file
    // bound for a pipe is assembled in an anonymous temporary file and copied out whole.
    OutputTarget(const std::string& path, bool noClobber, bool needsSeeking);
    ~OutputTarget();  // removes the temporary file unless committed
    OutputTarget(const OutputTarget&) = delete;
    OutputTarget& operator=(const OutputTarget&) = delete;

    int fd() const { return fd_; }
    bool isStdout() const { return stdout_; }
    bool replacesExistingFile() const { return existed_; }
    const std::string& path() const { return path_; }
    // Flushes the temporary file to disk and renames it to the target.
    void commit();

private:
    std::string path_;
    std::string temporary_;
    int fd_ = -1;
    bool stdout_ = false;
    bool existed_ = false;
    int cleanupSlot_ = -1;
    bool copyToStdout_ = false;
};

// Installs the handlers that remove temporary outputs on SIGINT, SIGTERM and SIGHUP, and on
// the signals of a crash (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT), and makes a file-size
// limit (SIGXFSZ) an ordinary write error.
void installOutputCleanup();

// True when both paths name the same existing file (same device and inode: links and other
// spellings of one file included).
bool sameFile(const std::string& a, const std::string& b);

// Interleaved float frames kept in an anonymous temporary file (already unlinked, so nothing
// is left behind whatever happens), to be read back once: long renders do not have to fit
// in memory.
class FloatSpool : public InterleavedSink {
public:
    explicit FloatSpool(int channels);
    ~FloatSpool() override;
    FloatSpool(const FloatSpool&) = delete;
    FloatSpool& operator=(const FloatSpool&) = delete;

    void write(const float* samples, int frames) override;
    // After the last write: up to `maxFrames` frames into `out`; 0 at the end.
    int read(float* out, int maxFrames);

private:
    int fd_ = -1;
    int channels_;
    bool reading_ = false;
};

// A whole audio file read into memory, interleaved.
struct AudioData {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;
    std::int64_t frames() const {
        return channels > 0 ? static_cast<std::int64_t>(samples.size()) / channels : 0;
    }
};
// Throws OutputError's sibling InputError naming the file.
class InputError : public ToolError {
public:
    explicit InputError(const std::string& message) : ToolError(kExitMidi, message) {}
};
AudioData readAudioFile(const std::string& path);

}  // namespace corvalen::render
