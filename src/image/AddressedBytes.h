#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

// The bytes a firmware file gives, by address, with the line of each data
// record so that a refusal can name it. Storage grows with the data, not
// with the address range.
class AddressedBytes {
 public:
  // The addresses one data record covers (inclusive) and its line.
  struct Run {
    uint32_t First = 0;
    uint32_t Last = 0;
    int Line = 0;
  };

  // Puts bytes from address on. False when an address already holds a
  // different byte; the same byte given twice is accepted. The caller keeps
  // address + size within 32 bits.
  bool Put(uint32_t address, std::span<const uint8_t> bytes, int line);

  std::optional<uint8_t> At(uint32_t address) const;
  const std::vector<Run>& Runs() const { return runs_; }

 private:
  static constexpr uint32_t PageSize = 4096;
  struct Page {
    std::array<uint8_t, PageSize> Bytes{};
    std::bitset<PageSize> Present;
  };

  std::map<uint32_t, Page> pages_;
  std::vector<Run> runs_;
};
