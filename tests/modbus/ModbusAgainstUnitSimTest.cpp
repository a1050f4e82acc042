#include <gtest/gtest.h>

#include <QRegularExpression>
#include <array>
#include <chrono>

#include "comms/KovaComms.h"
#include "modbus/ModBusPro.h"
#include "modbus/ModbusFrames.h"
#include "support/UnitSimProcess.h"

namespace {

using namespace std::chrono_literals;

// A link at the firmware's speed to a simulated unit started with options.
struct UnitOnTheLine {
  explicit UnitOnTheLine(const QStringList& options = {})
      : unit(options), link([this](int) { return unit.SlavePath(); }) {
    link.BaudRate = 9600;
    link.RxBufferSize = 500;
    if (!link.Open()) throw std::runtime_error("cannot open " + unit.SlavePath());
  }

  UnitSimProcess unit;
  TKovaComms link;
};

TEST(ModbusAgainstUnitSim, EachTransactionGetsItsNormalReply) {
  UnitOnTheLine line;
  std::array<uint16_t, 2> info{};
  EXPECT_EQ(ReadRegisters(line.link, 19, 3, 20, 2, ModbusTimeoutTicks, info), 1);
  EXPECT_EQ(info, (std::array<uint16_t, 2>{4001, 2100}));

  EXPECT_EQ(WriteRegister(line.link, 17, 103, 24, 0x1234, ModbusTimeoutTicks), 1);
  std::array<uint16_t, 11> written{};
  for (std::size_t i = 0; i < written.size(); ++i) written[i] = static_cast<uint16_t>(0x100 + i);
  EXPECT_EQ(WriteRegisters(line.link, 20, 104, 18, 11, written, ModbusTimeoutTicks), 1);

  std::array<uint16_t, 1> slave17{};
  EXPECT_EQ(ReadRegistersRetry({line.link, 0}, 17, 3, 24, 1, slave17), 1);
  EXPECT_EQ(slave17[0], 0x1234);
  std::array<uint16_t, 22> slave20{};
  EXPECT_EQ(ReadRegistersRetry({line.link, 0}, 20, 3, 7, 22, slave20), 1);
  EXPECT_EQ(slave20[0], 2007) << "untouched registers keep their defaults";
  EXPECT_EQ(slave20[11], 0x100);
  EXPECT_EQ(slave20[21], 0x10A);
}

TEST(ModbusAgainstUnitSim, ExceptionReplyReturnsTwoWithoutWaitingForTheTimeout) {
  UnitOnTheLine line;
  std::array<uint16_t, 1> value{};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ReadRegisters(line.link, 19, 3, 200, 1, ModbusTimeoutTicks, value), 2);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST(ModbusAgainstUnitSim, WrongCrcGivesMinusOneAndTheRetryingFormTriesAgain) {
  UnitOnTheLine line({"--fault", "bad-check:read:1"});
  std::array<uint16_t, 2> values{7, 8};
  EXPECT_EQ(ReadRegisters(line.link, 19, 3, 20, 2, ModbusTimeoutTicks, values), -1);
  EXPECT_EQ(values, (std::array<uint16_t, 2>{7, 8}));
  EXPECT_EQ(ReadRegistersRetry({line.link, 0}, 19, 3, 20, 2, values), 1);
  EXPECT_EQ(values, (std::array<uint16_t, 2>{4001, 2100}));
}

TEST(ModbusAgainstUnitSim, ReplyWithMoreRegistersStoresOnlyThoseAsked) {
  UnitOnTheLine line({"--fault", "more-registers:read:1"});
  std::array<uint16_t, 3> values{0, 0, 0xAAAA};
  EXPECT_EQ(ReadRegisters(line.link, 19, 3, 20, 2, ModbusTimeoutTicks, std::span(values).first(2)),
            1);
  EXPECT_EQ(values, (std::array<uint16_t, 3>{4001, 2100, 0xAAAA}));
}

TEST(ModbusAgainstUnitSim, WriteEchoThatDiffersStillCounts) {
  UnitOnTheLine line({"--fault", "wrong-echo:write:1"});
  EXPECT_EQ(WriteRegister(line.link, 17, 103, 24, 0x0F0F, ModbusTimeoutTicks), 1);
}

TEST(ModbusAgainstUnitSim, BroadcastGetsNoReplyAndEndsInTheFullTimeout) {
  UnitOnTheLine line;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(WriteRegister(line.link, 0, 6, 24, 1, ModbusTimeoutTicks), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 2s);
}

TEST(ModbusAgainstUnitSim, LateReplyToTheFirstAttemptCompletesTheSecond) {
  UnitOnTheLine line({"--fault", "late:read:1", "--late-ms", "2600"});
  std::array<uint16_t, 2> values{};
  EXPECT_EQ(ReadRegistersRetry({line.link, 0}, 19, 3, 20, 2, values), 1);
  EXPECT_EQ(values, (std::array<uint16_t, 2>{4001, 2100}));
  // The second request reaches the unit while it still holds back its late
  // reply to the first.
  EXPECT_EQ(line.unit.Transcript().filter(QRegularExpression("^(rx|busy) 9600 13 03 ")).size(), 2);
}

}  // namespace
