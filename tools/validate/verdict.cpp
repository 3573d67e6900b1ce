#include "tools/validate/verdict.h"

namespace corvalen::validate {
namespace {

std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return text;
}

int severity(Verdict verdict) {
    switch (verdict) {
        case Verdict::kFail:
            return 4;
        case Verdict::kExpectedFail:
            return 3;
        case Verdict::kWarn:
            return 2;
        case Verdict::kPass:
            return 1;
        case Verdict::kSkip:
            return 0;
    }
    return 4;
}

}  // namespace

Verdict worse(Verdict a, Verdict b) {
    return severity(a) >= severity(b) ? a : b;
}

const char* verdictWord(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass:
            return "PASS";
        case Verdict::kFail:
            return "FAIL";
        case Verdict::kWarn:
            return "WARN";
        case Verdict::kSkip:
            return "SKIP";
        case Verdict::kExpectedFail:
            return "XFAIL";
    }
    return "FAIL";
}

std::string formatVerdict(const VerdictLine& line) {
    return std::string(verdictWord(line.verdict)) + " " + oneLine(line.name) + ": " +
           oneLine(line.detail);
}

std::optional<VerdictLine> parseVerdict(const std::string& text) {
    for (Verdict verdict :
         {Verdict::kPass, Verdict::kFail, Verdict::kWarn, Verdict::kSkip, Verdict::kExpectedFail}) {
        const std::string prefix = std::string(verdictWord(verdict)) + " ";
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
        case Verdict::kWarn:
            ++warned_;
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
                       " failed, " + std::to_string(warned_) + " warned, " +
                       std::to_string(skipped_) + " skipped";
    if (expectedFailures_ > 0)
        text += ", " + std::to_string(expectedFailures_) + " expected to fail";
    return text;
}

}  // namespace corvalen::validate
