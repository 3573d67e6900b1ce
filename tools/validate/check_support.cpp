#include "tools/validate/check_support.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvalen::validate {

vsthost::PluginLibrary& CheckContext::library() {
    if (!library_) library_ = std::make_unique<vsthost::PluginLibrary>(pluginPath_);
    return *library_;
}

std::unique_ptr<PluginInstance> startedInstance(CheckContext& context, float rate, int blockSize,
                                                HostMode mode) {
    auto instance = std::make_unique<PluginInstance>(context.library(), mode);
    instance->start(rate, blockSize);
    return instance;
}

Audio renderFresh(CheckContext& context, const Phrase& phrase, int blockSize, float rate) {
    auto instance = startedInstance(context, rate, blockSize);
    RenderSettings settings;
    settings.blockSize = blockSize;
    Audio audio = renderPhrase(*instance, phrase, settings).audio;
    instance->suspend();
    return audio;
}

Phrase standardPhrase() {
    Phrase phrase;
    phrase.noteOn(100, 60, 100)
        .noteOn(9000, 64, 90)          // legato: a new note over the sounding one
        .add(15000, 0xE0, 0x00, 0x50)  // pitch bend up a little
        .noteOff(20000, 64)            //
        .add(20500, 0xE0, 0x00, 0x40)  // bend back to the centre
        .noteOn(25000, 67, 127)        //
        .noteOff(30000, 60)            // releases a key that no longer sounds
        .noteOn(35000, 55, 64)         //
        .noteOff(40000, 55)            //
        .noteOff(40000, 67);
    phrase.frames = 62000;
    return phrase;
}

Phrase heldNote(std::int64_t frames, int note, int velocity) {
    Phrase phrase;
    phrase.noteOn(0, note, velocity);
    phrase.frames = frames;
    return phrase;
}

void appendProblem(std::string& problems, const std::string& problem) {
    problems += (problems.empty() ? "" : "; ") + problem;
}

std::string describeCensus(const SampleCensus& census) {
    if (census.clean()) return "no NaN, infinite or subnormal samples";
    char text[160];
    std::snprintf(
        text, sizeof text, "%lld NaN, %lld infinite, %lld subnormal samples (first at frame %lld)",
        static_cast<long long>(census.nan), static_cast<long long>(census.infinite),
        static_cast<long long>(census.subnormal), static_cast<long long>(census.firstBadFrame));
    return text;
}

std::string formatDb(double amplitude) {
    const double db = amplitudeToDecibels(amplitude);
    if (std::isinf(db)) return db < 0 ? "-inf dBFS" : "+inf dBFS";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f dBFS", db);
    return text;
}

std::string formatMs(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", seconds * 1000.0);
    return text;
}

GuardedText::GuardedText(std::size_t capacity)
    : capacity_(capacity), bytes_(capacity + 2 * kGuardBytes, kPattern) {}

bool GuardedText::guardsIntact() const {
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        if (bytes_[i] != kPattern || bytes_[kGuardBytes + capacity_ + i] != kPattern) return false;
    }
    return true;
}

std::size_t GuardedText::overrun() const {
    for (std::size_t i = kGuardBytes; i > 0; --i) {
        if (bytes_[kGuardBytes + capacity_ + i - 1] != kPattern) return i;
    }
    return 0;
}

bool GuardedText::terminated() const {
    return std::memchr(bytes_.data() + kGuardBytes, 0, capacity_) != nullptr;
}

std::string GuardedText::text() const {
    const char* start = reinterpret_cast<const char*>(bytes_.data() + kGuardBytes);
    std::string text(start, strnlen(start, capacity_));
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

}  // namespace corvalen::validate
