#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Request frames built the way a master builds them, written here independently of the
// unit's own frame code so that a fault there is not mirrored in the tests.
namespace testframes {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t BootEntryKey = 0x5C3A;
constexpr uint16_t CommitKey = 0x7E59;

inline Bytes WithCrc(Bytes frame) {
  uint16_t crc = 0xFFFF;
  for (const uint8_t byte : frame) {
    crc ^= byte;
    for (int i = 0; i < 8; ++i) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  frame.push_back(static_cast<uint8_t>(crc));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

inline Bytes Request(uint8_t address, uint8_t function, uint16_t reg, uint16_t word) {
  return WithCrc({address, function, static_cast<uint8_t>(reg >> 8), static_cast<uint8_t>(reg),
                  static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)});
}

inline Bytes WriteManyRequest(uint8_t address, uint16_t first,
                              const std::vector<uint16_t>& values) {
  Bytes frame{address,
              104,
              static_cast<uint8_t>(first >> 8),
              static_cast<uint8_t>(first),
              0,
              static_cast<uint8_t>(values.size()),
              static_cast<uint8_t>(values.size() * 2)};
  for (const uint16_t value : values) {
    frame.push_back(static_cast<uint8_t>(value >> 8));
    frame.push_back(static_cast<uint8_t>(value));
  }
  return WithCrc(frame);
}

inline Bytes BootRequest(uint8_t command, uint8_t count, const Bytes& data = {}) {
  Bytes body{command, count};
  body.insert(body.end(), data.begin(), data.end());
  uint8_t sum = 0;
  for (const uint8_t byte : body) sum = static_cast<uint8_t>(sum + byte);
  body.push_back(static_cast<uint8_t>(-sum));
  Bytes frame{0x10, 0x02};
  for (const uint8_t byte : body) {
    frame.push_back(byte);
    if (byte == 0x10) frame.push_back(0x10);
  }
  frame.insert(frame.end(), {0x10, 0x03});
  return frame;
}

// The body of a boot frame as sent (DLE STX ... DLE ETX, nothing before or after), or nothing
// when a DLE inside it is not doubled.
inline std::optional<Bytes> BootBody(std::span<const uint8_t> frame) {
  if (frame.size() < 4 || frame[0] != 0x10 || frame[1] != 0x02 || frame[frame.size() - 2] != 0x10 ||
      frame[frame.size() - 1] != 0x03) {
    return std::nullopt;
  }
  Bytes body;
  for (std::size_t i = 2; i + 2 < frame.size(); ++i) {
    if (frame[i] == 0x10 && (i + 3 >= frame.size() || frame[++i] != 0x10)) return std::nullopt;
    body.push_back(frame[i]);
  }
  return body;
}

inline uint8_t Sum(std::span<const uint8_t> bytes) {
  uint8_t sum = 0;
  for (const uint8_t byte : bytes) sum = static_cast<uint8_t>(sum + byte);
  return sum;
}

// The 3-byte address field of erase and program: low, high, upper.
inline Bytes Address(uint16_t address) {
  return {static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), 0};
}

}  // namespace testframes
