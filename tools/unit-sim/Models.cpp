#include "Models.h"

#include <algorithm>
#include <array>

namespace unitsim {

namespace {

struct ModelKind {
  uint16_t model;
  char kind;
};

constexpr std::array<ModelKind, 25> BootEntryKinds{{
    {1101, 'A'},
    {1102, 'A'},
    {1103, 'B'},
    {1104, 'B'},
    {1105, 'B'},
    {1106, 'B'},
    {1107, 'B'},
    {1108, 'B'},
    {1109, 'B'},
    {1110, 'B'},
    {1111, 'B'},
    {1112, 'B'},
    {1113, 'B'},
    {1114, 'B'},
    {1115, 'B'},
    {1116, 'B'},
    {1117, 'B'},
    {1118, 'B'},
    {1119, 'B'},
    {1120, 'C'},
    {1121, 'E'},
    {1122, 'F'},
    {FamilyModelNumber, 'D'},
    {3001, 'H'},
    {4001, 'G'},
}};

}  // namespace

std::optional<char> BootEntryKindOf(uint16_t model) {
  const auto row = std::find_if(BootEntryKinds.begin(), BootEntryKinds.end(),
                                [model](const ModelKind& entry) { return entry.model == model; });
  if (row == BootEntryKinds.end()) return std::nullopt;
  return row->kind;
}

uint32_t FirmwareSpeed(uint16_t model) {
  return model == HighSpeedModel ? 800000 : 9600;
}

uint32_t BootLoaderSpeed(uint16_t model) {
  return model == HighSpeedModel ? 92160 : 115200;
}

}  // namespace unitsim
