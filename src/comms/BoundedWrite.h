#pragma once

#include <cstdint>
#include <span>

// Writes all bytes to the non-blocking descriptor, waiting while it takes no
// more; false when a write fails or stops short, or when the bytes were not
// all taken within their time on a line of baudRate (10 bits a byte; 9600
// when 0) plus graceMs.
bool WriteWithinLineTime(int fd, std::span<const uint8_t> bytes, uint32_t baudRate, int graceMs);
