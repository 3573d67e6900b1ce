#include "tools/play/status_line.h"

#include <cstdio>

namespace corvalen::play {

std::string statusLine(const StatusFigures& figures) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "DSP %5.1f %%  xruns %llu  notes %d  latency %d frames (%.2f ms)",
                  static_cast<double>(figures.dspLoad),
                  static_cast<unsigned long long>(figures.xruns), figures.notesHeld,
                  figures.latencyFrames, 1000.0 * figures.latencyFrames / figures.sampleRate);
    std::string line = text;
    if (figures.droppedFrames > 0) {
        line += "  recording dropped " + std::to_string(figures.droppedFrames) + " frames";
    }
    return line;
}

}  // namespace corvalen::play
