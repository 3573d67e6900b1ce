#include "tests/tools/test_support.h"

#include <sndfile.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace corvalen::test {

SmfBuilder::SmfBuilder(int format, int trackCount, int division) {
    data_ = {'M', 'T', 'h', 'd', 0, 0, 0, 6};
    for (int value : {format, trackCount, division}) {
        data_.push_back(static_cast<std::uint8_t>(value >> 8));
        data_.push_back(static_cast<std::uint8_t>(value));
    }
}

SmfBuilder& SmfBuilder::beginTrack() {
    data_.insert(data_.end(), {'M', 'T', 'r', 'k', 0, 0, 0, 0});
    trackStart_ = data_.size();
    return *this;
}

SmfBuilder& SmfBuilder::delta(std::uint32_t ticks) {
    std::uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = ticks & 0x7F;
        ticks >>= 7;
    } while (ticks != 0);
    while (count > 0) {
        --count;
        data_.push_back(static_cast<std::uint8_t>(groups[count] | (count > 0 ? 0x80 : 0)));
    }
    return *this;
}

SmfBuilder& SmfBuilder::bytes(std::initializer_list<int> values) {
    for (int value : values) data_.push_back(static_cast<std::uint8_t>(value));
    return *this;
}

SmfBuilder& SmfBuilder::tempo(std::uint32_t microseconds) {
    return bytes({0xFF, 0x51, 3, static_cast<int>(microseconds >> 16),
                  static_cast<int>((microseconds >> 8) & 0xFF),
                  static_cast<int>(microseconds & 0xFF)});
}

SmfBuilder& SmfBuilder::endTrack() {
    delta(0).bytes({0xFF, 0x2F, 0});
    const std::size_t length = data_.size() - trackStart_;
    for (int i = 0; i < 4; ++i) {
        data_[trackStart_ - 4 + i] = static_cast<std::uint8_t>(length >> (24 - 8 * i));
    }
    return *this;
}

CommandResult runCommand(const std::string& commandLine) {
    CommandResult result;
    FILE* pipe = popen((commandLine + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    const int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char c : text) {
        if (c == '\'') {
            result += "'\\''";
        } else {
            result += c;
        }
    }
    return result + "'";
}

TempFolder::TempFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "corvalen-render-XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

Wav readWav(const std::string& path) {
    Wav wav;
    SF_INFO info = {};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return wav;
    // Read to the end rather than trusting the frame count: some containers (Ogg) only
    // estimate it.
    std::vector<float> interleaved;
    std::vector<float> chunk(static_cast<std::size_t>(info.channels) * 4096);
    for (;;) {
        const sf_count_t got = sf_readf_float(file, chunk.data(), 4096);
        if (got <= 0) break;
        interleaved.insert(interleaved.end(), chunk.begin(), chunk.begin() + got * info.channels);
    }
    sf_close(file);
    const std::size_t frames = interleaved.size() / static_cast<std::size_t>(info.channels);
    wav.sampleRate = info.samplerate;
    wav.channels.assign(static_cast<std::size_t>(info.channels), std::vector<float>(frames));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < info.channels; ++channel) {
            wav.channels[static_cast<std::size_t>(channel)][frame] =
                interleaved[frame * static_cast<std::size_t>(info.channels) +
                            static_cast<std::size_t>(channel)];
        }
    }
    return wav;
}

namespace {

std::set<std::string> optionWordsIn(const std::string& line) {
    static const std::regex optionWord("(^|[^a-z-])(--?[a-z][a-z-]*)");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), optionWord);
         it != std::sregex_iterator(); ++it) {
        found.insert((*it)[2]);
    }
    return found;
}

}  // namespace

std::set<std::string> optionsInHelp(const std::string& help) {
    std::set<std::string> names;
    std::istringstream lines(help);
    const std::regex entry("^  (-[a-z], |    )(--[a-z-]+)|^ +\\(also (--[a-z-]+)\\)$");
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, entry)) continue;
        for (const std::string& name : optionWordsIn(match.str(0))) names.insert(name);
    }
    return names;
}

std::set<std::string> optionsInManPage(const std::string& path) {
    std::ifstream page(path);
    std::set<std::string> names;
    bool inOptions = false;
    bool term = false;
    for (std::string line; std::getline(page, line);) {
        if (line.rfind(".SH", 0) == 0) inOptions = line == ".SH OPTIONS";
        if (inOptions && term) {
            line = std::regex_replace(line, std::regex("\\\\-"), "-");
            for (const std::string& name : optionWordsIn(line)) names.insert(name);
        }
        term = inOptions && line == ".TP";
    }
    return names;
}

}  // namespace corvalen::test
