#include "tools/render/option_values.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace corvalen::render {

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

ParameterSetting parseParameter(const std::string& option, const std::string& text) {
    const std::size_t equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0) {
        throw UsageError(option + " needs NAME_OR_INDEX=VALUE, not '" + text + "'");
    }
    ParameterSetting setting;
    setting.nameOrIndex = text.substr(0, equals);
    setting.value = static_cast<float>(
        parseNumber(option + " " + setting.nameOrIndex, text.substr(equals + 1), 0.0, 1.0));
    return setting;
}

SampleFormat parseFormat(const std::string& option, const std::string& text) {
    if (text == "16") return SampleFormat::kPcm16;
    if (text == "24") return SampleFormat::kPcm24;
    if (text == "float" || text == "32") return SampleFormat::kFloat32;
    throw UsageError(option + " takes 16, 24 or float, not '" + text + "'");
}

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

bool splitInline(std::string& argument, std::string& value) {
    if (argument.rfind("--", 0) != 0) return false;
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos) return false;
    value = argument.substr(equals + 1);
    argument.resize(equals);
    return true;
}

std::string helpEntry(const OptionText& option) {
    constexpr std::size_t kNameWidth = 18;
    const std::string indent(6 + kNameWidth, ' ');
    std::string entry =
        std::string("  ") + (option.shortName ? option.shortName + std::string(", ") : "    ");
    std::string name =
        std::string(option.name) + (option.value ? std::string(" ") + option.value : "");
    entry += name + std::string(name.size() < kNameWidth ? kNameWidth - name.size() : 2, ' ');
    for (const char* c = option.help; *c; ++c) {
        entry += *c;
        if (*c == '\n') entry += indent;
    }
    if (option.alias) entry += "\n" + indent + "(also " + option.alias + ")";
    return entry + "\n";
}

}  // namespace corvalen::render
