#include "comms/RxCondition.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace {

using Pattern = std::array<uint8_t, TRxConditionItem::MaxPatternLength + 1>;

// Stores at most length bytes of source, up to its first zero byte; the
// returned length is the given one cut to the pattern's capacity.
uint16_t StorePattern(uint16_t length, std::span<const uint8_t> source, Pattern& pattern) {
  const uint16_t stored = std::min(length, TRxConditionItem::MaxPatternLength);
  const std::size_t available = std::min<std::size_t>(stored, source.size());
  for (std::size_t i = 0; i < available && source[i] != 0; ++i) pattern[i] = source[i];
  return stored;
}

// One pattern step for byte b; true when the pattern is recognised with it.
bool MatchPattern(const Pattern& pattern, uint16_t length, bool isSequence, uint16_t& pos,
                  uint8_t b) {
  if (!isSequence) {
    // The scan ends at the first zero, so a zero byte never matches.
    for (std::size_t i = 0; i < pattern.size() && pattern[i] != 0; ++i) {
      if (pattern[i] == b) return true;
    }
    return false;
  }
  // A mismatch restarts the sequence without taking b as its first byte.
  if (b != pattern[pos]) {
    pos = 0;
    return false;
  }
  ++pos;
  return pos == length;
}

// Appends buffer positions to dest until the limit; positions outside the
// buffer are never read.
class MessageCopier {
 public:
  MessageCopier(std::span<const uint8_t> buffer, std::span<uint8_t> dest, std::size_t limit)
      : buffer_(buffer), dest_(dest), limit_(limit) {}

  void Copy(int64_t from, int64_t count) {
    const int64_t end = std::min(from + count, static_cast<int64_t>(buffer_.size()));
    for (int64_t pos = from; pos < end && count_ < limit_; ++pos) {
      dest_[count_++] = buffer_[static_cast<std::size_t>(pos)];
    }
  }

  uint16_t Finish() {
    dest_[count_] = 0;
    return static_cast<uint16_t>(count_);
  }

 private:
  std::span<const uint8_t> buffer_;
  std::span<uint8_t> dest_;
  std::size_t limit_;
  std::size_t count_ = 0;
};

}  // namespace

bool TRxConditionItem::FeedByte(uint8_t b) {
  if (StartLength > 0 && !StartMatched) {
    StartMatched = MatchPattern(StartPattern, StartLength, StartIsSequence, StartPos, b);
  } else if (BetweenCount >= MinBetween && EndLength > 0 && !EndMatched) {
    EndMatched = MatchPattern(EndPattern, EndLength, EndIsSequence, EndPos, b);
  }
  CountByte(b);
  if (StartMatched && EndLength == 0) EndMatched = true;
  return StartMatched && EndMatched;
}

void TRxConditionItem::CountByte(uint8_t) {
  if (!StartMatched) {
    ++BeforeCount;
  } else if (EndMatched) {
    ++AfterCount;
  } else {
    ++BetweenCount;
  }
}

void TRxConditionItem::Reset() {
  StartMatched = false;
  EndMatched = false;
  StartPos = 0;
  EndPos = 0;
  BeforeCount = 0;
  BetweenCount = 0;
  AfterCount = 0;
}

bool TRxConditionItem::IsComplete() const {
  return StartMatched && EndMatched && BeforeCount >= MinBefore && BetweenCount >= MinBetween &&
         AfterCount >= MinAfter;
}

TRxCondition::TRxCondition() = default;

// The array releases its items from the last to the first.
TRxCondition::~TRxCondition() = default;

void TRxCondition::AddItem(uint16_t startLength, std::span<const uint8_t> startPattern,
                           bool startIsSequence, uint16_t endLength,
                           std::span<const uint8_t> endPattern, bool endIsSequence,
                           uint16_t minBefore, uint16_t minBetween, uint16_t minAfter) {
  if (itemCount_ >= MaxItems) return;
  auto item = std::make_unique<TRxConditionItem>();
  item->StartLength = StorePattern(startLength, startPattern, item->StartPattern);
  item->StartIsSequence = startIsSequence;
  item->EndLength = StorePattern(endLength, endPattern, item->EndPattern);
  item->EndIsSequence = endIsSequence;
  item->MinBefore = minBefore;
  item->MinBetween = minBetween;
  item->MinAfter = minAfter;
  items_[itemCount_++] = std::move(item);
}

int32_t TRxCondition::FeedByte(uint8_t b) {
  for (uint16_t i = 0; i < itemCount_; ++i) {
    if (items_[i]->FeedByte(b)) return i;
  }
  return -1;
}

void TRxCondition::CountByte(uint8_t b) {
  for (uint16_t i = 0; i < itemCount_; ++i) items_[i]->CountByte(b);
}

void TRxCondition::ResetItems() {
  for (uint16_t i = 0; i < itemCount_; ++i) items_[i]->Reset();
}

bool TRxCondition::IsItemComplete(uint16_t itemNumber) const {
  const TRxConditionItem* item = Item(itemNumber);
  return item != nullptr && item->IsComplete();
}

const TRxConditionItem* TRxCondition::Item(uint16_t itemNumber) const {
  if (itemNumber == 0 || itemNumber > itemCount_) return nullptr;
  return items_[itemNumber - 1].get();
}

void TRxCondition::ClearItems() {
  for (; itemCount_ > 0; --itemCount_) items_[itemCount_ - 1].reset();
}

uint16_t CopyRxMessage(const TRxCondition* condition, uint16_t itemNumber,
                       std::span<const uint8_t> buffer, uint16_t writeIndex,
                       std::span<uint8_t> dest, uint16_t maxLength, int32_t leadCount,
                       int32_t middleCount, int32_t trailCount) {
  if (dest.empty()) return 0;
  const TRxConditionItem* item = condition != nullptr ? condition->Item(itemNumber) : nullptr;
  if (item == nullptr) {
    dest[0] = 0;
    return 0;
  }
  MessageCopier copier(buffer, dest, std::min<std::size_t>(maxLength, dest.size() - 1));
  const int64_t before = item->BeforeCount;
  const int64_t afterStart = before + item->BetweenCount;

  const int64_t leadStart = leadCount < 0 ? 0 : std::max<int64_t>(before - leadCount, 0);
  copier.Copy(leadStart, before - leadStart);

  int64_t p = before;
  if (middleCount > 0) {
    copier.Copy(p, middleCount);
    p = afterStart;
  } else if (middleCount < 0) {
    copier.Copy(p, item->BetweenCount);
    p = afterStart;
  }

  if (trailCount > 0) {
    copier.Copy(p, trailCount);
  } else if (trailCount < 0) {
    copier.Copy(p, writeIndex - p);
  }
  return copier.Finish();
}
