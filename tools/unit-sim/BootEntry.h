#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace unitsim {

// For the kinds that take two requests (A and E): which of them switches the unit.
enum class EntryRequestChoice { First, Second };

struct EntryRequest {
  uint8_t address;
  uint8_t function;
  uint16_t reg;
};

// The boot-entry requests of one unit: the registers its firmware takes them at, and which
// request starts the boot loader when it carries BootEntryKey.
class BootEntry {
 public:
  // Throws std::invalid_argument when a choice is given for a kind without two requests.
  BootEntry(uint16_t model, uint8_t slaveAddress, std::optional<EntryRequestChoice> choice);

  std::optional<char> Kind() const { return kind_; }
  std::span<const EntryRequest> Requests() const { return requests_; }

  // Whether a write with this function to this register is one of the requests.
  bool IsEntryRegister(uint8_t address, uint8_t function, uint16_t reg) const;
  // Whether this write starts the boot loader.
  bool Switches(uint8_t address, uint8_t function, uint16_t reg, uint16_t value) const;
  // Kind F: no request; the unit starts its boot loader when the line is at its speed.
  bool EntersWithoutRequest() const { return kind_ == 'F'; }

 private:
  std::optional<char> kind_;
  std::vector<EntryRequest> requests_;
  std::size_t switching_ = 0;
};

}  // namespace unitsim
