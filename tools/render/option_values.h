// What the tools' command lines share: the error a bad command line gives, the parsers of
// option values (numbers in a range, lists such as 1,10 or 3-5, NAME=VALUE settings, sample
// formats), "--name=value" splitting and the layout of one option in --help.
#pragma once

#include <string>
#include <vector>

#include "tools/render/audio_file.h"
#include "tools/render/exit_code.h"

namespace corvalen::render {

class UsageError : public ToolError {
public:
    explicit UsageError(const std::string& message) : ToolError(kExitUsage, message) {}
};

struct ParameterSetting {
    std::string nameOrIndex;
    float value = 0.0f;
};

// Each throws UsageError naming `option` and what it takes.
long parseInteger(const std::string& option, const std::string& text, long low, long high);
double parseNumber(const std::string& option, const std::string& text, double low, double high);
// NAME_OR_INDEX=VALUE, the value from 0 to 1.
ParameterSetting parseParameter(const std::string& option, const std::string& text);
// 16, 24, float (or 32).
SampleFormat parseFormat(const std::string& option, const std::string& text);
// "1,10", "3-5" or a mix: whole numbers from low to high, in the order given, each once.
std::vector<int> parseList(const std::string& option, const std::string& text, int low, int high);

bool looksLikeNumber(const std::string& text);
// Splits "--name=value" into name and value; returns whether a value was attached.
bool splitInline(std::string& argument, std::string& value);

// What --help shows of one option.
struct OptionText {
    const char* name;       // "--plugin"
    const char* shortName;  // "-p", or null
    const char* alias;      // a second long name, or null
    const char* value;      // the value's name, or null
    const char* help;       // lines after the first are indented under it
};
// "  -p, --plugin PATH     text", continuation lines under the text, the alias below.
std::string helpEntry(const OptionText& option);

// For the tools' option tables, whose entries have name, shortName and alias.
// The entry `name` (long, short or alias) names, or null.
template <typename Entry>
const Entry* findOption(const std::vector<Entry>& table, const std::string& name) {
    for (const Entry& entry : table) {
        if (name == entry.name || (entry.shortName && name == entry.shortName) ||
            (entry.alias && name == entry.alias)) {
            return &entry;
        }
    }
    return nullptr;
}
// Every entry of the table under its section's title, as --help shows them.
template <typename Entry>
std::string optionsHelp(const std::vector<Entry>& table) {
    std::string text;
    std::string section;
    for (const Entry& entry : table) {
        if (section != entry.section) {
            section = entry.section;
            text += "\n" + section + ":\n";
        }
        text += helpEntry({entry.name, entry.shortName, entry.alias, entry.value, entry.help});
    }
    return text;
}
// Every name a command line may use: long names, short names and aliases.
template <typename Entry>
std::vector<std::string> optionNamesOf(const std::vector<Entry>& table) {
    std::vector<std::string> names;
    for (const Entry& entry : table) {
        for (const char* name : {entry.name, entry.shortName, entry.alias}) {
            if (name) names.push_back(name);
        }
    }
    return names;
}

}  // namespace corvalen::render
