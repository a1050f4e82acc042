#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "comms/RxCondition.h"
#include "modbus/ModbusCrc.h"
#include "modbus/ModbusFrames.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(ModbusCrc, StandardCheckValueComesBackWithItsBytesExchanged) {
  const Bytes digits = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
  EXPECT_EQ(ModbusCrc16(digits), 0x374B);
  EXPECT_EQ(ModbusCrc16({}), 0xFFFF);
}

TEST(ModbusFrames, RequestLayoutsByteForByte) {
  EXPECT_EQ(BuildReadRequest(19, 3, 20, 2),
            (Bytes{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D}));
  const Bytes write = BuildWriteRequest(19, 103, 29, 0x5C3A);
  EXPECT_EQ(Bytes(write.begin(), write.end() - 2), (Bytes{0x13, 0x67, 0x00, 0x1D, 0x5C, 0x3A}));
  const uint16_t crc = ModbusCrc16(std::span(write).first(6));
  EXPECT_EQ(write[6], crc >> 8);
  EXPECT_EQ(write[7], crc & 0xFF);

  const std::array<uint16_t, 3> values{0x0102, 0x10FF, 0xA0B0};
  const Bytes many = BuildWriteManyRequest(20, 104, 7, values);
  ASSERT_EQ(many.size(), 9u + 2 * values.size());
  EXPECT_EQ(Bytes(many.begin(), many.end() - 2),
            (Bytes{0x14, 0x68, 0x00, 0x07, 0x00, 0x03, 0x06, 0x01, 0x02, 0x10, 0xFF, 0xA0, 0xB0}));
  EXPECT_EQ(ModbusCrc16(many), 0x0000) << "a frame with its CRC appended checks to zero";
}

TEST(ModbusFrames, ByteCountOfWriteManyIsTheLowEightBitsOfTwiceTheCount) {
  const std::vector<uint16_t> values(130, 0x1234);
  const Bytes many = BuildWriteManyRequest(1, 104, 0, values);
  EXPECT_EQ(many[4], 0x00);
  EXPECT_EQ(many[5], 130);
  EXPECT_EQ(many[6], 0x04);
  EXPECT_EQ(many.size(), 9u + 260);
}

// Feeds bytes the way the link does: to the set while nothing matched, then
// only counted; returns the completed item (1-based) or -1.
int32_t Completed(TRxCondition& condition, const Bytes& bytes) {
  condition.ResetItems();
  int32_t matched = -1;
  for (const uint8_t b : bytes) {
    if (matched == -1) {
      matched = condition.FeedByte(b);
    } else {
      condition.CountByte(b);
    }
  }
  for (uint16_t n = 1; n <= condition.ItemCount(); ++n) {
    if (condition.IsItemComplete(n)) return n;
  }
  return -1;
}

TEST(ModbusFrames, ReplyConditionsTellNormalFromExceptionReplies) {
  struct Case {
    uint8_t function;
    uint16_t minAfter;
    Bytes reply;
    int32_t completed;
  };
  const Case cases[] = {
      {6, WriteReplyMinAfter, {0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4}, 1},
      {6, WriteReplyMinAfter, {0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89}, -1},
      {6, WriteReplyMinAfter, {0x55, 0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4}, 1},
      {6, WriteReplyMinAfter, {0x01, 0x86, 0x02, 0xC3, 0xA1}, 2},
      {103, WriteReplyMinAfter, {0x01, 0xE7, 0x01, 0x00, 0x00}, 2},
      {104, WriteReplyMinAfter, {0x01, 0xE8, 0x03, 0x00, 0x00}, 2},
      {3, ReadReplyMinAfter(2), {0x01, 0x03, 0x04, 0x0F, 0xA1, 0x08, 0x3E, 0x00, 0x00}, 1},
      {3, ReadReplyMinAfter(2), {0x01, 0x03, 0x04, 0x0F, 0xA1, 0x08, 0x3E, 0x00}, -1},
  };
  for (const Case& c : cases) {
    TRxCondition condition;
    AddReplyConditions(condition, 0x01, c.function, c.minAfter);
    EXPECT_EQ(Completed(condition, c.reply), c.completed) << int{c.function};
  }
}

TEST(ModbusFrames, BroadcastAddressNeverCompletes) {
  TRxCondition condition;
  AddReplyConditions(condition, 0x00, 6, WriteReplyMinAfter);
  EXPECT_EQ(Completed(condition, {0x00, 0x06, 0x00, 0x9C, 0x5C, 0x3A, 0x00, 0x00, 0x00}), -1);
}

}  // namespace
