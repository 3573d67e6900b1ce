#include "tools/validate/child_process.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

#include "tools/validate/plugin_instance.h"

namespace corvalen::validate {

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

std::string currentExceptionMessage() {
    try {
        throw;
    } catch (const ValidationError& error) {
        return error.what();
    } catch (const std::exception& error) {
        return std::string("the plug-in threw an exception: ") + error.what();
    } catch (...) {
        return "the plug-in threw an exception";
    }
}

}  // namespace corvalen::validate
