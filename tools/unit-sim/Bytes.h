#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace unitsim {

using Bytes = std::vector<uint8_t>;

// Upper-case pairs separated by spaces ("13 03 00 14"), as the transcript shows bytes.
std::string ToHex(std::span<const uint8_t> bytes);

// 16-bit fields go on the line high byte first.
inline uint16_t ReadBe16(std::span<const uint8_t> bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
}

inline void AppendBe16(Bytes& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value >> 8));
  out.push_back(static_cast<uint8_t>(value & 0xFF));
}

}  // namespace unitsim
