#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The model number all family rows report in place of their own RM number.
inline constexpr uint16_t FamilyModelNumber = 2000;

enum class ProductRowKind {
  Plain,      // two-decimal version, hidden Slave Address group, no pause
  Family,     // as plain, but the unit reports FamilyModelNumber
  Paused,     // as plain, with a 5 ms pause between requests
  Addressed,  // three-decimal version, Slave Address group shown, 5 ms pause
};

struct ProductRow {
  uint16_t RmNumber;
  std::string_view TitlePrefix;
  ProductRowKind Kind;
};

// Every row, keyed by RM number; keys are unique.
extern const std::array<ProductRow, 37> ProductTable;

// The row for rmNumber, or nullptr when the product table has none.
const ProductRow* FindProductRow(uint16_t rmNumber);
