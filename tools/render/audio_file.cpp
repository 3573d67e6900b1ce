#include "tools/render/audio_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace corvalen::render {
namespace {

struct ContainerEntry {
    const char* extension;
    Container container;
};

constexpr ContainerEntry kContainers[] = {
    {"wav", Container::kWav}, {"flac", Container::kFlac}, {"ogg", Container::kOgg},
    {"oga", Container::kOgg}, {"aiff", Container::kAiff}, {"aif", Container::kAiff},
};

constexpr std::size_t kGatheredFrames = 16384;

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string systemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// Temporary outputs the signal handler removes. The paths are written before a slot is
// marked used, so the handler only ever reads complete, terminated paths.
constexpr int kCleanupSlots = 8;
constexpr std::size_t kMaxTemporaryPath = 4096;
char g_temporaryPaths[kCleanupSlots][kMaxTemporaryPath];
volatile sig_atomic_t g_slotUsed[kCleanupSlots];

extern "C" void removeTemporaryOutputs(int signalNumber) {
    // Only async-signal-safe calls: unlink, then the signal again with its default action
    // (SA_RESETHAND restored it), so the process ends as it would have without us.
    for (int i = 0; i < kCleanupSlots; ++i) {
        if (g_slotUsed[i]) unlink(g_temporaryPaths[i]);
    }
    raise(signalNumber);
}

int claimCleanupSlot(const std::string& path) {
    if (path.size() >= kMaxTemporaryPath) return -1;
    for (int i = 0; i < kCleanupSlots; ++i) {
        if (!g_slotUsed[i]) {
            std::memcpy(g_temporaryPaths[i], path.c_str(), path.size() + 1);
            g_slotUsed[i] = 1;
            return i;
        }
    }
    return -1;
}

void releaseCleanupSlot(int slot) {
    if (slot >= 0) g_slotUsed[slot] = 0;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::optional<Container> containerFromExtension(const std::string& extension) {
    const std::string wanted = lowerCase(extension);
    for (const ContainerEntry& entry : kContainers) {
        if (wanted == entry.extension) return entry.container;
    }
    return std::nullopt;
}

Container containerForPath(const std::string& path) {
    const std::string base = baseNameOf(path);
    const std::size_t dot = base.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : base.substr(dot + 1);
    if (const auto container = containerFromExtension(extension)) return *container;
    throw OutputError(
        "cannot tell the audio format of " + path +
        (extension.empty() ? " (no extension)" : " (unknown extension ." + extension + ")") +
        ": known are .wav, .flac, .ogg (Vorbis, also .oga) and .aiff (.aif)");
}

const char* containerName(Container container) {
    switch (container) {
        case Container::kWav:
            return "WAV";
        case Container::kFlac:
            return "FLAC";
        case Container::kOgg:
            return "Ogg Vorbis";
        case Container::kAiff:
            return "AIFF";
    }
    return "?";
}

const char* containerExtension(Container container) {
    switch (container) {
        case Container::kWav:
            return "wav";
        case Container::kFlac:
            return "flac";
        case Container::kOgg:
            return "ogg";
        case Container::kAiff:
            return "aiff";
    }
    return "wav";
}

bool needsSeeking(Container container) {
    return container == Container::kWav || container == Container::kAiff;
}

SampleFormat checkedSampleFormat(Container container, std::optional<SampleFormat> format) {
    if (container == Container::kOgg) {
        // Vorbis encodes a spectrum, not samples: there is no sample format to choose.
        if (format) throw OutputError("Ogg Vorbis has no sample format; leave out --format");
        return SampleFormat::kFloat32;
    }
    if (container == Container::kFlac && format == SampleFormat::kFloat32) {
        throw OutputError("FLAC holds 16- or 24-bit integers, not float: use --format 16 or 24");
    }
    return format.value_or(SampleFormat::kPcm24);
}

bool clipsBeyondFullScale(Container container, SampleFormat format) {
    // Vorbis itself keeps such peaks, but every player decodes it to integers.
    return container == Container::kOgg || format != SampleFormat::kFloat32;
}

AudioFileWriter::AudioFileWriter(int fd, const std::string& name, Container container,
                                 SampleFormat format, int channels, int sampleRate)
    : name_(name), channels_(channels) {
    if (channels <= 0) throw OutputError("cannot write " + name + ": no channels to write");
    int major = SF_FORMAT_WAV;
    int subtype = format == SampleFormat::kPcm16   ? SF_FORMAT_PCM_16
                  : format == SampleFormat::kPcm24 ? SF_FORMAT_PCM_24
                                                   : SF_FORMAT_FLOAT;
    switch (container) {
        case Container::kWav:
            major = SF_FORMAT_WAV;
            break;
        case Container::kFlac:
            major = SF_FORMAT_FLAC;
            break;
        case Container::kAiff:
            major = SF_FORMAT_AIFF;
            break;
        case Container::kOgg:
            major = SF_FORMAT_OGG;
            subtype = SF_FORMAT_VORBIS;
            break;
    }
    SF_INFO info = {};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = major | subtype;
    if (!sf_format_check(&info)) {
        throw OutputError("cannot write " + name + ": " + containerName(container) +
                          " cannot hold " + std::to_string(channels) + " channels at " +
                          std::to_string(sampleRate) + " Hz in this sample format");
    }
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (!file_) throw OutputError("cannot write " + name + ": " + sf_strerror(nullptr));
    // Without clipping, libsndfile wraps samples beyond full scale round to the other sign.
    sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    pending_.resize(static_cast<std::size_t>(channels) * kGatheredFrames);
}

AudioFileWriter::~AudioFileWriter() {
    if (file_) sf_close(file_);
}

void AudioFileWriter::write(const float* samples, int frames) {
    std::size_t left = static_cast<std::size_t>(frames);
    while (left > 0) {
        const std::size_t count = std::min(left, kGatheredFrames - pendingFrames_);
        std::copy(samples, samples + count * channels_,
                  pending_.begin() + static_cast<std::ptrdiff_t>(pendingFrames_ * channels_));
        pendingFrames_ += count;
        samples += count * channels_;
        left -= count;
        if (pendingFrames_ == kGatheredFrames) flush();
    }
}

void AudioFileWriter::flush() {
    const auto frames = static_cast<sf_count_t>(pendingFrames_);
    pendingFrames_ = 0;
    if (frames > 0 && sf_writef_float(file_, pending_.data(), frames) != frames) {
        throw OutputError("cannot write " + name_ + ": " + sf_strerror(file_));
    }
}

void AudioFileWriter::close() {
    if (!file_) return;
    flush();
    SNDFILE* file = file_;
    file_ = nullptr;
    if (sf_close(file) != 0) throw OutputError("cannot finish " + name_);
}

OutputTarget::OutputTarget(const std::string& path, bool noClobber, bool needsSeeking)
    : path_(path) {
    if (path == "-") {
        if (isatty(STDOUT_FILENO)) {
            throw OutputError("standard output is a terminal: send it to a file or a pipe");
        }
        stdout_ = true;
        fd_ = STDOUT_FILENO;
        if (needsSeeking && lseek(STDOUT_FILENO, 0, SEEK_CUR) < 0) {
            const char* folder = std::getenv("TMPDIR");
            std::string temporary =
                std::string(folder && *folder ? folder : "/tmp") + "/corvalen-XXXXXX";
            fd_ = mkostemp(temporary.data(), O_CLOEXEC);
            if (fd_ < 0)
                throw OutputError(
                    systemError("cannot create a temporary file in", folderOf(temporary)));
            unlink(temporary.c_str());
            copyToStdout_ = true;
        }
        return;
    }
    struct stat existing = {};
    if (stat(path.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            throw OutputError("cannot write " + path + ": it is a folder");
        }
        if (noClobber) {
            throw OutputError(path + " exists; not replaced (--no-clobber)");
        }
        existed_ = true;
    }
    // Beside the target, so that the final rename stays on one file system.
    temporary_ = folderOf(path) + "/." + baseNameOf(path) + ".XXXXXX.part";
    fd_ = mkostemps(temporary_.data(), 5, O_CLOEXEC);
    if (fd_ < 0) throw OutputError(systemError("cannot write", path));
    cleanupSlot_ = claimCleanupSlot(temporary_);
    // mkstemp makes the file private; give it the permissions a new file gets.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd_, existed_ ? (existing.st_mode & 07777) : (0666 & ~mask));
}

OutputTarget::~OutputTarget() {
    if (copyToStdout_) close(fd_);
    if (stdout_) return;
    if (fd_ >= 0) close(fd_);
    if (!temporary_.empty()) unlink(temporary_.c_str());
    releaseCleanupSlot(cleanupSlot_);
}

void OutputTarget::commit() {
    if (copyToStdout_) {
        char buffer[1 << 16];
        lseek(fd_, 0, SEEK_SET);
        for (;;) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0)
                throw OutputError(
                    systemError("cannot read back a temporary file for", "standard output"));
            if (got == 0) break;
            for (ssize_t done = 0; done < got;) {
                const ssize_t put =
                    write(STDOUT_FILENO, buffer + done, static_cast<std::size_t>(got - done));
                if (put < 0 && errno == EINTR) continue;
                if (put <= 0) throw OutputError(systemError("cannot write", "standard output"));
                done += put;
            }
        }
        return;
    }
    if (stdout_) return;
    // The data must be on disk before the name moves, or a crash could leave an empty file
    // under the target's name.
    if (fdatasync(fd_) != 0 && errno != EINVAL)
        throw OutputError(systemError("cannot write", path_));
    if (close(fd_) != 0) {
        fd_ = -1;
        throw OutputError(systemError("cannot write", path_));
    }
    fd_ = -1;
    if (rename(temporary_.c_str(), path_.c_str()) != 0) {
        throw OutputError(systemError("cannot put the output in place as", path_));
    }
    temporary_.clear();
    releaseCleanupSlot(cleanupSlot_);
    cleanupSlot_ = -1;
}

void installOutputCleanup() {
    struct sigaction action = {};
    action.sa_handler = removeTemporaryOutputs;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    // A plug-in that crashes while rendering takes the process down too; its temporary file
    // goes with it.
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
        sigaction(signalNumber, &action, nullptr);
    // Past a file-size limit, write() then fails with EFBIG and is reported like a full disk.
    signal(SIGXFSZ, SIG_IGN);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first = {};
    struct stat second = {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

FloatSpool::FloatSpool(int channels) : channels_(channels) {
    const char* folder = std::getenv("TMPDIR");
    std::string path = std::string(folder && *folder ? folder : "/tmp") + "/corvalen-XXXXXX";
    fd_ = mkostemp(path.data(), O_CLOEXEC);
    if (fd_ < 0)
        throw OutputError(systemError("cannot create a temporary file in", folderOf(path)));
    unlink(path.c_str());
}

FloatSpool::~FloatSpool() {
    if (fd_ >= 0) close(fd_);
}

void FloatSpool::write(const float* samples, int frames) {
    const char* bytes = reinterpret_cast<const char*>(samples);
    std::size_t left = static_cast<std::size_t>(frames) * channels_ * sizeof(float);
    while (left > 0) {
        const ssize_t done = ::write(fd_, bytes, left);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) throw OutputError(systemError("cannot write a temporary file in", "TMPDIR"));
        bytes += done;
        left -= static_cast<std::size_t>(done);
    }
}

int FloatSpool::read(float* out, int maxFrames) {
    if (!reading_) {
        lseek(fd_, 0, SEEK_SET);
        reading_ = true;
    }
    const std::size_t frameBytes = static_cast<std::size_t>(channels_) * sizeof(float);
    char* bytes = reinterpret_cast<char*>(out);
    std::size_t got = 0;
    const std::size_t want = static_cast<std::size_t>(maxFrames) * frameBytes;
    while (got < want) {
        const ssize_t done = ::read(fd_, bytes + got, want - got);
        if (done < 0 && errno == EINTR) continue;
        if (done < 0)
            throw OutputError(systemError("cannot read back a temporary file in", "TMPDIR"));
        if (done == 0) break;
        got += static_cast<std::size_t>(done);
    }
    return static_cast<int>(got / frameBytes);
}

AudioData readAudioFile(const std::string& path) {
    struct stat info = {};
    if (path != "-") {
        if (stat(path.c_str(), &info) != 0)
            throw InputError(systemError("cannot read audio file", path));
        if (S_ISDIR(info.st_mode)) throw InputError(path + " is a folder, not an audio file");
    }
    SF_INFO format = {};
    // libsndfile reads standard input for "-".
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &format);
    if (!file) throw InputError("cannot read audio file " + path + ": " + sf_strerror(nullptr));
    AudioData data;
    data.sampleRate = format.samplerate;
    data.channels = format.channels;
    std::vector<float> chunk(static_cast<std::size_t>(format.channels) * 65536);
    for (;;) {
        const sf_count_t got = sf_readf_float(file, chunk.data(), 65536);
        if (got <= 0) break;
        data.samples.insert(data.samples.end(), chunk.begin(),
                            chunk.begin() + got * format.channels);
    }
    sf_close(file);
    return data;
}

}  // namespace corvalen::render
