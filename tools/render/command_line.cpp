#include "tools/render/command_line.h"

#include <algorithm>
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
constexpr double kMaxGainDb = 60.0;
constexpr double kDefaultNormalizeDbfs = -1.0;

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

Container parseType(const std::string& text) {
    if (const auto container = containerFromExtension(text)) return *container;
    throw UsageError("--type takes wav, flac, ogg or aiff, not '" + text + "'");
}

// "1,10", "3-5" or a mix: whole numbers from low to high, in the order given, each once.
std::vector<int> parseList(const std::string& option, const std::string& text, int low, int high) {
    std::vector<int> values;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        const std::size_t dash = item.find('-', 1);
        const std::string what = option + " takes numbers from " + std::to_string(low) + " to " +
                                 std::to_string(high) + " such as 1,10 or 3-5, not '" + text + "'";
        try {
            const long first = parseInteger(option, item.substr(0, dash), low, high);
            const long last = dash == std::string::npos
                                  ? first
                                  : parseInteger(option, item.substr(dash + 1), low, high);
            if (last < first) throw UsageError(what);
            for (long value = first; value <= last; ++value) {
                if (std::find(values.begin(), values.end(), value) == values.end())
                    values.push_back(static_cast<int>(value));
            }
        } catch (const UsageError&) {
            throw UsageError(what);
        }
        start = comma + 1;
    }
    return values;
}

bool looksLikeNumber(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return *end == '\0';
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
        } else if (argument == "--list") {
            noValue();
            options.list = true;
        } else if (argument == "--midi-info") {
            noValue();
            options.midiInfo = true;
        } else if (argument == "--progress") {
            noValue();
            options.progress = true;
        } else if (argument == "-n" || argument == "--no-clobber") {
            noValue();
            options.noClobber = true;
        } else if (argument == "-t" || argument == "--type") {
            options.type = parseType(takeValue());
        } else if (argument == "--render-rate") {
            options.renderRate = static_cast<int>(
                parseInteger("--render-rate", takeValue(), kMinSampleRate, kMaxSampleRate));
        } else if (argument == "--gain") {
            options.gainDb = parseNumber("--gain", takeValue(), -kMaxGainDb, kMaxGainDb);
        } else if (argument == "--normalize" || argument == "--normalise") {
            // The level is optional: taken when it follows as a number.
            if (hasInlineValue || (i + 1 < arguments.size() && looksLikeNumber(arguments[i + 1]))) {
                options.normalizeDbfs = parseNumber("--normalize", takeValue(), -kMaxGainDb, 0.0);
            } else {
                options.normalizeDbfs = kDefaultNormalizeDbfs;
            }
        } else if (argument == "--input") {
            options.inputAudioPath = takeValue();
            if (options.inputAudioPath.empty()) throw UsageError("--input needs a file name");
        } else if (argument == "--channel" || argument == "--channels") {
            options.channels = parseList("--channel", takeValue(), 1, 16);
        } else if (argument == "--track" || argument == "--tracks") {
            options.tracks = parseList("--track", takeValue(), 1, 65535);
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
                static_cast<int>(parseInteger("--max-events", takeValue(), 0, kMaxEventsPerList));
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
        } else {
            options.midiPaths.push_back(argument);
        }
    }
    if ((!options.checks.empty() || !options.expectedFailures.empty() ||
         options.report != "text") &&
        !options.validate) {
        throw UsageError("--check, --expect-fail and --report only apply with --validate");
    }
    // With --validate the one argument names the plug-in, as -p does.
    if (options.validate && !options.midiPaths.empty()) {
        if (!options.pluginPath.empty() || options.midiPaths.size() > 1) {
            throw UsageError(
                "--validate takes one plug-in ('" +
                (options.pluginPath.empty() ? options.midiPaths[1] : options.pluginPath) +
                "' and '" + options.midiPaths[0] + "' given)");
        }
        options.pluginPath = options.midiPaths[0];
        options.midiPaths.clear();
    }
    if (options.midiPaths.size() > 1 && !options.outputPath.empty()) {
        throw UsageError("-o names one output, but " + std::to_string(options.midiPaths.size()) +
                         " MIDI files are given: leave it out and each is written beside its MIDI "
                         "file, named after it");
    }
    if (std::count(options.midiPaths.begin(), options.midiPaths.end(), "-") > 1) {
        throw UsageError("standard input (-) can be read only once");
    }
    if (options.normalizeDbfs && options.gainDb != 0.0) {
        throw UsageError("--gain and --normalize both set the level: use one of them");
    }
    return options;
}

std::string usageText() {
    return R"(Usage: corvalen-render [OPTIONS] [MIDI-FILE...]
       corvalen-render --midi-info MIDI-FILE...
       corvalen-render --list [FOLDER...]
       corvalen-render --validate [--check NAME]... [--expect-fail NAME]... [--report json]
                       [PLUGIN]
       corvalen-render --list-checks

Renders Standard MIDI Files (format 0 or 1) through a VST 2 plug-in into audio files. Each
MIDI file gives its own output, named after it (song.mid -> song.wav beside it). Without a
MIDI file it plays a built-in demo phrase (about 14 s) into corvalen-demo.wav. "-" as the MIDI
file reads standard input.

Plug-in:
  -p, --plugin PATH     VST 2 plug-in: a library, a bundle folder (X.vst), or a bare name
                        looked for in VST_PATH, LXVST_PATH, ~/.vst, ~/.lxvst,
                        /usr/local/lib/vst, /usr/lib/vst and /usr/lib/lxvst
                        (default: the Corvalen.so built or installed with this
                        tool)
      --program N       select program N before rendering
      --param NAME=V    set a parameter, by name (blanks trimmed, any case) or by index, to a
                        value from 0 to 1; may be repeated, applied after --program
      --input FILE      audio fed to an effect's inputs (resampled to the render rate)
      --list            list the plug-ins found on the search path (or in the folders
                        given) and exit
      --info            print what the plug-in tells about itself and exit

MIDI:
      --channel LIST    play only these MIDI channels, 1 to 16 (e.g. 1,10 or 1-4)
      --track LIST      play only these tracks, from 1 (tempo changes apply from every track)
      --midi-info       print what each MIDI file holds (tracks, channels, notes, tempo
                        changes, length) and exit

Output:
  -o, --output FILE     output file; its extension sets the format: .wav, .flac, .ogg (Ogg
                        Vorbis) or .aiff. "-" writes to standard output (with --type)
  -t, --type TYPE       wav, flac, ogg or aiff: for standard output and for outputs named
                        after their MIDI file (default: wav)
      --format F        16, 24 or float (32-bit float) samples (default: 24)
  -n, --no-clobber      refuse to replace an existing output (by default it is replaced, and
                        the tool says so)
  -r, --rate HZ         output sample rate, 8000 to 384000 (default: 44100)
      --render-rate HZ  run the plug-in at this rate and convert to --rate (libsoxr)
      --gain DB         multiply the output by this many decibels (-60 to 60)
      --normalize [DBFS]  scale so that the peak is at DBFS (default -1)
  -b, --block FRAMES    largest block handed to the plug-in, 1 to 65536 (default: 512)
      --max-events N    most events per list handed to the plug-in (default 0: a block's
                        events in one list); blocks with more are split at the first event
                        that does not fit
      --tail SECONDS    render this long after the music ends (default: until every channel
                        stays below -96 dBFS for 0.5 s, at most 10 s)

Checking:
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

Messages:
      --progress        show the progress line even when stderr is not a terminal
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
  6  MIDI file (or --input audio file) unreadable or malformed
  7  output file cannot be written
)";
}

}  // namespace corvalen::render
