#pragma once

#include <cstdint>
#include <optional>

// The last program address (inclusive) of a processor, or nothing for a
// processor number without a row.
std::optional<uint32_t> ProgramEndAddressOf(uint16_t processorNumber);
