#include "BootEntry.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include "Models.h"

namespace unitsim {

namespace {

// Stands for the unit's own slave address (--slave-address) in the table.
constexpr uint16_t OwnAddress = 0x100;

struct KindRequest {
  uint16_t address;
  uint8_t function;
  uint16_t reg;
};

struct KindRow {
  char kind;
  std::array<KindRequest, 2> requests;
  std::size_t count;
  // The request that switches unless the unit is told otherwise.
  std::size_t switching;
};

constexpr std::array<KindRow, 8> KindRows{{
    {'A', {{{1, 6, 156}, {0, 6, 156}}}, 2, 0},
    {'B', {{{19, 103, 29}}}, 1, 0},
    {'C', {{{242, 6, 13}}}, 1, 0},
    {'D', {{{1, 103, 8}}}, 1, 0},
    {'E', {{{1, 103, 8}, {2, 103, 5}}}, 2, 1},
    {'F', {}, 0, 0},
    {'G', {{{OwnAddress, 103, 151}}}, 1, 0},
    {'H', {{{1, 103, 2}}}, 1, 0},
}};

}  // namespace

BootEntry::BootEntry(uint16_t model, uint8_t slaveAddress, std::optional<EntryRequestChoice> choice)
    : kind_(BootEntryKindOf(model)) {
  if (!kind_) {
    if (choice) throw std::invalid_argument("--entry-request: this model has no boot entry");
    return;
  }
  const auto& row = *std::find_if(KindRows.begin(), KindRows.end(),
                                  [this](const KindRow& entry) { return entry.kind == *kind_; });
  for (std::size_t i = 0; i < row.count; ++i) {
    const KindRequest& request = row.requests[i];
    const uint8_t address =
        request.address == OwnAddress ? slaveAddress : static_cast<uint8_t>(request.address);
    requests_.push_back({address, request.function, request.reg});
  }
  switching_ = row.switching;
  if (choice) {
    if (row.count != 2) {
      throw std::invalid_argument(std::string("--entry-request: kind ") + *kind_ +
                                  " takes a single request; only kinds A and E take two");
    }
    switching_ = *choice == EntryRequestChoice::First ? 0 : 1;
  }
}

bool BootEntry::IsEntryRegister(uint8_t address, uint8_t function, uint16_t reg) const {
  return std::any_of(requests_.begin(), requests_.end(), [&](const EntryRequest& request) {
    return request.address == address && request.function == function && request.reg == reg;
  });
}

bool BootEntry::Switches(uint8_t address, uint8_t function, uint16_t reg, uint16_t value) const {
  if (requests_.empty() || value != BootEntryKey) return false;
  const EntryRequest& request = requests_[switching_];
  return request.address == address && request.function == function && request.reg == reg;
}

}  // namespace unitsim
