#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Options.h"
#include "ProgramMemory.h"
#include "TestFrames.h"
#include "Transcript.h"
#include "Unit.h"

using testframes::BootRequest;
using testframes::Bytes;
using testframes::Request;
using testframes::WithCrc;

namespace {

// The unit in-process, fed as the line would feed it.
class UnitOnLine {
 public:
  explicit UnitOnLine(const std::vector<std::string_view>& args = {}, bool speedVisible = true)
      : options_(unitsim::ParseOptions(args)),
        unit_(options_, memory_, transcript_, speedVisible) {}

  // Sends at the speed the unit listens at, unless told otherwise; the reply's bytes, or
  // nothing when there was none.
  std::optional<Bytes> Send(const Bytes& request, std::optional<uint32_t> speed = {}) {
    std::optional<unitsim::Reply> reply = Hear(request, speed);
    if (!reply) return std::nullopt;
    unit_.ReplyDone();
    return reply->bytes;
  }
  std::optional<unitsim::Reply> Hear(const Bytes& request, std::optional<uint32_t> speed = {}) {
    return unit_.Hear(request, speed.value_or(unit_.ListenSpeed()));
  }
  unitsim::Unit& Unit() { return unit_; }
  const unitsim::ProgramMemory& Memory() const { return memory_; }
  bool Noted(const std::string& text) const { return out_.str().find(text) != std::string::npos; }

 private:
  std::ostringstream out_;
  unitsim::Transcript transcript_{out_};
  unitsim::ProgramMemory memory_;
  unitsim::Options options_;
  unitsim::Unit unit_;
};

std::vector<uint16_t> Values(const Bytes& readReply) {
  std::vector<uint16_t> values;
  for (std::size_t i = 3; i + 3 < readReply.size(); i += 2) {
    values.push_back(static_cast<uint16_t>(readReply[i] << 8 | readReply[i + 1]));
  }
  return values;
}

// The unit in its boot loader (kind G at address 1).
void EnterBootLoader(UnitOnLine& unit) {
  ASSERT_TRUE(unit.Send(Request(1, 103, 151, testframes::BootEntryKey)));
  ASSERT_TRUE(unit.Unit().InBootLoader());
}

// The reply's body, checked for doubled DLE bytes and a checksum that sums to zero.
Bytes CheckedBody(const std::optional<Bytes>& reply) {
  EXPECT_TRUE(reply);
  if (!reply) return {};
  const std::optional<Bytes> body = testframes::BootBody(*reply);
  EXPECT_TRUE(body) << "DLE not doubled";
  if (!body) return {};
  EXPECT_EQ(testframes::Sum(*body), 0);
  return *body;
}

Bytes Row(uint8_t seed) {
  Bytes row(128);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(seed + i);
  row[5] = 0x10;
  row[6] = 0x03;
  return row;
}

Bytes ProgramRequest(uint16_t address, const Bytes& row) {
  Bytes data = testframes::Address(address);
  data.insert(data.end(), row.begin(), row.end());
  return BootRequest(2, 2, data);
}

}  // namespace

TEST(UnitSimFirmware, ReadsModelAndVersionFromSlave19) {
  UnitOnLine unit({"--model", "1105", "--version", "109"});
  EXPECT_EQ(unit.Send(Request(19, 3, 20, 2)), WithCrc({19, 3, 4, 0x04, 0x51, 0x00, 0x6D}));
  EXPECT_TRUE(unit.Noted("rx 9600 13 03 00 14 00 02 87 7D"));
}

TEST(UnitSimFirmware, StoresWritesAndEchoesThem) {
  UnitOnLine unit;
  EXPECT_EQ(unit.Send(Request(17, 103, 24, 0x1234)), Request(17, 103, 24, 0x1234));
  EXPECT_EQ(unit.Send(testframes::WriteManyRequest(20, 27, {7, 8})),
            WithCrc({20, 104, 0, 27, 0, 2}));
  EXPECT_EQ(Values(*unit.Send(Request(17, 3, 24, 1))), std::vector<uint16_t>{0x1234});
  EXPECT_EQ(Values(*unit.Send(Request(20, 3, 26, 3))), (std::vector<uint16_t>{2026, 7, 8}));
}

TEST(UnitSimFirmware, GivesExceptionsForWhatItDoesNotServe) {
  UnitOnLine unit;
  EXPECT_EQ(unit.Send(Request(19, 3, 40, 1)), WithCrc({19, 0x83, 2}));
  EXPECT_EQ(unit.Send(Request(19, 4, 20, 1)), WithCrc({19, 0x84, 1}));
  EXPECT_EQ(unit.Send(Request(19, 103, 20, 1)), WithCrc({19, 0xE7, 2}));
  EXPECT_EQ(unit.Send(Request(1, 6, 151, 1)), WithCrc({1, 0x86, 2}));
  EXPECT_EQ(unit.Send(Request(20, 3, 7, 0)), WithCrc({20, 0x83, 3}));
}

TEST(UnitSimFirmware, NeverAnswersOtherAddressesOrBroadcast) {
  UnitOnLine unit;
  EXPECT_FALSE(unit.Send(Request(5, 3, 20, 1)));
  EXPECT_FALSE(unit.Send(Request(0, 6, 22, 1)));
  EXPECT_FALSE(unit.Send(Request(0, 3, 40, 1)));
  EXPECT_FALSE(unit.Send(WithCrc({0, 0x41})));
  EXPECT_TRUE(unit.Noted("rx 9600 00 06 00 16"));
}

TEST(UnitSimFirmware, NotesTheCommit) {
  UnitOnLine unit({"--model", "1105"});
  EXPECT_EQ(unit.Send(Request(19, 103, 29, testframes::CommitKey)),
            Request(19, 103, 29, testframes::CommitKey));
  EXPECT_TRUE(unit.Noted("commit"));
}

TEST(UnitSimFirmware, IgnoresBytesSentAtAnotherSpeed) {
  UnitOnLine unit;
  EXPECT_FALSE(unit.Send(Request(19, 3, 20, 2), 115200));
  EXPECT_TRUE(unit.Noted("ignored 115200 13 03"));
  EXPECT_TRUE(unit.Send(Request(19, 3, 20, 2), 9600));
}

TEST(UnitSimFirmware, HearsNothingWhileWorkingOnARequest) {
  UnitOnLine unit;
  ASSERT_TRUE(unit.Hear(Request(19, 3, 20, 2)));
  EXPECT_FALSE(unit.Hear(Request(19, 3, 21, 1)));
  EXPECT_TRUE(unit.Noted("busy 9600 13 03 00 15"));
  unit.Unit().ReplyDone();
  EXPECT_TRUE(unit.Send(Request(19, 3, 21, 1)));
}

TEST(UnitSimFirmware, GivesUpAnIncompleteFrameAfterSilence) {
  UnitOnLine unit;
  const Bytes request = Request(19, 3, 20, 2);
  EXPECT_FALSE(unit.Send(Bytes(request.begin(), request.begin() + 4)));
  EXPECT_FALSE(unit.Unit().Silence());
  EXPECT_TRUE(unit.Noted("skipped 9600 13 03 00 14"));
  EXPECT_EQ(unit.Send(request)->size(), 9u);
}

namespace {

struct EntryCase {
  std::vector<std::string_view> args;
  std::vector<Bytes> requests;
  // Index of the request after which the unit runs its boot loader.
  std::size_t switching;
  char kind;
};

void PrintTo(const EntryCase& entry, std::ostream* out) {
  *out << "kind " << entry.kind;
}

class UnitSimEntry : public testing::TestWithParam<EntryCase> {};

}  // namespace

TEST_P(UnitSimEntry, SwitchesAtTheChosenRequestOnly) {
  const EntryCase& entry = GetParam();
  UnitOnLine unit(entry.args);
  for (std::size_t i = 0; i < entry.requests.size(); ++i) {
    EXPECT_FALSE(unit.Unit().InBootLoader()) << i;
    const std::optional<Bytes> reply = unit.Send(entry.requests[i]);
    if (entry.requests[i][0] != 0) {
      EXPECT_EQ(reply, entry.requests[i]) << i;
    }
    if (i == entry.switching) break;
  }
  EXPECT_TRUE(unit.Unit().InBootLoader());
  EXPECT_TRUE(unit.Noted(std::string("boot-entry ") + entry.kind));
  CheckedBody(unit.Send(BootRequest(8, 4)));
}

namespace {

using testframes::BootEntryKey;

const Bytes A1 = Request(1, 6, 156, BootEntryKey);
const Bytes A2 = Request(0, 6, 156, BootEntryKey);
const Bytes E1 = Request(1, 103, 8, BootEntryKey);
const Bytes E2 = Request(2, 103, 5, BootEntryKey);

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    EveryKind, UnitSimEntry,
    testing::Values(EntryCase{{"--model", "1101"}, {A1, A2}, 0, 'A'},
                    EntryCase{{"--model", "1102", "--entry-request", "second"}, {A1, A2}, 1, 'A'},
                    EntryCase{{"--model", "1105"}, {Request(19, 103, 29, BootEntryKey)}, 0, 'B'},
                    EntryCase{{"--model", "1120"}, {Request(242, 6, 13, BootEntryKey)}, 0, 'C'},
                    EntryCase{{"--model", "2000"}, {Request(1, 103, 8, BootEntryKey)}, 0, 'D'},
                    EntryCase{{"--model", "1121"}, {E1, E2}, 1, 'E'},
                    EntryCase{{"--model", "1121", "--entry-request", "first"}, {E1, E2}, 0, 'E'},
                    EntryCase{
                        {"--slave-address", "7"}, {Request(7, 103, 151, BootEntryKey)}, 0, 'G'},
                    EntryCase{{"--model", "3001"}, {Request(1, 103, 2, BootEntryKey)}, 0, 'H'}),
    [](const testing::TestParamInfo<EntryCase>& info) {
      return std::string("Kind") + info.param.kind + std::to_string(info.index);
    });

TEST(UnitSimEntryF, EntersWhenItHearsTheBootLoaderSpeed) {
  UnitOnLine unit({"--model", "1122"});
  EXPECT_TRUE(unit.Send(Request(19, 3, 20, 2), 9600));
  EXPECT_FALSE(unit.Unit().InBootLoader());
  CheckedBody(unit.Send(BootRequest(8, 4), 115200));
  EXPECT_TRUE(unit.Noted("boot-entry F 115200"));
}

TEST(UnitSimEntryF, StartsInTheBootLoaderWhereTheSpeedCannotBeSeen) {
  UnitOnLine unit({"--model", "1122"}, false);
  EXPECT_TRUE(unit.Unit().InBootLoader());
}

TEST(UnitSimEntry, StartsInTheBootLoaderAsAnInterruptedUpdateLeftIt) {
  UnitOnLine unit({"--model", "1105", "--start-in-boot-loader"});
  EXPECT_TRUE(unit.Noted("start model 1105 version 2100 boot-entry B boot-loader 115200"));
  EXPECT_FALSE(unit.Send(Request(19, 3, 20, 2), 9600)) << "its firmware does not run";
  CheckedBody(unit.Send(BootRequest(8, 4)));
}

TEST(UnitSimEntryReply, AnswersTheEntryRequestBeforeSwitching) {
  UnitOnLine unit;
  ASSERT_TRUE(unit.Hear(Request(1, 103, 151, BootEntryKey)));
  EXPECT_FALSE(unit.Unit().InBootLoader());
  unit.Unit().ReplyDone();
  EXPECT_TRUE(unit.Unit().InBootLoader());
  EXPECT_EQ(unit.Unit().ListenSpeed(), 115200u);
}

TEST(UnitSimBootCommands, AnswersInformationAndModel) {
  UnitOnLine unit({"--boot-rm", "4112", "--boot-version", "103"});
  EnterBootLoader(unit);
  EXPECT_EQ(CheckedBody(unit.Send(BootRequest(8, 4))), (Bytes{8, 4, 0x10, 0x10, 0x00, 0x67, 0x6D}));
  EXPECT_EQ(CheckedBody(unit.Send(BootRequest(0, 2))), (Bytes{0, 2, 0x0F, 0xA1, 0x4E}));
}

TEST(UnitSimBootCommands, ErasesAndProgramsMemory) {
  UnitOnLine unit;
  EnterBootLoader(unit);
  const Bytes row = Row(0x40);
  const std::optional<Bytes> erased = unit.Send(BootRequest(3, 8, testframes::Address(0x1000)));
  EXPECT_EQ(CheckedBody(erased), (Bytes{3, 8, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0xE5}));
  EXPECT_EQ(CheckedBody(unit.Send(ProgramRequest(0x1000, row))), (Bytes{2, 2, 0x00, 0x10, 0xEC}));
  const auto memory = unit.Memory().Content();
  EXPECT_TRUE(std::equal(row.begin(), row.end(), memory.begin() + 0x1000));
  EXPECT_EQ(memory[0x1080], 0xFF);
}

TEST(UnitSimBootCommands, ProgrammingOnlyClearsBits) {
  UnitOnLine unit;
  EnterBootLoader(unit);
  ASSERT_TRUE(unit.Send(ProgramRequest(0x0800, Bytes(128, 0x0F))));
  ASSERT_TRUE(unit.Send(ProgramRequest(0x0800, Bytes(128, 0xF1))));
  EXPECT_EQ(unit.Memory().Content()[0x0800], 0x01);
  ASSERT_TRUE(unit.Send(BootRequest(3, 8, testframes::Address(0x0800))));
  EXPECT_EQ(unit.Memory().Content()[0x0800], 0xFF);
}

TEST(UnitSimBootCommands, RefusesBadRequestsWithoutReply) {
  UnitOnLine unit;
  EnterBootLoader(unit);
  Bytes badChecksum = BootRequest(8, 4);
  badChecksum[4] ^= 1;
  EXPECT_FALSE(unit.Send(badChecksum));
  EXPECT_TRUE(unit.Noted("bad-checksum"));
  EXPECT_FALSE(unit.Send(BootRequest(3, 8, testframes::Address(0x0600))));
  EXPECT_FALSE(unit.Send(BootRequest(3, 8, testframes::Address(0x0900))));
  EXPECT_FALSE(unit.Send(BootRequest(5, 1, {0xFF, 0x03, 0x00})));
  EXPECT_FALSE(unit.Send(BootRequest(9, 0)));
  EXPECT_TRUE(unit.Noted("refused erase: address inside the boot loader itself"));
  EXPECT_EQ(unit.Memory().Content()[0x0600], 0xFF);
}

TEST(UnitSimBootCommands, RestartsIntoTheNewFirmwareWithDefaultSettings) {
  UnitOnLine unit({"--new-version", "2111"});
  EnterBootLoader(unit);
  CheckedBody(unit.Send(BootRequest(5, 1, {0xFF, 0x03, 0x00, 0x00})));
  EXPECT_EQ(CheckedBody(unit.Send(BootRequest(0, 0))), (Bytes{0, 0, 0}));
  EXPECT_FALSE(unit.Unit().InBootLoader());
  EXPECT_EQ(unit.Unit().ListenSpeed(), 9600u);
  EXPECT_EQ(Values(*unit.Send(Request(19, 3, 21, 2))), (std::vector<uint16_t>{2111, 0xFFFF}));
  EXPECT_TRUE(unit.Noted("restart 9600 version 2111"));
}

TEST(UnitSimBootCommands, RunsAtTheHighSpeedModelsSpeeds) {
  UnitOnLine unit({"--model", "1121"});
  EXPECT_EQ(unit.Unit().ListenSpeed(), 800000u);
  ASSERT_TRUE(unit.Send(E2));
  EXPECT_EQ(unit.Unit().ListenSpeed(), 92160u);
  EXPECT_FALSE(unit.Send(BootRequest(8, 4), 115200));
}

TEST(UnitSimFaults, ChangeTheReplyAsNamed) {
  UnitOnLine unit({"--fault", "no-reply:read:1", "--fault", "bad-check:read:2", "--fault",
                   "noise:read:3", "--fault", "trailing:read:3", "--fault", "more-registers:read:4",
                   "--fault", "other-model:read:5", "--fault", "wrong-echo:write:1"});
  const Bytes read = Request(19, 3, 20, 1);
  EXPECT_FALSE(unit.Send(read));
  const Bytes normal = WithCrc({19, 3, 2, 0x0F, 0xA1});
  Bytes badCheck = *unit.Send(read);
  EXPECT_NE(badCheck, normal);
  EXPECT_EQ(Bytes(badCheck.begin(), badCheck.end() - 2), Bytes(normal.begin(), normal.end() - 2));
  Bytes noisy{0xFF, 0xFE, 0xF8};
  noisy.insert(noisy.end(), normal.begin(), normal.end());
  noisy.push_back(0xA5);
  EXPECT_EQ(unit.Send(read), noisy);
  EXPECT_EQ(unit.Send(read), WithCrc({19, 3, 4, 0x0F, 0xA1, 0x08, 0x34}));
  EXPECT_EQ(unit.Send(read), WithCrc({19, 3, 2, 0x0F, 0xA2}));
  EXPECT_EQ(unit.Send(Request(19, 6, 22, 0x00FF)), Request(19, 6, 22, 0xFF00));
  EXPECT_TRUE(unit.Noted("fault wrong-echo write 1"));
}

TEST(UnitSimFaults, ExceptionRefusesTheRequest) {
  UnitOnLine unit({"--fault", "exception:write:1"});
  EXPECT_EQ(unit.Send(Request(1, 103, 151, BootEntryKey)), WithCrc({1, 0xE7, 4}));
  EXPECT_FALSE(unit.Unit().InBootLoader());
}

TEST(UnitSimFaults, ShapeTheDeliveryOfABootReply) {
  UnitOnLine unit({"--fault", "split:info:1", "--fault", "late:info:1", "--late-ms", "3000",
                   "--erase-ms", "40", "--fault", "short:model:1", "--fault", "bad-check:model:2",
                   "--fault", "other-model:model:3"});
  EnterBootLoader(unit);
  const std::optional<unitsim::Reply> info = unit.Hear(BootRequest(8, 4));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->pieces, 3);
  EXPECT_EQ(info->delay, std::chrono::milliseconds(3000));
  unit.Unit().ReplyDone();
  EXPECT_EQ(CheckedBody(unit.Send(BootRequest(0, 2))), (Bytes{0, 2, 0x0F, 0xEF}));
  EXPECT_NE(testframes::Sum(*testframes::BootBody(*unit.Send(BootRequest(0, 2)))), 0);
  EXPECT_EQ(CheckedBody(unit.Send(BootRequest(0, 2))), (Bytes{0, 2, 0x0F, 0xA2, 0x4D}));
  const std::optional<unitsim::Reply> erase =
      unit.Hear(BootRequest(3, 8, testframes::Address(0x800)));
  ASSERT_TRUE(erase);
  EXPECT_EQ(erase->delay, std::chrono::milliseconds(40));
}

TEST(UnitSimFaults, HangUpLeavesTheRequestUndone) {
  UnitOnLine unit({"--fault", "hangup:program:2"});
  EnterBootLoader(unit);
  ASSERT_TRUE(unit.Send(ProgramRequest(0x0800, Bytes(128, 0))));
  const std::optional<unitsim::Reply> reply = unit.Hear(ProgramRequest(0x0880, Bytes(128, 0)));
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->hangUp);
  EXPECT_EQ(unit.Memory().Content()[0x0800], 0x00);
  EXPECT_EQ(unit.Memory().Content()[0x0880], 0xFF);
}

TEST(UnitSimRobustness, SurvivesRandomBytesInBothModes) {
  UnitOnLine unit;
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> length(1, 300);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 2; ++round) {
    for (int chunk = 0; chunk < 400; ++chunk) {
      Bytes junk(static_cast<std::size_t>(length(random)));
      for (uint8_t& value : junk)
        value = static_cast<uint8_t>(chunk % 7 == 0 ? 0x10 : byte(random));
      if (unit.Hear(junk)) unit.Unit().ReplyDone();
      if (chunk % 50 == 0 && unit.Unit().Silence()) unit.Unit().ReplyDone();
    }
    // Whatever the junk did, a good request after a silence is still answered.
    if (unit.Unit().Silence()) unit.Unit().ReplyDone();
    const bool boot = unit.Unit().InBootLoader();
    EXPECT_TRUE(unit.Send(boot ? BootRequest(8, 4) : Request(19, 3, 20, 2))) << round;
    if (!boot) EnterBootLoader(unit);
  }
}
