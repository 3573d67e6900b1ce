// corvalen-cross-render OUTPUT.raw
//
// Loads the built plug-in through its `main`, renders the fixed phrase and writes the output as
// raw little-endian float32, left and right interleaved. Builds for every target write the same
// bytes; the cross script and a CTest check compare them.
#include <cstdio>
#include <vector>

#include "tests/cross/phrase.h"
#include "tests/support/plugin_under_test.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.raw\n", argv[0]);
        return 2;
    }
    const std::string path = corvalen::test::pluginUnderTestPath();
    std::vector<float> samples;
    try {
        const corvalen::vsthost::PluginLibrary library(path);
        samples = corvalen::test::renderPhrase(library);
    } catch (const corvalen::vsthost::LoadError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    if (samples.empty()) {
        std::fprintf(stderr, "%s: main gave no effect\n", path.c_str());
        return 1;
    }

    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const bool written =
        std::fwrite(samples.data(), sizeof(float), samples.size(), out) == samples.size();
    if (std::fclose(out) != 0 || !written) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("%zu frames written to %s\n", samples.size() / 2, argv[1]);
    return 0;
}
