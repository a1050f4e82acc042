#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace unitsim {

// The unit's 64 KiB of program flash, erased to 0xFF. As flash does, programming only clears
// bits: a row programmed without being erased first keeps the zeros it had.
class ProgramMemory {
 public:
  static constexpr std::size_t Size = 0x10000;
  static constexpr std::size_t BlockSize = 512;
  static constexpr std::size_t RowSize = 128;

  ProgramMemory();

  // Takes the file's bytes from address 0 (at most Size; the rest stays 0xFF). Throws
  // std::runtime_error with the reason.
  void Load(const std::string& path);
  // Writes all Size bytes, replacing the file only once the new content is complete.
  // Throws std::runtime_error with the reason.
  void Save(const std::string& path) const;

  // Address: the first of a block, or of a row.
  void EraseBlock(uint32_t address);
  void ProgramRow(uint32_t address, std::span<const uint8_t, RowSize> row);

  std::span<const uint8_t, Size> Content() const { return bytes_; }

 private:
  std::array<uint8_t, Size> bytes_{};
};

}  // namespace unitsim
