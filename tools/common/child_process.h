// Work done in a child process, so that a plug-in that crashes, hangs or calls exit ends only
// that child: the one place where the tools fork (the validator's checks and its preflight,
// the fresh processes of some checks, the renderer's --list). The child writes its answer into
// a pipe; the parent reads it until the child closes the pipe or a deadline passes, kills a
// child that hangs, and says how the child ended.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace corvalen::tools {

double monotonicSeconds();

// Writes every byte unless the pipe breaks; false then.
bool writeAll(int fd, const void* data, std::size_t size);

// Reads until the writer closes the pipe (or polling fails) or the deadline (monotonicSeconds)
// passes; false on timeout.
bool readUntilClosed(int fd, double deadline, std::string& text);

// How a child ended.
struct ChildEnding {
    enum class Kind {
        kNotStarted,  // no pipe or no process could be had: `problem` says which
        kExited,      // exitCode holds the status it gave
        kSignaled,    // a signal ended it: `signal`
        kHung,        // no end of its answer before the deadline; it was killed
    };
    Kind kind = Kind::kNotStarted;
    int exitCode = 0;
    int signal = 0;
    double cpuSeconds = -1.0;  // kHung: CPU time it had used, negative when unknown
    std::string problem;       // kNotStarted: "cannot create a pipe", "cannot start a process"

    bool cleanExit() const { return kind == Kind::kExited && exitCode == 0; }
    // "signal 11, Segmentation fault"
    std::string signalText() const;
};

struct ChildResult {
    ChildEnding ending;
    std::string answer;  // what the child wrote into the pipe (also when it then died)
};

// Where the child's standard output and error go: a plug-in's chatter must not garble what the
// parent prints.
enum class ChildOutput {
    kInherited,
    kStdoutToStderr,  // stdout joins stderr, so the parent's stdout holds only its report
    kDiscarded,       // both to /dev/null
};

struct ChildOptions {
    double timeoutSeconds = 60.0;
    ChildOutput output = ChildOutput::kInherited;
};

// Forks a child that runs `work` with the write end of the pipe and then ends with _exit(0),
// running no destructor or exit handler of the parent's state. The child is killed when the
// parent dies (PR_SET_PDEATHSIG), so none outlives a check that was itself killed.
ChildResult runInChild(const std::function<void(int answerFd)>& work, const ChildOptions& options);

// CPU seconds a process and its finished children have used, from /proc; negative when
// unknown. Tells a hung child that computes (a loop) from one that waits (a deadlock).
double cpuSecondsOf(int pid);

}  // namespace corvalen::tools
