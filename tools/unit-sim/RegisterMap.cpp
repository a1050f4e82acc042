#include "RegisterMap.h"

#include <algorithm>
#include <array>

namespace unitsim {

namespace {

struct SettingsRange {
  uint8_t slave;
  uint16_t first;
  uint16_t last;
};

constexpr std::array<SettingsRange, 3> KeptSettings{{{17, 24, 24}, {19, 22, 32}, {20, 7, 28}}};

}  // namespace

RegisterMap::RegisterMap(uint16_t model, uint16_t version) {
  cells_[{InformationSlave, ModelRegister}] = {model, false};
  cells_[{InformationSlave, VersionRegister}] = {version, false};
  for (const SettingsRange& range : KeptSettings) {
    for (uint16_t reg = range.first; reg <= range.last; ++reg) {
      cells_[{range.slave, reg}] = {static_cast<uint16_t>(range.slave * 100 + reg), true};
    }
  }
}

void RegisterMap::Restart(uint16_t newVersion) {
  for (auto& [key, cell] : cells_) {
    if (cell.writable) cell.value = FactoryDefault;
  }
  cells_[{InformationSlave, VersionRegister}].value = newVersion;
}

bool RegisterMap::HasSlave(uint8_t slave) const {
  return std::any_of(cells_.begin(), cells_.end(),
                     [slave](const auto& entry) { return entry.first.first == slave; });
}

bool RegisterMap::AllCells(uint8_t slave, uint16_t first, uint16_t count, bool write) const {
  if (count == 0 || first + count > 0x10000) return false;
  for (uint32_t reg = first; reg < uint32_t{first} + count; ++reg) {
    const auto cell = cells_.find({slave, static_cast<uint16_t>(reg)});
    if (cell == cells_.end() || (write && !cell->second.writable)) return false;
  }
  return true;
}

bool RegisterMap::CanRead(uint8_t slave, uint16_t first, uint16_t count) const {
  return AllCells(slave, first, count, false);
}

bool RegisterMap::CanWrite(uint8_t slave, uint16_t first, uint16_t count) const {
  return AllCells(slave, first, count, true);
}

std::vector<uint16_t> RegisterMap::Read(uint8_t slave, uint16_t first, uint16_t count) const {
  std::vector<uint16_t> values;
  for (uint32_t reg = first; reg < uint32_t{first} + count; ++reg) {
    values.push_back(cells_.at({slave, static_cast<uint16_t>(reg)}).value);
  }
  return values;
}

void RegisterMap::Write(uint8_t slave, uint16_t first, std::span<const uint16_t> values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    cells_.at({slave, static_cast<uint16_t>(first + i)}).value = values[i];
  }
}

}  // namespace unitsim
