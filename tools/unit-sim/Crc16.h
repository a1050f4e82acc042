#pragma once

#include <cstdint>
#include <span>

#include "Bytes.h"

namespace unitsim {

// CRC-16/MODBUS of the bytes: 0x4B37 for the ASCII digits 1 to 9.
uint16_t Crc16Modbus(std::span<const uint8_t> bytes);

// The CRC carried on by one more byte; a CRC starts at 0xFFFF.
uint16_t Crc16Update(uint16_t crc, uint8_t byte);

// Appends the CRC of everything in the frame so far, low byte first.
void AppendCrc(Bytes& frame);

// Whether the last two bytes are the CRC of the bytes before them.
bool CrcMatches(std::span<const uint8_t> frame);

}  // namespace unitsim
