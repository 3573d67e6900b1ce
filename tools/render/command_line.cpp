#include "tools/render/command_line.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace corvalen::render {
namespace {

constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
constexpr int kMaxBlockSize = 65536;
constexpr int kMaxEventsPerList = 4096;
constexpr double kMaxTailSeconds = 3600.0;
constexpr double kMaxGainDb = 60.0;
constexpr double kDefaultNormalizeDbfs = -1.0;

Container parseType(const std::string& option, const std::string& text) {
    if (const auto container = containerFromExtension(text)) return *container;
    throw UsageError(option + " takes wav, flac, ogg or aiff, not '" + text + "'");
}

int integer(const std::string& option, const std::string& text, long low, long high) {
    return static_cast<int>(parseInteger(option, text, low, high));
}

std::string fileName(const std::string& option, const std::string& text) {
    if (text.empty()) throw UsageError(option + " needs a file name");
    return text;
}

using Value = const std::string&;

// In the order --help shows them.
const std::vector<OptionDefinition> kOptions = {
    {"--plugin", "-p", nullptr, "PATH", "Plug-in",
     "VST 2 plug-in: a library, a bundle folder (X.vst), or a bare name\n"
     "looked for in VST_PATH, LXVST_PATH, ~/.vst, ~/.lxvst,\n"
     "/usr/local/lib/vst, /usr/lib/vst and /usr/lib/lxvst\n"
     "(default: the Corvalen.so built or installed with this\n"
     "tool)",
     Mode::kRender, false, [](Options& o, Value v, Value) { o.pluginPath = v; }},
    {"--program", nullptr, nullptr, "N", "Plug-in", "select program N before rendering",
     Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.program = integer(n, v, 0, 1 << 30); }},
    {"--param", nullptr, nullptr, "NAME=V", "Plug-in",
     "set a parameter, by name (blanks trimmed, any case) or by index, to a\n"
     "value from 0 to 1; may be repeated, applied after --program",
     Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.parameters.push_back(parseParameter(n, v)); }},
    {"--input", nullptr, nullptr, "FILE", "Plug-in",
     "audio fed to an effect's inputs (resampled to the render rate)", Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.inputAudioPath = fileName(n, v); }},
    {"--list", nullptr, nullptr, nullptr, "Plug-in",
     "list the plug-ins found on the search path (or in the folders\n"
     "given) and exit",
     Mode::kList, false, nullptr},
    {"--info", nullptr, nullptr, nullptr, "Plug-in",
     "print what the plug-in tells about itself and exit", Mode::kInfo, false, nullptr},

    {"--channel", nullptr, "--channels", "LIST", "MIDI",
     "play only these MIDI channels, 1 to 16 (e.g. 1,10 or 1-4)", Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.channels = parseList(n, v, 1, 16); }},
    {"--track", nullptr, "--tracks", "LIST", "MIDI",
     "play only these tracks, from 1 (tempo changes apply from every track)", Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.tracks = parseList(n, v, 1, 65535); }},
    {"--midi-info", nullptr, nullptr, nullptr, "MIDI",
     "print what each MIDI file holds (tracks, channels, notes, tempo\n"
     "changes, length) and exit",
     Mode::kMidiInfo, false, nullptr},

    {"--output", "-o", nullptr, "FILE", "Output",
     "output file; its extension sets the format: .wav, .flac, .ogg (Ogg\n"
     "Vorbis) or .aiff. \"-\" writes to standard output (with --type)",
     Mode::kRender, false, [](Options& o, Value v, Value n) { o.outputPath = fileName(n, v); }},
    {"--type", "-t", nullptr, "TYPE", "Output",
     "wav, flac, ogg or aiff: for standard output and for outputs named\n"
     "after their MIDI file (default: wav)",
     Mode::kRender, false, [](Options& o, Value v, Value n) { o.type = parseType(n, v); }},
    {"--format", nullptr, nullptr, "F", "Output",
     "16, 24 or float (32-bit float) samples (default: 24)", Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.format = parseFormat(n, v); }},
    {"--no-clobber", "-n", nullptr, nullptr, "Output",
     "refuse to replace an existing output (by default it is replaced, and\n"
     "the tool says so)",
     Mode::kRender, false, [](Options& o, Value, Value) { o.noClobber = true; }},
    {"--rate", "-r", nullptr, "HZ", "Output", "output sample rate, 8000 to 384000 (default: 44100)",
     Mode::kRender, false,
     [](Options& o, Value v, Value n) {
         o.sampleRate = integer(n, v, kMinSampleRate, kMaxSampleRate);
     }},
    {"--render-rate", nullptr, nullptr, "HZ", "Output",
     "run the plug-in at this rate and convert to --rate (libsoxr)", Mode::kRender, false,
     [](Options& o, Value v, Value n) {
         o.renderRate = integer(n, v, kMinSampleRate, kMaxSampleRate);
     }},
    {"--gain", nullptr, nullptr, "DB", "Output",
     "multiply the output by this many decibels (-60 to 60)", Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.gainDb = parseNumber(n, v, -kMaxGainDb, kMaxGainDb); }},
    {"--normalize", nullptr, "--normalise", "[DBFS]", "Output",
     "scale so that the peak is at DBFS (default -1)", Mode::kRender, false,
     [](Options& o, Value v, Value n) {
         o.normalizeDbfs = v.empty() ? kDefaultNormalizeDbfs : parseNumber(n, v, -kMaxGainDb, 0.0);
     }},
    {"--block", "-b", nullptr, "FRAMES", "Output",
     "largest block handed to the plug-in, 1 to 65536 (default: 512)", Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.blockSize = integer(n, v, 1, kMaxBlockSize); }},
    {"--max-events", nullptr, nullptr, "N", "Output",
     "most events per list handed to the plug-in (default 0: a block's\n"
     "events in one list); blocks with more are split at the first event\n"
     "that does not fit",
     Mode::kRender, false,
     [](Options& o, Value v, Value n) {
         o.maxEventsPerList = integer(n, v, 0, kMaxEventsPerList);
     }},
    {"--tail", nullptr, nullptr, "SECONDS", "Output",
     "render this long after the music ends (default: until every channel\n"
     "stays below -96 dBFS for 0.5 s, at most 10 s)",
     Mode::kRender, false,
     [](Options& o, Value v, Value n) { o.tailSeconds = parseNumber(n, v, 0.0, kMaxTailSeconds); }},

    {"--validate", nullptr, nullptr, nullptr, "Checking",
     "check the plug-in (default: Corvalen) as hosts use it: one line\n"
     "\"PASS name: detail\", \"FAIL ...\", \"WARN ...\" or \"SKIP ...\" per check,\n"
     "then the tally; exit code 1 when a check fails (FAIL: a fault hosts\n"
     "meet; WARN: only under abuse or on a path hosts do not take; SKIP:\n"
     "cannot judge, with the reason)",
     Mode::kValidate, false, nullptr},
    {"--check", nullptr, nullptr, "NAME", "Checking",
     "with --validate, run only this check (may be repeated)", Mode::kRender, true,
     [](Options& o, Value v, Value) { o.checks.push_back(v); }},
    {"--expect-fail", nullptr, nullptr, "NAME", "Checking",
     "with --validate, report this check's failure as XFAIL, a known\n"
     "fault that does not fail the run (may be repeated)",
     Mode::kRender, true, [](Options& o, Value v, Value) { o.expectedFailures.push_back(v); }},
    {"--report", nullptr, nullptr, "FORMAT", "Checking",
     "with --validate, text (default) or json: per check its verdict,\n"
     "detail and seconds, then the tally",
     Mode::kRender, true,
     [](Options& o, Value v, Value n) {
         if (v != "text" && v != "json") {
             throw UsageError(n + " takes text or json, not '" + v + "'");
         }
         o.report = v;
     }},
    {"--list-checks", nullptr, nullptr, nullptr, "Checking",
     "print the validator's checks, one line each, and exit", Mode::kListChecks, false, nullptr},

    {"--progress", nullptr, nullptr, nullptr, "Messages",
     "show the progress line even when stderr is not a terminal", Mode::kRender, false,
     [](Options& o, Value, Value) { o.progress = true; }},
    {"--quiet", "-q", nullptr, nullptr, "Messages", "print nothing but errors", Mode::kRender,
     false, [](Options& o, Value, Value) { o.quiet = true; }},
    {"--help", "-h", nullptr, nullptr, "Messages", "print this help", Mode::kHelp, false, nullptr},
    {"--version", nullptr, nullptr, nullptr, "Messages", "print the version and exit",
     Mode::kVersion, false, nullptr},
};

// What the parser has seen so far beyond the options' values.
struct ParseState {
    Options options;
    const OptionDefinition* modeOption = nullptr;
    bool helpAsked = false;
    const OptionDefinition* validateOnly = nullptr;
    std::string modeConflict;
};

// The one place where modes meet: --help wins over everything, any other two modes conflict.
void selectMode(ParseState& state, const OptionDefinition& entry) {
    if (entry.mode == Mode::kHelp) {
        state.helpAsked = true;
        return;
    }
    if (state.modeOption && state.modeOption->mode != entry.mode) {
        if (state.modeConflict.empty()) {
            state.modeConflict = std::string(state.modeOption->name) + " and " + entry.name +
                                 " cannot be used together";
        }
        return;
    }
    state.modeOption = &entry;
    state.options.mode = entry.mode;
}

// Takes one option (and its value) at arguments[i]; advances i past a separate value.
void takeOption(ParseState& state, const OptionDefinition& entry, const std::string& given,
                bool hasInline, const std::string& inlineValue,
                const std::vector<std::string>& arguments, std::size_t& i) {
    std::string value;
    if (!entry.value) {
        if (hasInline) throw UsageError(given + " takes no value");
    } else if (hasInline) {
        value = inlineValue;
    } else if (entry.value[0] == '[') {
        // An optional value is taken only when a number follows.
        if (i + 1 < arguments.size() && looksLikeNumber(arguments[i + 1])) value = arguments[++i];
    } else {
        if (i + 1 >= arguments.size()) throw UsageError(given + " needs a value");
        value = arguments[++i];
    }
    if (entry.mode != Mode::kRender) selectMode(state, entry);
    if (entry.validateOnly && !state.validateOnly) state.validateOnly = &entry;
    if (entry.apply) entry.apply(state.options, value, entry.name);
}

// Rules between options, checked once the whole line is read.
void checkCombinations(ParseState& state) {
    Options& options = state.options;
    if (state.helpAsked) {
        options.mode = Mode::kHelp;
        return;
    }
    if (!state.modeConflict.empty()) throw UsageError(state.modeConflict);
    if (state.validateOnly && options.mode != Mode::kValidate) {
        throw UsageError(std::string(state.validateOnly->name) + " only applies with --validate");
    }
    // With --validate the one argument names the plug-in, as -p does.
    if (options.mode == Mode::kValidate && !options.midiPaths.empty()) {
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
}

// "corvalen-render --validate [--check NAME]... [PLUGIN]" for a mode's option.
std::string synopsisOf(const OptionDefinition& mode, const char* operands) {
    std::string line = std::string("corvalen-render ") + mode.name;
    if (mode.mode == Mode::kValidate) {
        for (const OptionDefinition& entry : kOptions) {
            if (!entry.validateOnly) continue;
            const bool repeats = std::strstr(entry.help, "may be repeated") != nullptr;
            line +=
                std::string(" [") + entry.name + " " + entry.value + "]" + (repeats ? "..." : "");
        }
    }
    // Continued under the options, as a terminal of 96 columns shows it.
    constexpr std::size_t kWidth = 88;
    const std::size_t lastBreak = line.rfind('\n') == std::string::npos ? 0 : line.rfind('\n');
    if (operands[0] && line.size() - lastBreak + std::strlen(operands) + 8 > kWidth) {
        line += "\n" + std::string(23, ' ');
    } else if (operands[0]) {
        line += " ";
    }
    return line + operands + "\n";
}

}  // namespace

std::vector<std::string> optionNames() {
    return optionNamesOf(kOptions);
}

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
    ParseState state;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        std::string value;
        const bool hasInline = splitInline(argument, value);
        if (const OptionDefinition* entry = findOption(kOptions, argument)) {
            takeOption(state, *entry, argument, hasInline, value, arguments, i);
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option " + argument);
        } else {
            state.options.midiPaths.push_back(arguments[i]);
        }
    }
    checkCombinations(state);
    return state.options;
}

std::string usageText() {
    std::string text = "Usage: corvalen-render [OPTIONS] [MIDI-FILE...]\n";
    const std::pair<Mode, const char*> kModes[] = {{Mode::kMidiInfo, "MIDI-FILE..."},
                                                   {Mode::kList, "[FOLDER...]"},
                                                   {Mode::kValidate, "[PLUGIN]"},
                                                   {Mode::kListChecks, ""}};
    for (const auto& [mode, operands] : kModes) {
        for (const OptionDefinition& entry : kOptions) {
            if (entry.mode == mode) text += "       " + synopsisOf(entry, operands);
        }
    }
    text += R"(
Renders Standard MIDI Files (format 0 or 1) through a VST 2 plug-in into audio files. Each
MIDI file gives its own output, named after it (song.mid -> song.wav beside it). Without a
MIDI file it plays a built-in demo phrase (about 14 s) into corvalen-demo.wav. "-" as the MIDI
file reads standard input.
)";
    text += optionsHelp(kOptions);
    return text + R"(
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
