// A text buffer handed to a plug-in's text opcode: `capacity` bytes, optionally between guard
// areas, all pre-filled with kGuardByte, so that afterwards it shows how far the plug-in wrote,
// whether it terminated the text, and whether it wrote past the buffer.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace corvalen::vsthost {

// The text with control characters shown as '?', so that a plug-in's text cannot garble a
// terminal.
std::string printableText(std::string text);

class GuardedText {
public:
    static constexpr unsigned char kGuardByte = 0xA5;

    explicit GuardedText(std::size_t capacity, std::size_t guardBytes = 0);

    char* data() { return reinterpret_cast<char*>(bytes_.data() + guardBytes_); }
    std::size_t capacity() const { return capacity_; }

    // One past the last byte of the buffer that no longer holds the guard byte.
    std::size_t bytesTouched() const;
    // A zero was written within the buffer.
    bool terminated() const;
    // No byte of either guard area was written.
    bool guardsIntact() const;
    // How far past the buffer's end the plug-in wrote (0 when the guard after it is intact).
    std::size_t overrun() const;
    // The bytes up to the first zero, or the whole touched extent when there is none.
    std::string text() const;
    // text() with control characters shown as '?'.
    std::string printable() const { return printableText(text()); }

private:
    const unsigned char* begin() const { return bytes_.data() + guardBytes_; }

    std::size_t capacity_;
    std::size_t guardBytes_;
    std::vector<unsigned char> bytes_;
};

}  // namespace corvalen::vsthost
