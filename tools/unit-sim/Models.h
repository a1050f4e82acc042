#pragma once

#include <cstdint>
#include <optional>

namespace unitsim {

// The one model whose line runs at the higher speeds.
inline constexpr uint16_t HighSpeedModel = 1121;
// The model number every unit of the sensor-node family reports.
inline constexpr uint16_t FamilyModelNumber = 2000;
// Written to a boot-entry register, it starts the boot loader.
inline constexpr uint16_t BootEntryKey = 0x5C3A;
// Written to the command register after the settings are restored.
inline constexpr uint16_t CommitKey = 0x7E59;

// How a model's firmware is told to start its boot loader: 'A' to 'H', or nothing for a
// model outside the table (a unit that never enters its boot loader).
std::optional<char> BootEntryKindOf(uint16_t model);

// 9600 bit/s, or 800000 for the high-speed model.
uint32_t FirmwareSpeed(uint16_t model);
// 115200 bit/s, or 92160 for the high-speed model.
uint32_t BootLoaderSpeed(uint16_t model);

}  // namespace unitsim
