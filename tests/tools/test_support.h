// Helpers for the tests of corvalen-render: building MIDI files, running the tool, reading
// what it wrote.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace corvalen::test {

// Builds Standard MIDI Files byte by byte.
class SmfBuilder {
public:
    SmfBuilder(int format, int trackCount, int division);
    // Starts a track chunk; events follow until endTrack().
    SmfBuilder& beginTrack();
    SmfBuilder& delta(std::uint32_t ticks);  // variable-length delta time
    SmfBuilder& bytes(std::initializer_list<int> values);
    SmfBuilder& tempo(std::uint32_t microsecondsPerQuarter);  // meta 0x51 (after a delta)
    SmfBuilder& endTrack();                                   // meta 0x2F and chunk length
    std::vector<std::uint8_t> build() const { return data_; }

private:
    std::vector<std::uint8_t> data_;
    std::size_t trackStart_ = 0;
};

struct CommandResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

// Runs a shell command line; `environment` is prefixed as VAR=value assignments.
CommandResult runCommand(const std::string& commandLine);

std::string quoted(const std::string& text);

// A fresh folder under the system's temporary folder, removed with its files at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The option names a --help text lists: the option column of every entry line, and the
// aliases' "(also ...)" lines.
std::set<std::string> optionsInHelp(const std::string& help);
// The option names of a man page: the term line after each .TP of its OPTIONS section (where
// roff writes '-' as "\-"). Empty when the file cannot be read.
std::set<std::string> optionsInManPage(const std::string& path);

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::string> readLines(const std::string& path);

struct Wav {
    int sampleRate = 0;
    std::vector<std::vector<float>> channels;  // empty when the file cannot be read
};
Wav readWav(const std::string& path);

}  // namespace corvalen::test
