#include "image/ProcessorTable.h"

#include <algorithm>
#include <array>

namespace {

struct ProcessorRow {
  uint16_t ProcessorNumber;
  uint32_t ProgramEndAddress;
};

constexpr std::array<ProcessorRow, 5> ProcessorRows{{
    {4321, 0x1FFF},
    {2525, 0xBFFF},
    {2620, 0xFFFF},
    {4680, 0xFFFF},
    {6622, 0xFFFF},
}};

}  // namespace

std::optional<uint32_t> ProgramEndAddressOf(uint16_t processorNumber) {
  const auto* row =
      std::ranges::find(ProcessorRows, processorNumber, &ProcessorRow::ProcessorNumber);
  if (row == ProcessorRows.end()) {
    return std::nullopt;
  }
  return row->ProgramEndAddress;
}
