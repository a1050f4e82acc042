#include "Crc16.h"

namespace unitsim {

namespace {

// The polynomial 0x8005, bit-reflected.
constexpr uint16_t ReflectedPolynomial = 0xA001;

}  // namespace

uint16_t Crc16Update(uint16_t crc, uint8_t byte) {
  crc ^= byte;
  for (int bit = 0; bit < 8; ++bit) {
    const bool carry = (crc & 1) != 0;
    crc >>= 1;
    if (carry) crc ^= ReflectedPolynomial;
  }
  return crc;
}

uint16_t Crc16Modbus(std::span<const uint8_t> bytes) {
  uint16_t crc = 0xFFFF;
  for (const uint8_t byte : bytes) crc = Crc16Update(crc, byte);
  return crc;
}

void AppendCrc(Bytes& frame) {
  const uint16_t crc = Crc16Modbus(frame);
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
}

bool CrcMatches(std::span<const uint8_t> frame) {
  if (frame.size() < 2) return false;
  const uint16_t crc = Crc16Modbus(frame.first(frame.size() - 2));
  return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

}  // namespace unitsim
