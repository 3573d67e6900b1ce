// corvalen-lv2-ttl TEMPLATE BUNDLE_DIR LIBRARY_FILE
//
// Writes the bundle's data at build time from the program table the VST 2 plug-in fills its
// programs from: BUNDLE_DIR/corvalen.ttl (TEMPLATE with each "@default:SYMBOL@" replaced by
// program 0's value), presets.ttl (one preset per program) and manifest.ttl (the plug-in,
// its library and the presets). Exit code 0, or 1 with a message on standard error.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "lv2/ports.h"
#include "synth/program_table.h"

namespace {

using corvalen::lv2::kControlSymbols;
using corvalen::lv2::kPluginUri;

// The shortest decimal text that reads back as the same float, always with a point or an
// exponent, so that Turtle reads a number, not an integer.
std::string floatText(float value) {
    char text[32] = {};
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(value));
        if (std::strtof(text, nullptr) == value) break;
    }
    std::string result = text;
    if (result.find_first_of(".e") == std::string::npos) result += ".0";
    return result;
}

std::string presetUri(int index) {
    char number[8] = {};
    std::snprintf(number, sizeof number, "%02d", index + 1);
    return std::string(kPluginUri) + "#program-" + number;
}

// Starts with the number, so hosts that sort presets by label keep the programs' order.
std::string presetLabel(int index, const testsynthProgram& program) {
    char number[8] = {};
    std::snprintf(number, sizeof number, "%02d", index + 1);
    return std::string(number) + " " + program.name;
}

const char* kPrefixes =
    "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n\n";

std::string presets() {
    std::ostringstream out;
    out << "# The programs of the VST 2 plug-in as presets, written at build time.\n" << kPrefixes;
    for (int index = 0; index < kInitialProgramCount; ++index) {
        const testsynthProgram program = initialProgram(index);
        const auto values = program.values();
        out << "<" << presetUri(index) << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
            << kPluginUri << "> ;\n    rdfs:label \"" << presetLabel(index, program)
            << "\" ;\n    lv2:port";
        for (int parameter = 0; parameter < kParameterCount; ++parameter) {
            out << (parameter == 0 ? " [\n" : " , [\n") << "        lv2:symbol \""
                << kControlSymbols[parameter] << "\" ;\n        pset:value "
                << floatText(values[static_cast<std::size_t>(parameter)]) << "\n    ]";
        }
        out << " .\n\n";
    }
    return out.str();
}

std::string manifest(const std::string& libraryFile) {
    std::ostringstream out;
    out << kPrefixes << "<" << kPluginUri << ">\n    a lv2:Plugin , lv2:InstrumentPlugin ;\n"
        << "    lv2:binary <" << libraryFile << "> ;\n    rdfs:seeAlso <corvalen.ttl> .\n";
    for (int index = 0; index < kInitialProgramCount; ++index) {
        out << "\n<" << presetUri(index) << ">\n    a pset:Preset ;\n    lv2:appliesTo <"
            << kPluginUri << "> ;\n    rdfs:seeAlso <presets.ttl> .\n";
    }
    return out.str();
}

// The template with every control default filled in; empty when a placeholder is missing.
std::string pluginDescription(std::string text) {
    const auto defaults = initialProgram(0).values();
    for (int parameter = 0; parameter < kParameterCount; ++parameter) {
        const std::string placeholder = std::string("@default:") + kControlSymbols[parameter] + "@";
        const std::size_t at = text.find(placeholder);
        if (at == std::string::npos) {
            std::cerr << "corvalen-lv2-ttl: the template has no " << placeholder << "\n";
            return {};
        }
        text.replace(at, placeholder.size(),
                     floatText(defaults[static_cast<std::size_t>(parameter)]));
    }
    if (text.find("@default:") != std::string::npos) {
        std::cerr << "corvalen-lv2-ttl: the template names a default that is not a parameter\n";
        return {};
    }
    return text;
}

bool writeFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    file.close();
    if (!file) std::cerr << "corvalen-lv2-ttl: cannot write " << path << "\n";
    return static_cast<bool>(file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: corvalen-lv2-ttl TEMPLATE BUNDLE_DIR LIBRARY_FILE\n";
        return 1;
    }
    std::ifstream templateFile(argv[1], std::ios::binary);
    std::stringstream templateText;
    templateText << templateFile.rdbuf();
    if (!templateFile) {
        std::cerr << "corvalen-lv2-ttl: cannot read " << argv[1] << "\n";
        return 1;
    }
    const std::string description = pluginDescription(templateText.str());
    const std::string bundle = argv[2];
    if (description.empty()) return 1;
    const bool written = writeFile(bundle + "/corvalen.ttl", description) &&
                         writeFile(bundle + "/presets.ttl", presets()) &&
                         writeFile(bundle + "/manifest.ttl", manifest(argv[3]));
    return written ? 0 : 1;
}
