#include "ModbusFramer.h"

#include <algorithm>

#include "Crc16.h"

namespace unitsim {

namespace {

// The longest frame looked for: a write-several layout with a byte count of 255.
constexpr std::size_t LongestFrame = 9 + 255;
// Address, function and CRC: the shortest frame of a function whose layout is unknown.
constexpr std::size_t ShortestFrame = 4;
// Where the write-several layouts keep their byte count.
constexpr std::size_t ByteCountAt = 6;

enum class Layout { Fixed8, WriteSeveral, Unknown };

Layout LayoutOf(uint8_t function) {
  switch (function) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 103:
      return Layout::Fixed8;
    case 15:
    case 16:
    case 104:
      return Layout::WriteSeveral;
    default:
      return Layout::Unknown;
  }
}

// The length the layout gives, or nothing while too few bytes have arrived to tell.
std::optional<std::size_t> FixedLength(Layout layout, std::span<const uint8_t> bytes) {
  if (layout == Layout::Fixed8) return 8;
  if (bytes.size() <= ByteCountAt) return std::nullopt;
  return 9 + std::size_t{bytes[ByteCountAt]};
}

// For a function whose layout is unknown: the shortest length whose CRC checks. The CRC is
// carried along, so that a flood of such bytes costs one pass per byte dropped.
std::optional<std::size_t> LengthByCrc(std::span<const uint8_t> bytes) {
  const std::size_t most = std::min(bytes.size(), LongestFrame);
  uint16_t crc = Crc16Update(Crc16Update(0xFFFF, bytes[0]), bytes[1]);
  for (std::size_t length = ShortestFrame; length <= most; ++length) {
    if (bytes[length - 2] == (crc & 0xFF) && bytes[length - 1] == (crc >> 8)) return length;
    crc = Crc16Update(crc, bytes[length - 2]);
  }
  return std::nullopt;
}

// Whether a complete frame of a known layout starts somewhere after the first byte: then the
// bytes at the front are junk, not the start of a frame still arriving.
bool FrameFurtherOn(std::span<const uint8_t> bytes) {
  for (std::size_t start = 1; start + 2 <= bytes.size(); ++start) {
    const std::span<const uint8_t> rest = bytes.subspan(start);
    const Layout layout = LayoutOf(rest[1]);
    if (layout == Layout::Unknown) continue;
    const std::optional<std::size_t> length = FixedLength(layout, rest);
    if (length && *length <= rest.size() && CrcMatches(rest.first(*length))) return true;
  }
  return false;
}

}  // namespace

void ModbusFramer::Append(std::span<const uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<Bytes> ModbusFramer::Next(Bytes& skipped, bool silence) {
  const auto dropOne = [&] {
    skipped.push_back(pending_.front());
    pending_.erase(pending_.begin());
  };
  while (!pending_.empty()) {
    const std::span<const uint8_t> bytes(pending_);
    std::optional<std::size_t> length;
    bool wait = false;
    if (bytes.size() >= 2) {
      const Layout layout = LayoutOf(bytes[1]);
      if (layout == Layout::Unknown) {
        length = LengthByCrc(bytes);
        wait = !length && bytes.size() < LongestFrame && !FrameFurtherOn(bytes);
      } else {
        length = FixedLength(layout, bytes);
        if (length && *length > bytes.size()) length.reset();
        wait = !length;
        if (length && !CrcMatches(bytes.first(*length))) length.reset();
      }
    } else {
      wait = true;
    }
    if (length) {
      Bytes frame(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(*length));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(*length));
      return frame;
    }
    if (wait && !silence) return std::nullopt;
    dropOne();
  }
  return std::nullopt;
}

Bytes ModbusFramer::TakePending() {
  Bytes taken;
  taken.swap(pending_);
  return taken;
}

}  // namespace unitsim
