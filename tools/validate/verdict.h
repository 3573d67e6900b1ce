// One line of the validator's report, and the tally that decides the exit code.
#pragma once

#include <optional>
#include <string>

namespace validate {

enum class Verdict { kPass, kFail, kSkip };

struct VerdictLine {
    Verdict verdict = Verdict::kFail;
    std::string name;
    std::string detail;
};

// "PASS name: detail", "FAIL name: detail" or "SKIP name: detail", on one line: line breaks
// in the detail become blanks.
std::string formatVerdict(const VerdictLine& line);
// The inverse of formatVerdict; nothing for a line in another form.
std::optional<VerdictLine> parseVerdict(const std::string& text);

class Tally {
public:
    void count(Verdict verdict);
    int passed() const { return passed_; }
    int failed() const { return failed_; }
    int skipped() const { return skipped_; }
    // "N passed, N failed, N skipped".
    std::string summary() const;
    int exitCode() const { return failed_ > 0 ? 1 : 0; }

private:
    int passed_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
};

}  // namespace validate
