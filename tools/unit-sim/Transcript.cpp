#include "Transcript.h"

#include "Bytes.h"

namespace unitsim {

void Transcript::Traffic(std::string_view what, uint32_t speed, std::span<const uint8_t> bytes) {
  out_ << what << ' ' << speed << ' ' << ToHex(bytes) << std::endl;
}

void Transcript::Event(std::string_view text) {
  out_ << text << std::endl;
}

}  // namespace unitsim
