#include "tools/play/play_options.h"

#include <cstring>

namespace corvalen::play {
namespace {

using render::findOption;
using render::optionNamesOf;
using render::parseInteger;
using Value = const std::string&;

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 384000;

// "PORT" or "PORT,PORT,...": a port list may be given at once or by repeating the option.
void appendPorts(std::vector<std::string>& ports, const std::string& option, Value text) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string port = text.substr(start, comma - start);
        if (port.empty()) throw UsageError(option + " needs port names such as system:playback_1");
        ports.push_back(port);
        start = comma + 1;
    }
}

ControllerMapping parseController(const std::string& option, Value text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals + 1 == text.size()) {
        throw UsageError(option + " needs CONTROLLER=PARAMETER such as 1=\"Bow Pres\", not '" +
                         text + "'");
    }
    ControllerMapping mapping;
    mapping.controller = static_cast<int>(parseInteger(option, text.substr(0, equals), 0, 127));
    mapping.parameter = text.substr(equals + 1);
    return mapping;
}

// In the order --help shows them.
const std::vector<OptionDefinition> kOptions = {
    {"--plugin", "-p", nullptr, "PATH", "Plug-in",
     "VST 2 plug-in: a library, a bundle folder (X.vst), or a bare name\n"
     "looked for in VST_PATH, LXVST_PATH, ~/.vst, ~/.lxvst,\n"
     "/usr/local/lib/vst, /usr/lib/vst and /usr/lib/lxvst\n"
     "(default: the Corvalen.so built or installed with this tool)",
     [](Options& o, Value v, Value) { o.pluginPath = v; }},
    {"--program", nullptr, nullptr, "N", "Plug-in", "select program N before playing",
     [](Options& o, Value v, Value n) {
         o.program = static_cast<int>(parseInteger(n, v, 0, 1 << 30));
     }},
    {"--param", nullptr, nullptr, "NAME=V", "Plug-in",
     "set a parameter, by name (blanks trimmed, any case) or by index, to a\n"
     "value from 0 to 1; may be repeated, applied after --program",
     [](Options& o, Value v, Value n) { o.parameters.push_back(render::parseParameter(n, v)); }},
    {"--plugin-rate", nullptr, nullptr, "HZ", "Plug-in",
     "run the plug-in at this rate, 8000 to 384000, converting to JACK's\n"
     "(default: JACK's rate; Corvalen, which computes at 44100 Hz, at\n"
     "44100)",
     [](Options& o, Value v, Value n) {
         o.pluginRate = static_cast<int>(parseInteger(n, v, kMinRate, kMaxRate));
     }},

    {"--name", "-n", nullptr, "NAME", "JACK",
     "the JACK client's name (default: corvalen-play); its ports are\n"
     "NAME:midi_in, NAME:out_1... and, for effects, NAME:in_1...",
     [](Options& o, Value v, Value n) {
         if (v.empty() || v.find(':') != std::string::npos)
             throw UsageError(n + " needs a name without ':', not '" + v + "'");
         o.clientName = v;
     }},
    {"--no-connect", nullptr, nullptr, nullptr, "JACK",
     "make no connections (by default the outputs go to the first physical\n"
     "playback ports and midi_in takes every physical MIDI capture port)",
     [](Options& o, Value, Value) { o.noConnect = true; }},
    {"--connect-out", nullptr, nullptr, "PORT...", "JACK",
     "connect out_1, out_2... to these ports, in order (a comma-separated\n"
     "list, or the option repeated)",
     [](Options& o, Value v, Value n) { appendPorts(o.connectOut, n, v); }},
    {"--connect-midi", nullptr, nullptr, "PORT...", "JACK",
     "connect these MIDI ports to midi_in (a comma-separated list, or the\n"
     "option repeated)",
     [](Options& o, Value v, Value n) { appendPorts(o.connectMidi, n, v); }},

    {"--channel", nullptr, "--channels", "LIST", "MIDI",
     "take only these MIDI channels, 1 to 16 (e.g. 1,10 or 1-4)",
     [](Options& o, Value v, Value n) { o.channels = render::parseList(n, v, 1, 16); }},
    {"--cc", nullptr, nullptr, "N=PARAM", "MIDI",
     "controller N (0 to 127) moves parameter PARAM (a name or an index),\n"
     "its values 0 to 127 taken to 0 to 1; may be repeated",
     [](Options& o, Value v, Value n) { o.controllers.push_back(parseController(n, v)); }},

    {"--record", nullptr, nullptr, "FILE", "Recording",
     "write what the player plays to FILE (.wav, .flac, .ogg or .aiff), put\n"
     "in place when the player stops",
     [](Options& o, Value v, Value n) {
         if (v.empty() || v == "-") throw UsageError(n + " needs a file name");
         o.recordPath = v;
     }},
    {"--format", nullptr, nullptr, "F", "Recording",
     "16, 24 or float (32-bit float) samples (default: 24)",
     [](Options& o, Value v, Value n) { o.format = render::parseFormat(n, v); }},

    {"--quiet", "-q", nullptr, nullptr, "Messages",
     "print nothing but errors: no status line, no start message",
     [](Options& o, Value, Value) { o.quiet = true; }},
    {"--help", "-h", nullptr, nullptr, "Messages", "print this help",
     [](Options& o, Value, Value) { o.help = true; }},
    {"--version", nullptr, nullptr, nullptr, "Messages", "print the version and exit",
     [](Options& o, Value, Value) { o.version = true; }},
};

void checkCombinations(const Options& options) {
    if (options.noConnect && (!options.connectOut.empty() || !options.connectMidi.empty())) {
        throw UsageError(
            "--no-connect and --connect-out or --connect-midi cannot be used together");
    }
    if (options.format && options.recordPath.empty()) {
        throw UsageError("--format only applies with --record");
    }
}

}  // namespace

std::vector<std::string> optionNames() {
    return optionNamesOf(kOptions);
}

Options parseCommandLine(const std::vector<std::string>& arguments) {
    Options options;
    bool pluginOperand = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        std::string value;
        const bool hasInline = render::splitInline(argument, value);
        const OptionDefinition* entry = findOption(kOptions, argument);
        if (!entry && argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option " + argument);
        }
        if (!entry) {
            // The one operand names the plug-in, as -p does.
            if (pluginOperand || !options.pluginPath.empty()) {
                throw UsageError("one plug-in at a time ('" +
                                 (options.pluginPath.empty() ? arguments[i] : options.pluginPath) +
                                 "' and '" + arguments[i] + "' given)");
            }
            options.pluginPath = arguments[i];
            pluginOperand = true;
            continue;
        }
        if (!entry->value && hasInline) throw UsageError(argument + " takes no value");
        if (entry->value && !hasInline) {
            if (i + 1 >= arguments.size()) throw UsageError(argument + " needs a value");
            value = arguments[++i];
        }
        entry->apply(options, value, entry->name);
    }
    if (!options.help) checkCombinations(options);
    return options;
}

std::string usageText() {
    std::string text = R"(Usage: corvalen-play [OPTIONS] [PLUGIN]

Plays a VST 2 instrument (by default Corvalen) or effect live, as a JACK client: MIDI from
NAME:midi_in, each event at its frame, the plug-in's outputs on NAME:out_1..., an effect's
inputs on NAME:in_1.... A plug-in that runs at another rate than JACK is converted, with a
constant latency reported on the output ports. Ctrl-C (SIGINT) or SIGTERM stops it.
)";
    text += render::optionsHelp(kOptions);
    return text + R"(
Exit codes:
  0  stopped by SIGINT or SIGTERM (the recording complete)
  1  failed for another reason
  2  bad usage (unknown option, bad value, unknown parameter or program)
  3  plug-in library missing or cannot be loaded
  4  library has no VST 2 entry point (VSTPluginMain or main)
  5  the entry point returned no effect, or not a usable one
  7  the recording cannot be written
  8  no JACK server to play on, or the JACK client cannot be opened
  9  the JACK server stopped while playing
)";
}

}  // namespace corvalen::play
