#include "Bytes.h"

namespace unitsim {

std::string ToHex(std::span<const uint8_t> bytes) {
  static constexpr char Digits[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(bytes.size() * 3);
  for (const uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += Digits[byte >> 4];
    text += Digits[byte & 0x0F];
  }
  return text;
}

}  // namespace unitsim
