#include "tools/validate/verdict.h"

namespace corvalen::validate {
namespace {

const char* word(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass:
            return "PASS";
        case Verdict::kFail:
            return "FAIL";
        case Verdict::kSkip:
            return "SKIP";
        case Verdict::kExpectedFail:
            return "XFAIL";
    }
    return "FAIL";
}

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

}  // namespace

std::string formatVerdict(const VerdictLine& line) {
    return std::string(word(line.verdict)) + " " + oneLine(line.name) + ": " + oneLine(line.detail);
}

std::optional<VerdictLine> parseVerdict(const std::string& text) {
    for (Verdict verdict :
         {Verdict::kPass, Verdict::kFail, Verdict::kSkip, Verdict::kExpectedFail}) {
        const std::string prefix = std::string(word(verdict)) + " ";
        if (text.compare(0, prefix.size(), prefix) != 0) continue;
        const std::size_t colon = text.find(": ", prefix.size());
        if (colon == std::string::npos || colon == prefix.size()) return std::nullopt;
        return VerdictLine{verdict, text.substr(prefix.size(), colon - prefix.size()),
                           text.substr(colon + 2)};
    }
    return std::nullopt;
}

void Tally::count(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass:
            ++passed_;
            break;
        case Verdict::kFail:
            ++failed_;
            break;
        case Verdict::kSkip:
            ++skipped_;
            break;
        case Verdict::kExpectedFail:
            ++expectedFailures_;
            break;
    }
}

std::string Tally::summary() const {
    std::string text = std::to_string(passed_) + " passed, " + std::to_string(failed_) +
                       " failed, " + std::to_string(skipped_) + " skipped";
    if (expectedFailures_ > 0)
        text += ", " + std::to_string(expectedFailures_) + " expected to fail";
    return text;
}

}  // namespace corvalen::validate
