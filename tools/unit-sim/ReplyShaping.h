#pragma once

#include <array>
#include <chrono>
#include <span>

#include "Bytes.h"
#include "Faults.h"

namespace unitsim {

// A reply as it goes on the line.
struct Reply {
  Bytes bytes;
  // How long the unit works before the first byte goes out.
  std::chrono::milliseconds delay{0};
  // 1, or 3 for a split reply.
  int pieces = 1;
  // Instead of replying, the unit leaves the line.
  bool hangUp = false;
  // How many FloodByte bytes follow the reply; the transcript does not show them.
  std::size_t flood = 0;
};

enum class Framing { Modbus, Boot };

// Sent before a reply when noise is asked for: never a slave address (1 to 247), never DLE.
inline constexpr std::array<uint8_t, 3> NoiseBytes{0xFF, 0xFE, 0xF8};
// Sent after a reply when a trailing byte is asked for.
inline constexpr uint8_t TrailingByte = 0xA5;
// A flood after a reply: twice the most the program may hold unhandled, of a byte that is never
// a slave address and never DLE.
inline constexpr std::size_t FloodBytes = std::size_t{2} * 1024 * 1024;
inline constexpr uint8_t FloodByte = 0xFF;

// DLE STX, the body with every DLE doubled, DLE ETX.
Bytes EncodeBootFrame(std::span<const uint8_t> body);

// The line bytes of a reply: Modbus content (address, function, data) gets its CRC, boot
// content (command, count, data) its checksum and framing; the faults that change bytes
// (short, bad-check, noise, trailing) are applied on the way.
Bytes ShapeReply(Bytes content, Framing framing, std::span<const FaultKind> faults);

}  // namespace unitsim
