#include <gtest/gtest.h>

#include <QTimer>
#include <array>
#include <chrono>
#include <vector>

#include "comms/KovaComms.h"
#include "support/PseudoTerminal.h"
#include "update/BootFrames.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

TEST(BootFrames, WorkedRequestsByteForByte) {
  struct Case {
    uint8_t command;
    uint8_t count;
    Bytes data;
    Bytes frame;
  };
  const Case cases[] = {
      {0, 2, {}, {0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}},
      {0, 0, {}, {0x10, 0x02, 0x00, 0x00, 0x00, 0x10, 0x03}},
      {8, 4, {}, {0x10, 0x02, 0x08, 0x04, 0xF4, 0x10, 0x03}},
      {5,
       1,
       {0xFF, 0x03, 0x00, 0x00},
       {0x10, 0x02, 0x05, 0x01, 0xFF, 0x03, 0x00, 0x00, 0xF8, 0x10, 0x03}},
      {3, 8, {0x00, 0x08, 0x00}, {0x10, 0x02, 0x03, 0x08, 0x00, 0x08, 0x00, 0xED, 0x10, 0x03}},
      {3,
       8,
       {0x00, 0x10, 0x00},
       {0x10, 0x02, 0x03, 0x08, 0x00, 0x10, 0x10, 0x00, 0xE5, 0x10, 0x03}},
      // A checksum of 0x10 is doubled as well: 3 + 8 + 0xE5 = 0xF0 gives 0x10.
      {3, 8, {0xE5}, {0x10, 0x02, 0x03, 0x08, 0xE5, 0x10, 0x10, 0x10, 0x03}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildBootFrame(c.command, c.count, c.data), c.frame) << int{c.command};
    EXPECT_EQ(UnstuffBootFrame(c.frame).size(), c.data.size() + 5);
  }
}

TEST(BootFrames, ByteSumIsEightBitsAndZeroForNothing) {
  EXPECT_EQ(ByteSum({}), 0);
  const Bytes bytes = {0xFF, 0x02, 0x10};
  EXPECT_EQ(ByteSum(bytes), 0x11);
}

TEST(BootFrames, UnstuffingTakesTheByteAfterEachDle) {
  const Bytes frame = {0x10, 0x02, 0x41, 0x10, 0x10, 0x42, 0x10, 0x03};
  EXPECT_EQ(UnstuffBootFrame(frame), (Bytes{0x02, 0x41, 0x10, 0x42, 0x03}));
}

class BootTransactionTest : public testing::Test {
 protected:
  BootTransactionTest() : link([this](int) { return pty.SlavePath(); }) {
    pty.KeepSlaveOpen();
    link.BaudRate = 115200;
    if (!link.Open()) throw std::runtime_error("cannot open the pseudo-terminal");
  }

  // Answers the next request with reply once the request has arrived.
  void AnswerWith(Bytes reply, std::size_t requestLength) {
    QTimer::singleShot(0, [this, reply = std::move(reply), requestLength] {
      request = pty.ReadExactly(requestLength, 10s);
      pty.Write(reply);
    });
  }

  PseudoTerminal pty;
  TKovaComms link;
  Bytes request;
};

TEST_F(BootTransactionTest, ReplyDataWithDoubledDleComesBackSingle) {
  // Model number 0x1003: its data hold 10 03, sent as 10 10 03.
  AnswerWith({0x10, 0x02, 0x00, 0x02, 0x10, 0x10, 0x03, 0xEB, 0x10, 0x03}, 7);
  std::array<uint8_t, 2> reply{};
  EXPECT_EQ(BootTransaction(link, 0, 2, {}, BootTimeoutTicks, reply), 1);
  EXPECT_EQ(request, (Bytes{0x10, 0x02, 0x00, 0x02, 0xFE, 0x10, 0x03}));
  EXPECT_EQ(reply, (std::array<uint8_t, 2>{0x10, 0x03}));
}

TEST_F(BootTransactionTest, WrongChecksumGivesMinusOneAndLeavesTheReplyAlone) {
  AnswerWith({0x10, 0x02, 0x00, 0x02, 0x0F, 0xA1, 0x00, 0x10, 0x03}, 7);
  std::array<uint8_t, 2> reply{0x55, 0x66};
  EXPECT_EQ(BootTransaction(link, 0, 2, {}, BootTimeoutTicks, reply), -1);
  EXPECT_EQ(reply, (std::array<uint8_t, 2>{0x55, 0x66}));
}

TEST_F(BootTransactionTest, ReplyShorterThanItsCountIsRefused) {
  AnswerWith({0x10, 0x02, 0x10, 0x03}, 7);
  std::array<uint8_t, 2> reply{0x55, 0x66};
  EXPECT_EQ(BootTransaction(link, 0, 2, {}, BootTimeoutTicks, reply), -1);
  EXPECT_EQ(reply, (std::array<uint8_t, 2>{0x55, 0x66}));
}

TEST_F(BootTransactionTest, NoReplyTimesOut) {
  std::array<uint8_t, 4> reply{};
  EXPECT_EQ(BootTransaction(link, 8, 4, {}, 2, reply), 0);
}

TEST_F(BootTransactionTest, ClosedLinkRefusesToSend) {
  link.Close();
  link.Close();
  std::array<uint8_t, 4> reply{};
  EXPECT_EQ(BootTransaction(link, 8, 4, {}, BootTimeoutTicks, reply), -2);
}

}  // namespace
