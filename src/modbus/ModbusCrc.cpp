#include "modbus/ModbusCrc.h"

namespace {

constexpr uint16_t ReflectedPolynomial = 0xA001;

}  // namespace

uint16_t ModbusCrc16(std::span<const uint8_t> bytes) {
  uint16_t crc = 0xFFFF;
  for (const uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1) != 0 ? static_cast<uint16_t>((crc >> 1) ^ ReflectedPolynomial)
                           : static_cast<uint16_t>(crc >> 1);
    }
  }
  return static_cast<uint16_t>((crc << 8) | (crc >> 8));
}
