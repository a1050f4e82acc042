#pragma once

#include <cstdint>
#include <functional>

// Sound codes of the system's message beep.
namespace BeepSound {
inline constexpr uint32_t Default = 0x00;
inline constexpr uint32_t Hand = 0x10;
inline constexpr uint32_t Question = 0x20;
inline constexpr uint32_t Exclamation = 0x30;
inline constexpr uint32_t Asterisk = 0x40;
}  // namespace BeepSound

// Every beep of the program goes through here: the sound code is handed to
// the listener (if one is set), then the desktop's beep plays.
void MessageBeep(uint32_t soundCode);

using BeepListener = std::function<void(uint32_t soundCode)>;
// Sets the listener that hears every sound code; an empty one removes it.
void SetBeepListener(BeepListener listener);
