#include "LineEcho.h"

namespace unitsim {

Bytes EchoOf(std::span<const uint8_t> sent, bool damaged) {
  Bytes echo(sent.begin(), sent.end());
  if (damaged && !echo.empty()) echo[echo.size() / 2] ^= 0xFF;
  return echo;
}

}  // namespace unitsim
