#pragma once

#include <cstdint>
#include <span>

// CRC-16/MODBUS of bytes, returned with its two bytes exchanged: writing the
// result high byte first puts the CRC on the line low byte first. An empty
// range gives 0xFFFF.
uint16_t ModbusCrc16(std::span<const uint8_t> bytes);
