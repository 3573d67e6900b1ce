#include "tools/render/command_line.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace corvalen::render {
namespace {

constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMaxBlockSize = 65536;
constexpr int kMaxEventsPerList = 4096;
constexpr double kMaxTailSeconds = 3600.0;

long parseInteger(const std::string& option, const std::string& text, long low, long high) {
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high) {
        throw UsageError(option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

double parseNumber(const std::string& option, const std::string& text, double low, double high) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    // The negated comparisons reject NaN as well.
    if (text.empty() || *end != '\0' || errno != 0 || !(value >= low) || !(value <= high)) {
        throw UsageError(option + " needs a number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

ParameterSetting parseParameter(const std::string& text) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError("--param needs NAME_OR_INDEX=VALUE, not '" + text + "'");
    }
    ParameterSetting setting;
    setting.nameOrIndex = text.substr(0, equals);
    setting.value = static_cast<float>(
        parseNumber("--param " + setting.nameOrIndex, text.substr(equals + 1), 0.0, 1.0));
    return setting;
}

SampleFormat parseFormat(const std::string& text) {
    if (text == "16") return SampleFormat::kPcm16;
    if (text == "24") return SampleFormat::kPcm24;
    if (text == "float" || text == "32") return SampleFormat::kFloat32;
    throw UsageError("--format takes 16, 24 or float, not '" + text + "'");
}

}  // namespace

std::string normalizedName(const std::string& name) {
    std::size_t first = 0;
    std::size_t last = name.size();
    while (first < last && std::isspace(static_cast<unsigned char>(name[first]))) ++first;
    while (last > first && std::isspace(static_cast<unsigned char>(name[last - 1]))) --last;
    std::string result = name.substr(first, last - first);
    for (char& c : result) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

Options parseCommandLine(const std::vector<std::string>& arguments) {
    Options options;
    bool midiGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        std::string value;
        bool hasInlineValue = false;
        if (argument.rfind("--", 0) == 0) {
            const std::size_t equals = argument.find('=');
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
                argument.resize(equals);
                hasInlineValue = true;
            }
        }
        auto takeValue = [&]() -> std::string {
            if (hasInlineValue) return value;
            if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
            return arguments[++i];
        };
        auto noValue = [&]() {
            if (hasInlineValue) throw UsageError(argument + " takes no value");
        };

        if (argument == "-h" || argument == "--help") {
            noValue();
            options.help = true;
        } else if (argument == "--version") {
            noValue();
            options.version = true;
        } else if (argument == "--info") {
            noValue();
            options.info = true;
        } else if (argument == "--validate") {
            noValue();
            options.validate = true;
        } else if (argument == "--check") {
            options.checks.push_back(takeValue());
        } else if (argument == "--expect-fail") {
            options.expectedFailures.push_back(takeValue());
        } else if (argument == "--list-checks") {
            noValue();
            options.listChecks = true;
        } else if (argument == "--report") {
            options.report = takeValue();
            if (options.report != "text" && options.report != "json") {
                throw UsageError("--report takes text or json, not '" + options.report + "'");
            }
        } else if (argument == "-q" || argument == "--quiet") {
            noValue();
            options.quiet = true;
        } else if (argument == "-p" || argument == "--plugin") {
            options.pluginPath = takeValue();
        } else if (argument == "-o" || argument == "--output") {
            options.outputPath = takeValue();
            if (options.outputPath.empty()) throw UsageError("--output needs a file name");
        } else if (argument == "-r" || argument == "--rate") {
            options.sampleRate = static_cast<int>(
                parseInteger("--rate", takeValue(), kMinSampleRate, kMaxSampleRate));
        } else if (argument == "-b" || argument == "--block") {
            options.blockSize =
                static_cast<int>(parseInteger("--block", takeValue(), 1, kMaxBlockSize));
        } else if (argument == "--max-events") {
            options.maxEventsPerList =
                static_cast<int>(parseInteger("--max-events", takeValue(), 1, kMaxEventsPerList));
        } else if (argument == "--format") {
            options.format = parseFormat(takeValue());
        } else if (argument == "--tail") {
            options.tailSeconds = parseNumber("--tail", takeValue(), 0.0, kMaxTailSeconds);
        } else if (argument == "--program") {
            options.program = static_cast<int>(parseInteger("--program", takeValue(), 0, 1 << 30));
        } else if (argument == "--param") {
            options.parameters.push_back(parseParameter(takeValue()));
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option " + argument);
        } else if (!midiGiven) {
            options.midiPath = argument;
            midiGiven = true;
        } else {
            throw UsageError("more than one MIDI file given ('" + options.midiPath + "' and '" +
                             argument + "')");
        }
    }
    if ((!options.checks.empty() || !options.expectedFailures.empty() ||
         options.report != "text") &&
        !options.validate) {
        throw UsageError("--check, --expect-fail and --report only apply with --validate");
    }
    // With --validate the one argument names the plug-in, as -p does.
    if (options.validate && midiGiven) {
        if (!options.pluginPath.empty()) {
            throw UsageError("--validate takes one plug-in ('" + options.pluginPath + "' and '" +
                             options.midiPath + "' given)");
        }
        options.pluginPath = options.midiPath;
        options.midiPath.clear();
    }
    return options;
}

std::string usageText() {
    return R"(Usage: corvalen-render [OPTIONS] [MIDI-FILE]
       corvalen-render --validate [--check NAME]... [--expect-fail NAME]... [--report json]
                       [PLUGIN]
       corvalen-render --list-checks

Renders a Standard MIDI File (format 0 or 1) through a VST 2 plug-in into a WAV file.
Without a MIDI file it plays a built-in demo phrase (about 14 s).

Options:
  -p, --plugin PATH     VST 2 plug-in library (default: the Corvalen.so built or installed
                        with this tool)
  -o, --output FILE     WAV file to write (default: out.wav)
  -r, --rate HZ         sample rate, 8000 to 384000 (default: 44100)
  -b, --block FRAMES    largest block handed to the plug-in, 1 to 65536 (default: 512)
      --format F        16, 24 or float (32-bit float) samples (default: 24)
      --tail SECONDS    render this long after the music ends (default: until every channel
                        stays below -96 dBFS for 0.5 s, at most 10 s)
      --program N       select program N before rendering
      --param NAME=V    set a parameter, by name (blanks trimmed, any case) or by index, to a
                        value from 0 to 1; may be repeated, applied after --program
      --max-events N    most events per list handed to the plug-in (default: 32); blocks with
                        more are split at the first event that does not fit
      --info            print what the plug-in tells about itself and exit
      --validate        check the plug-in (default: Corvalen) as hosts use it: one line
                        "PASS name: detail", "FAIL ...", "WARN ..." or "SKIP ..." per check,
                        then the tally; exit code 1 when a check fails (FAIL: a fault hosts
                        meet; WARN: only under abuse or on a path hosts do not take; SKIP:
                        cannot judge, with the reason)
      --check NAME      with --validate, run only this check (may be repeated)
      --expect-fail NAME  with --validate, report this check's failure as XFAIL, a known
                        fault that does not fail the run (may be repeated)
      --report FORMAT   with --validate, text (default) or json: per check its verdict,
                        detail and seconds, then the tally
      --list-checks     print the validator's checks, one line each, and exit
  -q, --quiet           print nothing but errors
  -h, --help            print this help
      --version         print the version and exit

Exit codes:
  0  success (with --validate: no check failed; warnings do not count)
  1  rendering failed for another reason (with --validate: a check failed)
  2  bad usage (unknown option, bad value, unknown parameter or program)
  3  plug-in library missing or cannot be loaded
  4  library has no VST 2 entry point (VSTPluginMain or main)
  5  the entry point returned no effect, or not a usable one
  6  MIDI file unreadable or malformed
  7  output file cannot be written
)";
}

}  // namespace corvalen::render
