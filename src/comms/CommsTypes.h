#pragma once

#include <cstdint>

// Stop bits and parity of the serial line; the ordinals are the codes the
// link has always used for them.
enum class TStopBits : uint8_t { sb1 = 0, sb1_5 = 1, sb2 = 2 };
enum class TParity : uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

struct LineSettings {
  uint32_t BaudRate = 9600;
  uint8_t DataBits = 8;
  TParity Parity = TParity::None;
  TStopBits StopBits = TStopBits::sb1;
};
