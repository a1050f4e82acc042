#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "comms/RxCondition.h"

// Stores and matches received bytes as the link does: the buffer fills from
// position 0 and, once full, the newest byte overwrites its last position;
// bytes are fed to the set until an item is recognised, and only counted
// after that.
class ReceiveBuffer {
 public:
  explicit ReceiveBuffer(TRxCondition& condition, std::size_t size = 500)
      : condition_(condition), buffer_(size) {}

  void Receive(const std::vector<uint8_t>& bytes) {
    for (const uint8_t b : bytes) {
      buffer_[writeIndex_] = b;
      if (++writeIndex_ == buffer_.size()) writeIndex_ = static_cast<uint16_t>(buffer_.size() - 1);
      if (matched_ == -1) {
        matched_ = condition_.FeedByte(b);
      } else {
        condition_.CountByte(b);
      }
    }
  }

  // The 0-based index of the item that recognised its patterns, or -1.
  int32_t Matched() const { return matched_; }

  // The 1-based number of the first complete item, the result the link's
  // wait gives once the bytes are in; -1 when none is complete.
  int32_t CompletedItem() const {
    for (uint16_t n = 1; n <= condition_.ItemCount(); ++n) {
      if (condition_.IsItemComplete(n)) return n;
    }
    return -1;
  }

  // As the link's GetRxMessage.
  uint16_t GetRxMessage(uint16_t itemNumber, std::span<uint8_t> dest, uint16_t maxLength,
                        int32_t leadCount, int32_t middleCount, int32_t trailCount) const {
    return CopyRxMessage(&condition_, itemNumber, buffer_, writeIndex_, dest, maxLength, leadCount,
                         middleCount, trailCount);
  }

 private:
  TRxCondition& condition_;
  std::vector<uint8_t> buffer_;
  uint16_t writeIndex_ = 0;
  int32_t matched_ = -1;
};
