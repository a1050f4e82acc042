#include "BootFramer.h"

namespace unitsim {

namespace {

// Longer than the longest request body (a program row: command, count, 131 data bytes,
// checksum).
constexpr std::size_t LongestBody = 256;

}  // namespace

void BootFramer::Append(std::span<const uint8_t> bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<BootFrame> BootFramer::Next(Bytes& skipped) {
  const auto skip = [&](std::size_t count) {
    skipped.insert(skipped.end(), pending_.begin(),
                   pending_.begin() + static_cast<std::ptrdiff_t>(count));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
  };
  for (;;) {
    std::size_t start = 0;
    while (start + 1 < pending_.size() && !(pending_[start] == Dle && pending_[start + 1] == Stx)) {
      ++start;
    }
    if (start + 1 >= pending_.size()) {
      // A last DLE may yet become a start.
      const bool lastIsDle = !pending_.empty() && pending_.back() == Dle;
      skip(pending_.size() - (lastIsDle ? 1 : 0));
      return std::nullopt;
    }
    skip(start);
    BootFrame frame;
    std::size_t at = 2;
    bool restart = false;
    while (!restart) {
      if (at >= pending_.size()) return std::nullopt;
      if (frame.body.size() > LongestBody) {
        skip(at);
        restart = true;
      } else if (pending_[at] != Dle) {
        frame.body.push_back(pending_[at]);
        ++at;
      } else if (at + 1 >= pending_.size()) {
        return std::nullopt;
      } else if (pending_[at + 1] == Dle) {
        frame.body.push_back(Dle);
        at += 2;
      } else if (pending_[at + 1] == Etx) {
        at += 2;
        frame.raw.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
        return frame;
      } else {
        // DLE STX starts a new frame; a DLE before anything else ends this one as junk.
        skip(pending_[at + 1] == Stx ? at : at + 1);
        restart = true;
      }
    }
  }
}

Bytes BootFramer::TakePending() {
  Bytes taken;
  taken.swap(pending_);
  return taken;
}

}  // namespace unitsim
