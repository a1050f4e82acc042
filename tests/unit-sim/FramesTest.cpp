#include <gtest/gtest.h>

#include <string>

#include "BootFramer.h"
#include "Crc16.h"
#include "ModbusFramer.h"
#include "ReplyShaping.h"
#include "TestFrames.h"

using unitsim::Bytes;

TEST(UnitSimCrc, GivesTheCheckValueForTheNineDigits) {
  const std::string digits = "123456789";
  EXPECT_EQ(unitsim::Crc16Modbus(
                std::span(reinterpret_cast<const uint8_t*>(digits.data()), digits.size())),
            0x4B37);
}

TEST(UnitSimCrc, AppendsTheWorkedRequestsCrcLowByteFirst) {
  Bytes frame{0x13, 0x03, 0x00, 0x14, 0x00, 0x02};
  unitsim::AppendCrc(frame);
  EXPECT_EQ(frame, (Bytes{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D}));
  EXPECT_TRUE(unitsim::CrcMatches(frame));
}

TEST(UnitSimModbusFramer, FindsARequestAfterJunkAndReportsTheJunk) {
  unitsim::ModbusFramer framer;
  const Bytes request = testframes::Request(19, 3, 20, 2);
  Bytes line{0x55, 0x13, 0x03};
  line.insert(line.end(), request.begin(), request.end());
  framer.Append(line);
  Bytes skipped;
  EXPECT_EQ(framer.Next(skipped), request);
  EXPECT_EQ(skipped, (Bytes{0x55, 0x13, 0x03}));
}

TEST(UnitSimModbusFramer, WaitsForTheRestOfAFrameUntilSilence) {
  unitsim::ModbusFramer framer;
  const Bytes request = testframes::Request(19, 3, 20, 2);
  framer.Append(std::span(request).first(5));
  Bytes skipped;
  EXPECT_FALSE(framer.Next(skipped));
  framer.Append(std::span(request).subspan(5));
  EXPECT_EQ(framer.Next(skipped), request);
  framer.Append(std::span(request).first(5));
  EXPECT_FALSE(framer.Next(skipped, true));
  EXPECT_EQ(skipped, Bytes(request.begin(), request.begin() + 5));
}

TEST(UnitSimModbusFramer, TakesTheLengthOfWriteManyFromItsByteCount) {
  unitsim::ModbusFramer framer;
  const Bytes request = testframes::WriteManyRequest(20, 7, {1, 0x1003, 3});
  framer.Append(request);
  Bytes skipped;
  EXPECT_EQ(framer.Next(skipped), request);
  EXPECT_TRUE(skipped.empty());
}

TEST(UnitSimModbusFramer, FindsAFrameOfAnUnknownFunctionByItsCrc) {
  unitsim::ModbusFramer framer;
  const Bytes request = testframes::WithCrc({19, 0x41, 0x01});
  framer.Append(request);
  Bytes skipped;
  EXPECT_EQ(framer.Next(skipped), request);
}

TEST(UnitSimBootFramer, UndoesDoubledDleAndDoesNotEndAtDataDleEtx) {
  unitsim::BootFramer framer;
  const Bytes frame = testframes::BootRequest(2, 2, {0x10, 0x03, 0x10});
  framer.Append(frame);
  Bytes skipped;
  const auto found = framer.Next(skipped);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->raw, frame);
  EXPECT_EQ(found->body, (Bytes{2, 2, 0x10, 0x03, 0x10, static_cast<uint8_t>(-0x27)}));
}

TEST(UnitSimBootFramer, StartsAgainAtADleStxInsideAFrame) {
  unitsim::BootFramer framer;
  const Bytes frame = testframes::BootRequest(8, 4);
  Bytes line{0x33, 0x10, 0x02, 0x08};
  line.insert(line.end(), frame.begin(), frame.end());
  framer.Append(line);
  Bytes skipped;
  const auto found = framer.Next(skipped);
  ASSERT_TRUE(found);
  EXPECT_EQ(found->raw, frame);
  EXPECT_EQ(skipped, (Bytes{0x33, 0x10, 0x02, 0x08}));
}

TEST(UnitSimBootFramer, KeepsAnIncompleteFrameForMoreBytes) {
  unitsim::BootFramer framer;
  const Bytes frame = testframes::BootRequest(0, 2);
  framer.Append(std::span(frame).first(frame.size() - 1));
  Bytes skipped;
  EXPECT_FALSE(framer.Next(skipped));
  framer.Append(std::span(frame).last(1));
  EXPECT_TRUE(framer.Next(skipped));
  EXPECT_TRUE(skipped.empty());
}

TEST(UnitSimReplyShaping, DoublesDleInBodyAndChecksum) {
  // Body 10 F0: the checksum is 0x100 - 0x100 = 0x00; body 01 EF: checksum 0x10.
  EXPECT_EQ(unitsim::ShapeReply({0x10, 0xF0}, unitsim::Framing::Boot, {}),
            (Bytes{0x10, 0x02, 0x10, 0x10, 0xF0, 0x00, 0x10, 0x03}));
  EXPECT_EQ(unitsim::ShapeReply({0x01, 0xEF}, unitsim::Framing::Boot, {}),
            (Bytes{0x10, 0x02, 0x01, 0xEF, 0x10, 0x10, 0x10, 0x03}));
}
