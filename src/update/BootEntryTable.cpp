#include "update/BootEntryTable.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr BootEntryRequest Fixed(uint8_t slave, uint8_t function, uint16_t reg) {
  return {false, slave, function, reg};
}

constexpr BootEntryKind KindA{'A', 2, {Fixed(1, 6, 156), Fixed(0, 6, 156)}};
constexpr BootEntryKind KindB{'B', 1, {Fixed(19, 103, 29), {}}};
constexpr BootEntryKind KindC{'C', 1, {Fixed(242, 6, 13), {}}};
constexpr BootEntryKind KindD{'D', 1, {Fixed(1, 103, 8), {}}};
constexpr BootEntryKind KindE{'E', 2, {Fixed(1, 103, 8), Fixed(2, 103, 5)}};
constexpr BootEntryKind KindF{'F', 0, {}};
constexpr BootEntryKind KindG{'G', 1, {BootEntryRequest{true, 0, 103, 151}, {}}};
constexpr BootEntryKind KindH{'H', 1, {Fixed(1, 103, 2), {}}};

struct BootEntryRow {
  uint16_t model;
  const BootEntryKind* kind;
};

constexpr BootEntryRow BootEntryTable[] = {
    {1101, &KindA}, {1102, &KindA}, {1103, &KindB}, {1104, &KindB}, {1105, &KindB},
    {1106, &KindB}, {1107, &KindB}, {1108, &KindB}, {1109, &KindB}, {1110, &KindB},
    {1111, &KindB}, {1112, &KindB}, {1113, &KindB}, {1114, &KindB}, {1115, &KindB},
    {1116, &KindB}, {1117, &KindB}, {1118, &KindB}, {1119, &KindB}, {1120, &KindC},
    {1121, &KindE}, {1122, &KindF}, {2000, &KindD}, {3001, &KindH}, {4001, &KindG},
};

}  // namespace

const BootEntryKind* FindBootEntryKind(uint16_t expectedModel) {
  const auto row =
      std::find_if(std::begin(BootEntryTable), std::end(BootEntryTable),
                   [expectedModel](const BootEntryRow& r) { return r.model == expectedModel; });
  return row != std::end(BootEntryTable) ? row->kind : nullptr;
}
