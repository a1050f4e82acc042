#include "ReplyShaping.h"

#include <algorithm>
#include <numeric>

#include "BootFramer.h"
#include "Crc16.h"

namespace unitsim {

namespace {

bool Has(std::span<const FaultKind> faults, FaultKind kind) {
  return std::find(faults.begin(), faults.end(), kind) != faults.end();
}

}  // namespace

Bytes EncodeBootFrame(std::span<const uint8_t> body) {
  Bytes frame{Dle, Stx};
  for (const uint8_t byte : body) {
    frame.push_back(byte);
    if (byte == Dle) frame.push_back(Dle);
  }
  frame.push_back(Dle);
  frame.push_back(Etx);
  return frame;
}

Bytes ShapeReply(Bytes content, Framing framing, std::span<const FaultKind> faults) {
  // Both layouts start with two bytes that are not data.
  if (Has(faults, FaultKind::Short) && content.size() > 2) content.pop_back();
  const bool badCheck = Has(faults, FaultKind::BadCheck);
  Bytes line;
  if (framing == Framing::Modbus) {
    AppendCrc(content);
    if (badCheck) content[content.size() - 2] ^= 0xFF;
    line = std::move(content);
  } else {
    const auto sum = std::accumulate(content.begin(), content.end(), 0u);
    content.push_back(static_cast<uint8_t>(0u - sum + (badCheck ? 1u : 0u)));
    line = EncodeBootFrame(content);
  }
  if (Has(faults, FaultKind::Noise))
    line.insert(line.begin(), NoiseBytes.begin(), NoiseBytes.end());
  if (Has(faults, FaultKind::Trailing)) line.push_back(TrailingByte);
  return line;
}

}  // namespace unitsim
