#include <cstdio>
#include <string>

#include "tools/render/commands.h"

namespace corvalen::render {

void warn(const Options& options, const std::string& text) {
    if (!options.quiet) std::fprintf(stderr, "corvalen-render: warning: %s\n", text.c_str());
}

std::string inputName(const std::string& path) {
    return path == "-" ? "standard input" : path;
}

}  // namespace corvalen::render
