#include <gtest/gtest.h>

#include <QTimer>
#include <array>
#include <chrono>
#include <random>
#include <vector>

#include "comms/KovaComms.h"
#include "modbus/ModBusPro.h"
#include "modbus/ModbusCrc.h"
#include "modbus/ModbusFrames.h"
#include "support/PseudoTerminal.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

Bytes WithCrc(Bytes frame) {
  const uint16_t crc = ModbusCrc16(frame);
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  return frame;
}

// The test plays the unit by hand: it answers the next request with fixed
// bytes once the request has arrived.
class ModbusRawPeer : public testing::Test {
 protected:
  ModbusRawPeer() : link([this](int) { return pty.SlavePath(); }) {
    pty.KeepSlaveOpen();
    link.RxBufferSize = 500;
    if (!link.Open()) throw std::runtime_error("cannot open the pseudo-terminal");
  }

  void AnswerWith(Bytes reply) {
    QTimer::singleShot(0, [this, reply = std::move(reply)] {
      request = pty.ReadExactly(8, 10s);
      pty.Write(reply);
    });
  }

  PseudoTerminal pty;
  TKovaComms link;
  Bytes request;
};

TEST_F(ModbusRawPeer, ReadReplyAnnouncingMoreRegistersStoresOnlyThoseAsked) {
  AnswerWith(WithCrc({0x13, 0x03, 0x06, 0x0F, 0xA1, 0x08, 0x3E, 0x12, 0x34}));
  std::array<uint16_t, 3> values{0xAAAA, 0xAAAA, 0xAAAA};
  EXPECT_EQ(ReadRegisters(link, 19, 3, 20, 2, ModbusTimeoutTicks, std::span(values).first(2)), 1);
  EXPECT_EQ(values, (std::array<uint16_t, 3>{4001, 2110, 0xAAAA}));
  EXPECT_EQ(request, (Bytes{0x13, 0x03, 0x00, 0x14, 0x00, 0x02, 0x87, 0x7D}));
}

TEST_F(ModbusRawPeer, ReadReplyWithAWrongCrcLeavesTheValuesAlone) {
  Bytes reply = WithCrc({0x13, 0x03, 0x04, 0x0F, 0xA1, 0x08, 0x3E});
  reply.back() ^= 0x01;
  AnswerWith(reply);
  std::array<uint16_t, 2> values{7, 8};
  EXPECT_EQ(ReadRegisters(link, 19, 3, 20, 2, ModbusTimeoutTicks, values), -1);
  EXPECT_EQ(values, (std::array<uint16_t, 2>{7, 8}));
}

TEST_F(ModbusRawPeer, WriteEchoThatDiffersIsStillAccepted) {
  AnswerWith({0x13, 0x67, 0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x00});
  EXPECT_EQ(WriteRegister(link, 19, 103, 29, 0x5C3A, ModbusTimeoutTicks), 1);
}

TEST_F(ModbusRawPeer, NoDeviceTakesTwoFullTimeoutsInARetryingForm) {
  const auto start = std::chrono::steady_clock::now();
  std::array<uint16_t, 2> values{};
  EXPECT_EQ(ReadRegistersRetry({link, 0}, 19, 3, 20, 2, values), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 4s);
  EXPECT_EQ(pty.ReadAvailable(50ms, 1s).size(), 16u) << "two requests were sent";
}

TEST_F(ModbusRawPeer, OffsetIsAddedToTheBaseSlaveAddress) {
  AnswerWith({0x15, 0x06, 0x00, 0x18, 0x00, 0x01, 0x00, 0x00});
  EXPECT_EQ(WriteRegisterRetry({link, 2}, 19, 6, 24, 1), 1);
  EXPECT_EQ(request[0], 21);
}

TEST_F(ModbusRawPeer, AnyReplyBytesEndInAResultCode) {
  std::mt19937 random(12345);
  for (int round = 0; round < 20; ++round) {
    Bytes noise(1 + random() % 700);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    AnswerWith(noise);
    std::array<uint16_t, 22> values{};
    const int32_t result = ReadRegisters(link, 19, 3, 7, 22, 1, values);
    EXPECT_TRUE(result == 1 || result == 2 || result == 0 || result == -1) << result;
    pty.ReadAvailable(20ms, 100ms);
  }
}

TEST_F(ModbusRawPeer, ExceptionReplyOfEveryCodeGivesTwo) {
  for (int code = 0; code < 256; code += 51) {
    AnswerWith(WithCrc({0x13, 0x83, static_cast<uint8_t>(code)}));
    std::array<uint16_t, 2> values{};
    EXPECT_EQ(ReadRegisters(link, 19, 3, 20, 2, ModbusTimeoutTicks, values), 2) << code;
  }
}

}  // namespace
