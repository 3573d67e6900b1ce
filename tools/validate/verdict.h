// One line of the validator's report, and the tally that decides the exit code.
#pragma once

#include <optional>
#include <string>

namespace corvalen::validate {

// One meaning each:
//   kFail  a fault a host meets in normal use (a crash, a hang, non-finite output from valid
//          values, events on the wrong frames, block-size dependence, allocation while
//          processing, stuck notes, output without input...);
//   kWarn  a deviation only under abuse or on a path hosts do not take (non-finite parameter
//          values, the accumulating call next to a replacing one, a slow load);
//   kSkip  the check cannot judge, for the reason given;
//   kExpectedFail  a failure the caller said to expect (--expect-fail), reported as "XFAIL" and
//          not counted as a failure.
// Only kFail decides the exit code.
enum class Verdict { kPass, kFail, kWarn, kSkip, kExpectedFail };

struct VerdictLine {
    Verdict verdict = Verdict::kFail;
    std::string name;
    std::string detail;
};

// "PASS name: detail", "FAIL ...", "WARN ...", "SKIP ..." or "XFAIL ...", on one line: line
// breaks in the detail become blanks.
std::string formatVerdict(const VerdictLine& line);
// The inverse of formatVerdict; nothing for a line in another form.
std::optional<VerdictLine> parseVerdict(const std::string& text);
// "PASS", "FAIL", "WARN", "SKIP" or "XFAIL".
const char* verdictWord(Verdict verdict);
// The more serious of two verdicts: FAIL over WARN over PASS; SKIP only over nothing else.
Verdict worse(Verdict a, Verdict b);

class Tally {
public:
    void count(Verdict verdict);
    int passed() const { return passed_; }
    int failed() const { return failed_; }
    int warned() const { return warned_; }
    int skipped() const { return skipped_; }
    int expectedFailures() const { return expectedFailures_; }
    // "N passed, N failed, N warned, N skipped", and ", N expected to fail" when there are any.
    std::string summary() const;
    int exitCode() const { return failed_ > 0 ? 1 : 0; }

private:
    int passed_ = 0;
    int failed_ = 0;
    int warned_ = 0;
    int skipped_ = 0;
    int expectedFailures_ = 0;
};

}  // namespace corvalen::validate
