// Reads a fuzz input front to back as a stream of small fields. Running out of input is not an
// error: every read past the end gives zeros, so any byte string is a complete program and a
// seed file can be written by hand, field after field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvalen::fuzz {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return position_ >= size_; }
    std::size_t remaining() const { return atEnd() ? 0 : size_ - position_; }

    std::uint8_t u8();
    std::uint16_t u16();  // little-endian
    std::uint32_t u32();  // little-endian
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    // Any 32-bit pattern, NaNs and infinities included.
    float floatBits();
    // Up to maxLength bytes as they stand (zeros and high bytes included).
    std::vector<std::uint8_t> bytes(std::size_t maxLength);

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace corvalen::fuzz
