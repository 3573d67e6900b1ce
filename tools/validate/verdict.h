// One line of the validator's report, and the tally that decides the exit code.
#pragma once

#include <optional>
#include <string>

namespace corvalen::validate {

// kExpectedFail: a failure the caller said to expect (--expect-fail), reported as "XFAIL" and
// not counted as a failure.
enum class Verdict { kPass, kFail, kSkip, kExpectedFail };

struct VerdictLine {
    Verdict verdict = Verdict::kFail;
    std::string name;
    std::string detail;
};

// "PASS name: detail", "FAIL name: detail", "SKIP name: detail" or "XFAIL name: detail", on
// one line: line breaks in the detail become blanks.
std::string formatVerdict(const VerdictLine& line);
// The inverse of formatVerdict; nothing for a line in another form.
std::optional<VerdictLine> parseVerdict(const std::string& text);

class Tally {
public:
    void count(Verdict verdict);
    int passed() const { return passed_; }
    int failed() const { return failed_; }
    int skipped() const { return skipped_; }
    int expectedFailures() const { return expectedFailures_; }
    // "N passed, N failed, N skipped", and ", N expected to fail" when there are any.
    std::string summary() const;
    int exitCode() const { return failed_ > 0 ? 1 : 0; }

private:
    int passed_ = 0;
    int failed_ = 0;
    int skipped_ = 0;
    int expectedFailures_ = 0;
};

}  // namespace corvalen::validate
