#include "image/AddressedBytes.h"

bool AddressedBytes::Put(uint32_t address, std::span<const uint8_t> bytes, int line) {
  if (bytes.empty()) return true;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto at = static_cast<uint32_t>(address + i);
    Page& page = pages_[at / PageSize];
    const uint32_t offset = at % PageSize;
    if (page.Present[offset] && page.Bytes[offset] != bytes[i]) return false;
    page.Bytes[offset] = bytes[i];
    page.Present[offset] = true;
  }
  runs_.push_back({address, static_cast<uint32_t>(address + bytes.size() - 1), line});
  return true;
}

std::optional<uint8_t> AddressedBytes::At(uint32_t address) const {
  const auto page = pages_.find(address / PageSize);
  if (page == pages_.end() || !page->second.Present[address % PageSize]) return std::nullopt;
  return page->second.Bytes[address % PageSize];
}
