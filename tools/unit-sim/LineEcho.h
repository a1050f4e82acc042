#pragma once

#include <span>

#include "Bytes.h"

namespace unitsim {

// What an echoing line gives back of bytes sent on it: the bytes themselves, as a 2-wire
// RS-485 adapter whose receiver is always on hands every byte it sends back to its sender.
// A damaged echo (a collision or noise on the bus) has its middle byte inverted.
Bytes EchoOf(std::span<const uint8_t> sent, bool damaged);

}  // namespace unitsim
