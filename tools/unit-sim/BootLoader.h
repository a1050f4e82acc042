#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "Bytes.h"
#include "Exchange.h"
#include "ProgramMemory.h"

namespace unitsim {

struct BootIdentity {
  uint16_t rmNumber;
  uint16_t version;
  uint16_t model;
};

// The boot loader's commands. A request body is command, count, data, checksum; a reply's
// content is command, count and data, the count saying how many data bytes follow.
class BootLoader {
 public:
  // Addresses below this hold the boot loader itself, which never erases or programs them.
  static constexpr uint32_t ApplicationStart = 0x0800;

  BootLoader(ProgramMemory& memory, BootIdentity identity);

  // The exchange a body with a good checksum asks for, or nothing, with the reason in
  // `refusal`, for a request the boot loader does not take.
  std::optional<Exchange> Classify(std::span<const uint8_t> body, std::string& refusal) const;

  // Carries out a classified request and returns the reply content.
  Bytes Perform(Exchange exchange, std::span<const uint8_t> body, bool otherModel);

 private:
  ProgramMemory& memory_;
  BootIdentity identity_;
};

}  // namespace unitsim
