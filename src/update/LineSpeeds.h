#pragma once

#include <cstdint>

// Line speed of the unit's running firmware: 800000 bit/s for the high-speed
// model, 9600 for every other.
uint32_t UnitSpeed(uint16_t expectedModel);

// Line speed of the unit's boot loader: 92160 bit/s for the high-speed model,
// 115200 for every other.
uint32_t BootLoaderSpeed(uint16_t expectedModel);

// The link's settings before a run: the port opens at this speed (8 data
// bits, no parity, 1 stop bit) with a receive buffer of this size.
inline constexpr uint32_t StartupBaudRate = 115200;
inline constexpr uint16_t StartupRxBufferSize = 500;
