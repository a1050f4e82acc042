#pragma once

#include <array>
#include <cstdint>

// How a model's running firmware is switched into its boot loader: up to two
// register writes of BootEntryKey, the result of the last one counting.
struct BootEntryRequest {
  bool toSlaveAddress;  // the address set in the Slave Address box, not slave
  uint8_t slave;
  uint8_t function;
  uint16_t reg;
};

struct BootEntryKind {
  char name;
  uint8_t requestCount;
  std::array<BootEntryRequest, 2> requests;
};

// The boot-entry kind of a model the unit reports (ExpectedModel), or nullptr
// for a model without one.
const BootEntryKind* FindBootEntryKind(uint16_t expectedModel);
