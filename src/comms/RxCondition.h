#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

// One kind of reply: a start and an end pattern (any-of or in order) and the
// minimum counts of bytes before, between and after them.
class TRxConditionItem {
 public:
  static constexpr uint16_t MaxPatternLength = 5;

  std::array<uint8_t, MaxPatternLength + 1> StartPattern{};
  bool StartIsSequence = false;
  std::array<uint8_t, MaxPatternLength + 1> EndPattern{};
  bool EndIsSequence = false;
  bool StartMatched = false;
  bool EndMatched = false;
  uint16_t MinBefore = 0;
  uint16_t MinBetween = 0;
  uint16_t MinAfter = 0;
  uint16_t BetweenCount = 0;
  uint16_t StartLength = 0;
  uint16_t StartPos = 0;
  uint16_t EndLength = 0;
  uint16_t EndPos = 0;
  uint16_t BeforeCount = 0;
  uint16_t AfterCount = 0;

  // Pattern step and count for one byte; true when both patterns have been
  // recognised.
  bool FeedByte(uint8_t b);
  // Counts one byte in the region the item's match state is in.
  void CountByte(uint8_t b);
  // Clears the match state; patterns, modes and minima stay.
  void Reset();
  bool IsComplete() const;
};

// The set of reply kinds one request waits for (at most ten). Item number n
// (1-based) is the n-th added.
class TRxCondition {
 public:
  static constexpr uint16_t MaxItems = 10;

  TRxCondition();
  ~TRxCondition();
  TRxCondition(const TRxCondition&) = delete;
  TRxCondition& operator=(const TRxCondition&) = delete;

  // Appends an item; ignored once the set holds ten. Lengths above five are
  // cut to five, and a pattern is taken up to its first zero byte (the rest
  // of its positions stay zero). A pattern span shorter than its length
  // reads as ending there.
  void AddItem(uint16_t startLength, std::span<const uint8_t> startPattern, bool startIsSequence,
               uint16_t endLength, std::span<const uint8_t> endPattern, bool endIsSequence,
               uint16_t minBefore, uint16_t minBetween, uint16_t minAfter);

  // Offers the byte to the items in order until one recognises both its
  // patterns with it; that item's 0-based index, or -1.
  int32_t FeedByte(uint8_t b);
  // Counts the byte on every item.
  void CountByte(uint8_t b);
  void ResetItems();
  // False for a number outside 1..ItemCount.
  bool IsItemComplete(uint16_t itemNumber) const;
  // The item with that 1-based number, or nullptr.
  const TRxConditionItem* Item(uint16_t itemNumber) const;
  // Frees the items, last first.
  void ClearItems();
  uint16_t ItemCount() const { return itemCount_; }

 private:
  std::array<std::unique_ptr<TRxConditionItem>, MaxItems> items_;
  uint16_t itemCount_ = 0;
};

// Copies the lead, middle and trail parts of the message of the given item
// out of the receive buffer (see TKovaComms::GetRxMessage): buffer is the
// whole receive buffer, writeIndex the position of the next byte to store.
// Copies at most maxLength bytes, never reads outside buffer, and never
// writes more than dest.size() - 1 bytes; writes a zero after the copied
// bytes and returns their number. No set, or a number outside 1..ItemCount,
// copies nothing.
uint16_t CopyRxMessage(const TRxCondition* condition, uint16_t itemNumber,
                       std::span<const uint8_t> buffer, uint16_t writeIndex,
                       std::span<uint8_t> dest, uint16_t maxLength, int32_t leadCount,
                       int32_t middleCount, int32_t trailCount);
