#pragma once

#include <cstdint>

// The one model whose unit runs its serial line at the higher speeds.
inline constexpr uint16_t HighSpeedModel = 1121;
// The one model whose units keep their settings across an update.
inline constexpr uint16_t SettingsCarryModel = 1105;
// Written to the unit's command register to enter the boot loader.
inline constexpr uint16_t BootEntryKey = 0x5C3A;
// Written to the unit's command register after its settings are restored.
inline constexpr uint16_t CommitKey = 0x7E59;
