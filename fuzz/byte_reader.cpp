#include "fuzz/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace corvalen::fuzz {

std::uint8_t ByteReader::u8() {
    return atEnd() ? 0 : data_[position_++];
}

std::uint16_t ByteReader::u16() {
    const std::uint16_t low = u8();
    return static_cast<std::uint16_t>(low | (u8() << 8));
}

std::uint32_t ByteReader::u32() {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
}

float ByteReader::floatBits() {
    const std::uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::vector<std::uint8_t> ByteReader::bytes(std::size_t maxLength) {
    const std::size_t length = std::min(maxLength, remaining());
    std::vector<std::uint8_t> out(data_ + position_, data_ + position_ + length);
    position_ += length;
    return out;
}

}  // namespace corvalen::fuzz
