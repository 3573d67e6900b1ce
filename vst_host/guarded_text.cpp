#include "vst_host/guarded_text.h"

#include <cstring>

namespace corvalen::vsthost {

GuardedText::GuardedText(std::size_t capacity, std::size_t guardBytes)
    : capacity_(capacity), guardBytes_(guardBytes), bytes_(capacity + 2 * guardBytes, kGuardByte) {}

std::size_t GuardedText::bytesTouched() const {
    std::size_t touched = capacity_;
    while (touched > 0 && begin()[touched - 1] == kGuardByte) --touched;
    return touched;
}

bool GuardedText::terminated() const {
    return std::memchr(begin(), 0, capacity_) != nullptr;
}

bool GuardedText::guardsIntact() const {
    for (std::size_t i = 0; i < guardBytes_; ++i) {
        if (bytes_[i] != kGuardByte || begin()[capacity_ + i] != kGuardByte) return false;
    }
    return true;
}

std::size_t GuardedText::overrun() const {
    for (std::size_t i = guardBytes_; i > 0; --i) {
        if (begin()[capacity_ + i - 1] != kGuardByte) return i;
    }
    return 0;
}

std::string printableText(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    }
    return text;
}

std::string GuardedText::text() const {
    const std::size_t touched = bytesTouched();
    const void* zero = std::memchr(begin(), 0, touched);
    const std::size_t length =
        zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - begin())
             : touched;
    return std::string(reinterpret_cast<const char*>(begin()), length);
}

}  // namespace corvalen::vsthost
