#include "comms/RxCondition.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "support/ReceiveBuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;

const Bytes ModbusReply = {0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0xC1, 0xC2};
const Bytes ExceptionReply = {0x01, 0x86, 0x02, 0xC1, 0xC2};
const Bytes BootFrame = {0x10, 0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03};
const Bytes DleStx = {0x10, 0x02};
const Bytes DleEtx = {0x10, 0x03};

// Normal and exception reply of a register write to slave 1.
void AddModbusWriteItems(TRxCondition& condition) {
  const Bytes slave = {0x01};
  condition.AddItem(1, slave, false, 1, Bytes{0x06}, false, 0, 1, 7);
  condition.AddItem(1, slave, false, 1, Bytes{0x86}, false, 0, 1, 4);
}

void AddBootFrameItem(TRxCondition& condition) {
  condition.AddItem(2, DleStx, true, 2, DleEtx, true, 0, 1, 0);
}

// The copied message; checks the terminating zero and that nothing after it
// was written.
Bytes Message(const ReceiveBuffer& link, uint16_t itemNumber, uint16_t maxLength, int32_t leadCount,
              int32_t middleCount, int32_t trailCount) {
  Bytes dest(maxLength + 2, 0xEE);
  const uint16_t count = link.GetRxMessage(itemNumber, std::span(dest).first(maxLength + 1),
                                           maxLength, leadCount, middleCount, trailCount);
  EXPECT_LE(count, maxLength);
  EXPECT_EQ(dest[count], 0);
  EXPECT_EQ(dest[count + 1], 0xEE);
  return Bytes(dest.begin(), dest.begin() + count);
}

// Position of the byte with which an item was recognised, or -1.
int RecognisedAt(TRxCondition& condition, const Bytes& input) {
  for (std::size_t i = 0; i < input.size(); ++i) {
    if (condition.FeedByte(input[i]) != -1) return static_cast<int>(i);
  }
  return -1;
}

Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct StartCase {
  std::string name;
  uint16_t length;
  Bytes pattern;
  bool isSequence;
  Bytes input;
  int recognisedAt;
};

// Items without an end pattern are recognised with the start's last byte.
const StartCase StartCases[] = {
    {"any-of takes any listed byte", 3, {0x01, 0x02, 0x03}, false, {0x05, 0x03}, 1},
    {"any-of never takes a zero", 3, {0x05, 0x00, 0x07}, false, {0x00, 0x07, 0x05}, 2},
    {"any-of with a leading zero is empty", 2, {0x00, 0x05}, false, {0x00, 0x05}, -1},
    {"in order", 2, {0x10, 0x02}, true, {0x10, 0x02}, 1},
    {"in order, wrong order", 2, {0x10, 0x02}, true, {0x02, 0x10}, -1},
    {"mismatch is not a new beginning", 2, {0x10, 0x02}, true, {0x10, 0x10, 0x02}, -1},
    {"later start after a mismatch", 2, {0x10, 0x02}, true, {0x10, 0x10, 0x02, 0x10, 0x02}, 4},
    {"in order compares stored zeros", 3, {0x10, 0x00, 0x02}, true, {0x10, 0x00, 0x00}, 2},
    {"in order ignores bytes after a zero", 3, {0x10, 0x00, 0x02}, true, {0x10, 0x00, 0x02}, -1},
    {"length 7 in order uses five bytes", 7, {1, 2, 3, 4, 5, 6, 7}, true, {1, 2, 3, 4, 5}, 4},
    {"length 7 any-of uses five bytes", 7, {1, 2, 3, 4, 5, 6, 7}, false, {7, 6, 5}, 2},
    {"short pattern span reads as zeros", 3, {0x10}, true, {0x10, 0x00, 0x00}, 2},
    {"empty start never matches", 0, {0x01}, false, {0x01, 0x01}, -1},
};

TEST(RxConditionStart, RecognisesStartPatterns) {
  for (const StartCase& c : StartCases) {
    TRxCondition condition;
    condition.AddItem(c.length, c.pattern, c.isSequence, 0, {}, false, 0, 0, 0);
    EXPECT_EQ(RecognisedAt(condition, c.input), c.recognisedAt) << c.name;
  }
}

TEST(RxConditionStart, EndPatternMatchesLikeTheStart) {
  for (const StartCase& c : StartCases) {
    if (c.length == 0) continue;
    TRxCondition condition;
    condition.AddItem(1, Bytes{0xAA}, false, c.length, c.pattern, c.isSequence, 0, 1, 0);
    const int expected = c.recognisedAt == -1 ? -1 : c.recognisedAt + 1;
    EXPECT_EQ(RecognisedAt(condition, Join({0xAA}, c.input)), expected) << c.name;
  }
}

TEST(RxConditionAddItem, StoresPatternUpToItsFirstZeroAndCutsLengthToFive) {
  TRxCondition condition;
  condition.AddItem(3, Bytes{0x05, 0x00, 0x07}, false, 7, Bytes{1, 2, 3, 4, 5, 6, 7}, true, 4, 5,
                    6);
  const TRxConditionItem* item = condition.Item(1);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->StartLength, 3);
  EXPECT_EQ(item->StartPattern, (std::array<uint8_t, 6>{0x05, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(item->StartIsSequence);
  EXPECT_EQ(item->EndLength, 5);
  EXPECT_EQ(item->EndPattern, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 0}));
  EXPECT_TRUE(item->EndIsSequence);
  EXPECT_EQ(item->MinBefore, 4);
  EXPECT_EQ(item->MinBetween, 5);
  EXPECT_EQ(item->MinAfter, 6);
}

TEST(RxConditionAddItem, EleventhItemIsIgnored) {
  TRxCondition condition;
  for (uint8_t n = 1; n <= 11; ++n) condition.AddItem(1, Bytes{n}, false, 0, {}, false, 0, 0, 0);
  EXPECT_EQ(condition.ItemCount(), 10);
  for (uint8_t n = 1; n <= 10; ++n) {
    ASSERT_NE(condition.Item(n), nullptr);
    EXPECT_EQ(condition.Item(n)->StartPattern[0], n);
  }
  EXPECT_EQ(condition.Item(0), nullptr);
  EXPECT_EQ(condition.Item(11), nullptr);
  EXPECT_EQ(condition.FeedByte(11), -1);
  EXPECT_EQ(condition.FeedByte(10), 9);
}

TEST(RxConditionCounts, ByteCompletingTheStartIsNotTakenForTheEnd) {
  TRxCondition condition;
  condition.AddItem(1, Bytes{0x01}, false, 1, Bytes{0x01}, false, 0, 0, 0);
  EXPECT_EQ(RecognisedAt(condition, {0x01, 0x01}), 1);
  EXPECT_EQ(condition.Item(1)->BetweenCount, 1);
  EXPECT_EQ(condition.Item(1)->AfterCount, 1);
}

TEST(RxConditionCounts, EndIsSearchedOnlyOnceMinBetweenIsReached) {
  TRxCondition condition;
  condition.AddItem(1, Bytes{0x01}, false, 1, Bytes{0x06}, false, 0, 3, 0);
  EXPECT_EQ(RecognisedAt(condition, {0x01, 0x06, 0x06, 0x06}), 3);
  EXPECT_EQ(condition.Item(1)->BetweenCount, 3);
}

TEST(RxConditionCounts, NoEndPatternIsRecognisedWithTheStartsLastByte) {
  TRxCondition condition;
  condition.AddItem(2, DleStx, true, 0, {}, false, 0, 1, 2);
  ReceiveBuffer link(condition);
  link.Receive({0x10, 0x02});
  EXPECT_EQ(link.Matched(), 0);
  const TRxConditionItem* item = condition.Item(1);
  EXPECT_EQ(item->BeforeCount, 1);
  EXPECT_EQ(item->BetweenCount, 1);
  EXPECT_EQ(item->AfterCount, 0);
  EXPECT_FALSE(condition.IsItemComplete(1));
  link.Receive({0xAA, 0xBB});
  EXPECT_EQ(item->AfterCount, 2);
  EXPECT_TRUE(condition.IsItemComplete(1));
}

TEST(RxConditionCounts, NoEndPatternWithMinBetweenAboveOneNeverCompletes) {
  TRxCondition condition;
  condition.AddItem(1, Bytes{0x01}, false, 0, {}, false, 0, 2, 0);
  ReceiveBuffer link(condition);
  link.Receive(ModbusReply);
  link.Receive(ModbusReply);
  EXPECT_EQ(link.Matched(), 0);
  EXPECT_EQ(condition.Item(1)->BetweenCount, 1);
  EXPECT_FALSE(condition.IsItemComplete(1));
}

TEST(RxConditionCounts, MinBeforeMustBeReached) {
  for (const uint16_t stray : {0, 1, 2, 3}) {
    TRxCondition condition;
    condition.AddItem(1, Bytes{0x01}, false, 1, Bytes{0x06}, false, 2, 1, 7);
    ReceiveBuffer link(condition);
    link.Receive(Join(Bytes(stray, 0x00), ModbusReply));
    EXPECT_EQ(link.Matched(), 0) << stray;
    EXPECT_EQ(condition.IsItemComplete(1), stray >= 2) << stray;
  }
}

TEST(RxConditionWorkedExamples, NormalModbusReplyCompletesItemOne) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  ReceiveBuffer link(condition);
  link.Receive(ModbusReply);
  EXPECT_EQ(link.Matched(), 0);
  EXPECT_TRUE(condition.IsItemComplete(1));
  EXPECT_FALSE(condition.IsItemComplete(2));
  EXPECT_EQ(condition.Item(1)->BeforeCount, 0);
  EXPECT_EQ(condition.Item(1)->BetweenCount, 1);
  EXPECT_EQ(condition.Item(1)->AfterCount, 7);
  EXPECT_EQ(Message(link, 1, 500, 0, -1, -1), ModbusReply);
}

TEST(RxConditionWorkedExamples, ExceptionReplyCompletesItemTwo) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  ReceiveBuffer link(condition);
  link.Receive(ExceptionReply);
  EXPECT_EQ(link.Matched(), 1);
  EXPECT_FALSE(condition.IsItemComplete(1));
  EXPECT_TRUE(condition.IsItemComplete(2));
  EXPECT_EQ(condition.Item(1)->BetweenCount, 5);
  EXPECT_EQ(condition.Item(2)->AfterCount, 4);
  EXPECT_EQ(Message(link, 2, 500, 0, -1, -1), ExceptionReply);
}

TEST(RxConditionWorkedExamples, StrayZeroCountsBeforeTheReply) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  ReceiveBuffer link(condition);
  link.Receive(Join({0x00}, ModbusReply));
  EXPECT_EQ(link.Matched(), 0);
  EXPECT_EQ(condition.Item(1)->BeforeCount, 1);
  EXPECT_EQ(condition.Item(2)->BeforeCount, 1);
  EXPECT_TRUE(condition.IsItemComplete(1));
  EXPECT_EQ(Message(link, 1, 500, 0, -1, -1), ModbusReply);
}

TEST(RxConditionWorkedExamples, BootFrameIsRecognisedOnlyAtItsRealDleEtx) {
  TRxCondition condition;
  AddBootFrameItem(condition);
  ReceiveBuffer link(condition);
  for (std::size_t i = 0; i + 1 < BootFrame.size(); ++i) {
    link.Receive({BootFrame[i]});
    EXPECT_EQ(link.Matched(), -1) << i;
  }
  link.Receive({BootFrame.back()});
  EXPECT_EQ(link.Matched(), 0);
  const TRxConditionItem* item = condition.Item(1);
  EXPECT_EQ(item->BeforeCount, 1);
  EXPECT_EQ(item->BetweenCount, 6);
  EXPECT_EQ(item->AfterCount, 1);
  EXPECT_TRUE(condition.IsItemComplete(1));
  EXPECT_EQ(Message(link, 1, 200, 1, -1, -1), BootFrame);
  link.Receive({0x55, 0x66});
  EXPECT_EQ(Message(link, 1, 200, 1, -1, -1), Join(BootFrame, {0x55, 0x66}));
}

TEST(RxConditionSequence, DoubledDleDoesNotEndFrame) {
  TRxCondition condition;
  AddBootFrameItem(condition);
  EXPECT_EQ(RecognisedAt(condition, {0x10, 0x02, 0x41, 0x10, 0x10, 0x03, 0x42, 0x10, 0x03}), 8);
}

TEST(RxConditionSet, LowerItemWinsAByteThatRecognisesTwo) {
  TRxCondition condition;
  condition.AddItem(1, Bytes{0x01}, false, 1, Bytes{0x06}, false, 0, 1, 0);
  condition.AddItem(1, Bytes{0x01}, false, 1, Bytes{0x06}, false, 0, 1, 0);
  EXPECT_EQ(condition.FeedByte(0x01), -1);
  EXPECT_EQ(condition.FeedByte(0x06), 0);
  const TRxConditionItem* other = condition.Item(2);
  EXPECT_TRUE(other->StartMatched);
  EXPECT_FALSE(other->EndMatched);
  EXPECT_EQ(other->BetweenCount, 1);
}

TEST(RxConditionSet, ResetItemsKeepsPatternsAndMinima) {
  TRxCondition condition;
  AddBootFrameItem(condition);
  ASSERT_EQ(RecognisedAt(condition, BootFrame), 7);
  condition.ResetItems();
  const TRxConditionItem* item = condition.Item(1);
  EXPECT_FALSE(item->StartMatched);
  EXPECT_FALSE(item->EndMatched);
  EXPECT_EQ(item->StartPos, 0);
  EXPECT_EQ(item->EndPos, 0);
  EXPECT_EQ(item->BeforeCount, 0);
  EXPECT_EQ(item->BetweenCount, 0);
  EXPECT_EQ(item->AfterCount, 0);
  EXPECT_EQ(item->StartLength, 2);
  EXPECT_EQ(item->EndLength, 2);
  EXPECT_TRUE(item->StartIsSequence);
  EXPECT_TRUE(item->EndIsSequence);
  EXPECT_EQ(item->MinBetween, 1);
  EXPECT_EQ(RecognisedAt(condition, BootFrame), 7);
  EXPECT_TRUE(condition.IsItemComplete(1));
}

TEST(RxConditionSet, ResetItemsDropsAPartialMatch) {
  TRxCondition condition;
  AddBootFrameItem(condition);
  condition.FeedByte(0x10);
  condition.ResetItems();
  EXPECT_EQ(RecognisedAt(condition, {0x02, 0x41, 0x10, 0x03}), -1);
}

TEST(RxConditionSet, ClearItemsEmptiesTheSet) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  condition.ClearItems();
  EXPECT_EQ(condition.ItemCount(), 0);
  EXPECT_EQ(condition.Item(1), nullptr);
  EXPECT_FALSE(condition.IsItemComplete(1));
  EXPECT_EQ(RecognisedAt(condition, ModbusReply), -1);
  AddBootFrameItem(condition);
  EXPECT_EQ(condition.ItemCount(), 1);
  EXPECT_EQ(RecognisedAt(condition, BootFrame), 7);
}

struct CopyCase {
  std::string name;
  int32_t leadCount;
  int32_t middleCount;
  int32_t trailCount;
  uint16_t maxLength;
  Bytes expected;
};

// The boot frame followed by 55 66: before 10, middle 02 41 10 10 42 10,
// after 03 55 66; the buffer holds zeros beyond the newest byte.
const CopyCase BootFrameCopyCases[] = {
    {"lead 1", 1, -1, -1, 200, {0x10, 0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x66}},
    {"whole lead", -1, -1, -1, 200, {0x10, 0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x66}},
    {"lead above before count",
     5,
     -1,
     -1,
     200,
     {0x10, 0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x66}},
    {"no lead", 0, -1, -1, 200, {0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x66}},
    {"middle count skips the rest", 0, 2, -1, 200, {0x02, 0x41, 0x03, 0x55, 0x66}},
    {"middle count past the middle",
     0,
     8,
     -1,
     200,
     {0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x03, 0x55, 0x66}},
    {"middle 0 trails from the middle",
     0,
     0,
     -1,
     200,
     {0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x66}},
    {"lead only", 1, 0, 0, 200, {0x10}},
    {"trail count", 0, -1, 2, 200, {0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55}},
    {"middle 0 and a trail count", 0, 0, 5, 200, {0x02, 0x41, 0x10, 0x10, 0x42}},
    {"trail count reads stored positions",
     1,
     -1,
     5,
     200,
     {0x10, 0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03, 0x55, 0x66, 0x00, 0x00}},
    {"no trail", 0, -1, 0, 200, {0x02, 0x41, 0x10, 0x10, 0x42, 0x10}},
    {"max length", 1, -1, -1, 4, {0x10, 0x02, 0x41, 0x10}},
    {"max length inside the lead", 1, -1, -1, 1, {0x10}},
    {"max length 0", 1, -1, -1, 0, {}},
};

TEST(RxConditionCopy, CopiesLeadMiddleAndTrailParts) {
  TRxCondition condition;
  AddBootFrameItem(condition);
  ReceiveBuffer link(condition);
  link.Receive(Join(BootFrame, {0x55, 0x66}));
  for (const CopyCase& c : BootFrameCopyCases) {
    EXPECT_EQ(Message(link, 1, c.maxLength, c.leadCount, c.middleCount, c.trailCount), c.expected)
        << c.name;
  }
}

// A four-byte buffer keeps its first three bytes and the newest one.
const CopyCase SmallBufferCopyCases[] = {
    {"reply up to the newest byte", 0, -1, -1, 500, {0x01, 0x06, 0x00}},
    {"trail count stops at the buffer end", 0, -1, 10, 500, {0x01, 0x06, 0x00, 0xC2}},
    {"middle count stops at the buffer end", 0, 10, 0, 500, {0x01, 0x06, 0x00, 0xC2}},
    {"lead past the buffer end", 0x10, -1, -1, 500, {0xAA, 0xBB, 0xCC, 0xC2}},
};

TEST(RxConditionCopy, CountsPastASmallBufferStayInsideIt) {
  for (const CopyCase& c : SmallBufferCopyCases) {
    TRxCondition condition;
    AddModbusWriteItems(condition);
    ReceiveBuffer link(condition, 4);
    const bool withLead = c.leadCount > 0;
    link.Receive(withLead ? Join({0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}, ModbusReply) : ModbusReply);
    ASSERT_TRUE(condition.IsItemComplete(1)) << c.name;
    EXPECT_EQ(Message(link, 1, c.maxLength, c.leadCount, c.middleCount, c.trailCount), c.expected)
        << c.name;
  }
}

TEST(RxConditionCopy, NeverWritesPastTheDestination) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  ReceiveBuffer link(condition);
  link.Receive(ModbusReply);
  const Bytes buffer = Join(ModbusReply, Bytes(8, 0));
  Bytes dest(4, 0xEE);
  EXPECT_EQ(CopyRxMessage(&condition, 1, buffer, 8, dest, 500, 0, -1, -1), 3);
  EXPECT_EQ(dest, (Bytes{0x01, 0x06, 0x00, 0x00}));
  EXPECT_EQ(CopyRxMessage(&condition, 1, buffer, 8, {}, 500, 0, -1, -1), 0);
}

TEST(RxConditionCopy, EmptyBufferCopiesNothing) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  ReceiveBuffer link(condition);
  link.Receive(ModbusReply);
  Bytes dest(10, 0xEE);
  EXPECT_EQ(CopyRxMessage(&condition, 1, {}, 0, dest, 9, 0, -1, 5), 0);
  EXPECT_EQ(dest[0], 0);
}

TEST(RxConditionCopy, NoSetOrBadItemNumberGivesAnEmptyMessage) {
  TRxCondition condition;
  AddModbusWriteItems(condition);
  ReceiveBuffer link(condition);
  link.Receive(ModbusReply);
  const struct {
    const TRxCondition* condition;
    uint16_t itemNumber;
  } cases[] = {{nullptr, 1}, {&condition, 0}, {&condition, 3}};
  for (const auto& c : cases) {
    Bytes dest(10, 0xEE);
    EXPECT_EQ(CopyRxMessage(c.condition, c.itemNumber, ModbusReply, 8, dest, 9, 0, -1, -1), 0)
        << c.itemNumber;
    EXPECT_EQ(dest[0], 0) << c.itemNumber;
    EXPECT_EQ(dest[1], 0xEE) << c.itemNumber;
  }
}

}  // namespace
