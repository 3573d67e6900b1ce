#include "tools/common/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace corvalen::tools {
namespace {

void redirectOutput(ChildOutput output) {
    if (output == ChildOutput::kStdoutToStderr) {
        dup2(STDERR_FILENO, STDOUT_FILENO);
    } else if (output == ChildOutput::kDiscarded) {
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) {
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
    }
}

ChildEnding endingOf(int status) {
    ChildEnding ending;
    if (WIFSIGNALED(status)) {
        ending.kind = ChildEnding::Kind::kSignaled;
        ending.signal = WTERMSIG(status);
    } else {
        ending.kind = ChildEnding::Kind::kExited;
        ending.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return ending;
}

ChildResult notStarted(const char* problem) {
    ChildResult result;
    result.ending.problem = problem;
    return result;
}

}  // namespace

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

bool writeAll(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool readUntilClosed(int fd, double deadline, std::string& text) {
    char buffer[65536];
    while (true) {
        const double left = deadline - monotonicSeconds();
        if (left <= 0.0) return false;
        pollfd wait{fd, POLLIN, 0};
        const int ready = poll(&wait, 1, static_cast<int>(std::min(left, 1.0) * 1000.0) + 1);
        if (ready < 0 && errno != EINTR) return true;
        if (ready <= 0) continue;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

std::string ChildEnding::signalText() const {
    return "signal " + std::to_string(signal) + ", " + strsignal(signal);
}

ChildResult runInChild(const std::function<void(int answerFd)>& work, const ChildOptions& options) {
    int fds[2];
    if (pipe(fds) != 0) return notStarted("cannot create a pipe");
    // Buffered output would otherwise be written twice, once by each process.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        return notStarted("cannot start a process");
    }
    if (child == 0) {
        close(fds[0]);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        redirectOutput(options.output);
        work(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    ChildResult result;
    const bool finished =
        readUntilClosed(fds[0], monotonicSeconds() + options.timeoutSeconds, result.answer);
    close(fds[0]);
    const double cpuSeconds = finished ? -1.0 : cpuSecondsOf(child);
    if (!finished) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (finished) {
        result.ending = endingOf(status);
    } else {
        result.ending.kind = ChildEnding::Kind::kHung;
        result.ending.cpuSeconds = cpuSeconds;
    }
    return result;
}

double cpuSecondsOf(int pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* file = std::fopen(path, "r");
    if (!file) return -1.0;
    char text[1024] = {};
    const std::size_t got = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    text[got] = '\0';
    // Fields after the command name, which ends with the last ')': state is field 3, utime,
    // stime, cutime and cstime are fields 14 to 17.
    const char* after = std::strrchr(text, ')');
    if (!after) return -1.0;
    unsigned long long ticks[4] = {};
    char state = 0;
    long skipped[10] = {};
    if (std::sscanf(after + 1, " %c %ld %ld %ld %ld %ld %ld %ld %ld %ld %ld %llu %llu %llu %llu",
                    &state, &skipped[0], &skipped[1], &skipped[2], &skipped[3], &skipped[4],
                    &skipped[5], &skipped[6], &skipped[7], &skipped[8], &skipped[9], &ticks[0],
                    &ticks[1], &ticks[2], &ticks[3]) != 15) {
        return -1.0;
    }
    return static_cast<double>(ticks[0] + ticks[1] + ticks[2] + ticks[3]) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace corvalen::tools
