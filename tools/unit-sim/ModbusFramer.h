#pragma once

#include <optional>
#include <span>

#include "Bytes.h"

namespace unitsim {

// Finds Modbus RTU requests in the bytes heard. A frame is known by its layout (address,
// function, the length the function's layout gives) and a CRC that checks; where none fits,
// one byte is dropped and the search starts again with the next.
class ModbusFramer {
 public:
  void Append(std::span<const uint8_t> bytes);

  // The next frame, or nothing until more bytes arrive. Bytes passed over on the way are
  // added to `skipped`. After `silence` (nothing arrived for a while) an incomplete frame
  // at the front is given up rather than waited for.
  std::optional<Bytes> Next(Bytes& skipped, bool silence = false);

  // Everything not yet taken, which is then forgotten.
  Bytes TakePending();

 private:
  Bytes pending_;
};

}  // namespace unitsim
