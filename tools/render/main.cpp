// corvalen-render: renders MIDI through a VST 2 plug-in into audio files, describes plug-ins
// and MIDI files, and checks plug-ins. This file only dispatches; each command has its own
// file (commands.h).
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/render/command_line.h"
#include "tools/render/commands.h"
#include "tools/render/exit_code.h"
#include "tools/validate/validator.h"
#include "vst_host/plugin_library.h"

namespace {

using namespace corvalen::render;

int run(const Options& options) {
    switch (options.mode) {
        case Mode::kHelp:
            std::fputs(usageText().c_str(), stdout);
            return kExitOk;
        case Mode::kVersion:
            std::printf("corvalen-render %s\n", CORVALEN_VERSION);
            return kExitOk;
        case Mode::kListChecks:
            corvalen::validate::listChecks(stdout);
            return kExitOk;
        case Mode::kValidate:
            return validateCommand(options);
        case Mode::kList:
            return listCommand(options);
        case Mode::kMidiInfo:
            return midiInfoCommand(options);
        case Mode::kInfo:
            return infoCommand(options);
        case Mode::kRender:
            break;
    }
    return renderCommand(options);
}

int report(const char* message, int code) {
    std::fprintf(stderr, "corvalen-render: %s\n", message);
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return run(parseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const UsageError& error) {
        std::fprintf(stderr, "corvalen-render: %s\n(corvalen-render --help shows the options)\n",
                     error.what());
        return kExitUsage;
    } catch (const ToolError& error) {
        return report(error.what(), error.exitCode());
    } catch (const corvalen::vsthost::LoadError& error) {
        return report(error.what(), exitCodeFor(error.failure()));
    } catch (const std::exception& error) {
        return report(error.what(), kExitRenderFailed);
    }
}
