#pragma once

#include <QString>
#include <cstdint>
#include <optional>

// Reads text as a signed 32-bit integer: decimal with an optional sign, or
// hexadecimal after "$", or after "0x"/"0X" when the text is longer than two
// characters. Nothing when the text is no such integer or out of range.
std::optional<int32_t> TextToInteger(const QString& text);
