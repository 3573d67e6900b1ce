// --midi-info: what each MIDI file holds.
#include <cstdio>
#include <stdexcept>

#include "tools/render/commands.h"
#include "tools/render/midi_file.h"
#include "tools/render/midi_selection.h"

namespace corvalen::render {

int midiInfoCommand(const Options& options) {
    if (options.midiPaths.empty()) throw UsageError("--midi-info needs MIDI files");
    int result = kExitOk;
    for (const std::string& path : options.midiPaths) {
        try {
            const MidiSequence sequence = readMidiFile(path);
            std::fputs(describeMidi(sequence, inputName(path)).c_str(), stdout);
        } catch (const std::runtime_error& error) {
            std::fprintf(stderr, "corvalen-render: %s\n", error.what());
            result = kExitMidi;
        }
    }
    return result;
}

}  // namespace corvalen::render
