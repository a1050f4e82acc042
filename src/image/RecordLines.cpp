#include "image/RecordLines.h"

#include <cstdio>

namespace {

constexpr std::string_view Blanks = " \t\r\v\f";

std::string_view Trimmed(std::string_view line) {
  const std::size_t first = line.find_first_not_of(Blanks);
  if (first == std::string_view::npos) return {};
  return line.substr(first, line.find_last_not_of(Blanks) - first + 1);
}

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  return -1;
}

std::string Shown(char c) {
  const auto byte = static_cast<unsigned char>(c);
  if (byte >= 0x20 && byte < 0x7F) return std::string("'") + c + "'";
  return "the byte " + HexByte(byte);
}

}  // namespace

RecordLines::RecordLines(std::span<const uint8_t> text)
    : text_(reinterpret_cast<const char*>(text.data()), text.size()) {}

bool RecordLines::Next() {
  while (position_ < text_.size()) {
    const std::size_t end = text_.find('\n', position_);
    const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
    line_ = Trimmed(text_.substr(position_, stop - position_));
    position_ = stop == text_.size() ? stop : stop + 1;
    ++number_;
    if (!line_.empty()) return true;
  }
  line_ = {};
  return false;
}

std::vector<uint8_t> HexBytes(std::string_view digits, int line, int firstColumn) {
  std::vector<uint8_t> bytes;
  bytes.reserve(digits.size() / 2);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (HexValue(digits[i]) < 0) {
      throw ImageRecordError(line, Shown(digits[i]) + " at column " +
                                       std::to_string(firstColumn + static_cast<int>(i)) +
                                       " is not a hexadecimal digit");
    }
  }
  if (digits.size() % 2 != 0) {
    throw ImageRecordError(line, "the record is cut short: it ends in half a byte");
  }
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(HexValue(digits[i]) * 16 + HexValue(digits[i + 1])));
  }
  return bytes;
}

std::string HexAddress(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%04llX", static_cast<unsigned long long>(value));
  return text;
}

std::string HexByte(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

void PutDataRecord(AddressedBytes& data, uint64_t address, std::span<const uint8_t> bytes,
                   int line) {
  if (address + bytes.size() > uint64_t{1} << 32) {
    throw ImageRecordError(line, "the data runs past address 0xFFFFFFFF");
  }
  if (!data.Put(static_cast<uint32_t>(address), bytes, line)) {
    throw ImageRecordError(line,
                           "the record gives an address that an earlier record gave a "
                           "different byte");
  }
}
