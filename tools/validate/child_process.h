// What the validator's forked children and their parent share: a monotonic clock, writing and
// reading a pipe whole, and the message of an exception a check or a plug-in threw.
#pragma once

#include <cstddef>
#include <string>

namespace corvalen::validate {

double monotonicSeconds();

// Writes every byte unless the pipe breaks; false then.
bool writeAll(int fd, const void* data, std::size_t size);

// Reads until the writer closes the pipe or the deadline (monotonicSeconds) passes; false on
// timeout.
bool readUntilClosed(int fd, double deadline, std::string& text);

// Inside a catch block: the text of the exception being handled. A ValidationError says what
// the check observed; anything else was thrown by the plug-in.
std::string currentExceptionMessage();

}  // namespace corvalen::validate
