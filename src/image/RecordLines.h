#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "image/AddressedBytes.h"

// A line of a firmware file that cannot be read, and why.
class ImageRecordError : public std::runtime_error {
 public:
  ImageRecordError(int line, const std::string& what) : std::runtime_error(what), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// The lines of a text firmware file, each without its line end (LF or
// CR LF) and surrounding blanks; blank lines are passed over.
class RecordLines {
 public:
  explicit RecordLines(std::span<const uint8_t> text);

  // Moves to the next line that is not blank; false at the end.
  bool Next();
  std::string_view Text() const { return line_; }
  // 1-based; after the end, the number of the file's last line.
  int Number() const { return number_; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  std::string_view line_;
  int number_ = 0;
};

// The bytes that the hexadecimal digits stand for, two digits a byte.
// Throws ImageRecordError for a character that is no hexadecimal digit
// (naming its column, counted from 1 with firstColumn the first digit's)
// and for an odd number of digits.
std::vector<uint8_t> HexBytes(std::string_view digits, int line, int firstColumn);

// "0x" and the value in upper-case hexadecimal, at least four digits.
std::string HexAddress(uint64_t value);

// "0x" and the byte in two upper-case hexadecimal digits.
std::string HexByte(unsigned value);

// Puts a data record's bytes into data. Throws ImageRecordError when they
// run past the 32-bit address range or give an address a second, different
// byte.
void PutDataRecord(AddressedBytes& data, uint64_t address, std::span<const uint8_t> bytes,
                   int line);
