#pragma once

#include <optional>
#include <span>

#include "Bytes.h"

namespace unitsim {

inline constexpr uint8_t Dle = 0x10;
inline constexpr uint8_t Stx = 0x02;
inline constexpr uint8_t Etx = 0x03;

struct BootFrame {
  // As heard, from DLE STX to DLE ETX.
  Bytes raw;
  // Between the markers with the doubling undone: command, count, data, checksum.
  Bytes body;
};

// Finds boot loader frames in the bytes heard: DLE STX, a body in which every 0x10 is sent
// twice, DLE ETX. A DLE STX inside a frame starts a new frame; a DLE followed by anything
// else, or a body longer than any request, gives the frame up.
class BootFramer {
 public:
  void Append(std::span<const uint8_t> bytes);

  // The next frame, or nothing until more bytes arrive. Bytes passed over on the way are
  // added to `skipped`.
  std::optional<BootFrame> Next(Bytes& skipped);

  // Everything not yet taken, which is then forgotten.
  Bytes TakePending();

 private:
  Bytes pending_;
};

}  // namespace unitsim
