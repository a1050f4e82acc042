#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "LineClient.h"
#include "LineSettings.h"
#include "ReplyShaping.h"
#include "TestFrames.h"
#include "UnitSimChild.h"

using testframes::BootRequest;
using testframes::Bytes;
using testframes::Request;
using namespace std::chrono_literals;

namespace {

constexpr auto Limit = 10s;

std::string ScratchFile(const std::string& name) {
  return testing::TempDir() + "unitsim-" + std::to_string(getpid()) + "-" + name;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The body of a boot reply read from the line, checked for doubling and checksum.
Bytes BootReply(LineClient& client) {
  const Bytes reply = client.ReadUntil(BootFrameArrived, Limit);
  const std::optional<Bytes> body = testframes::BootBody(reply);
  EXPECT_TRUE(body) << "not one frame with doubled DLE bytes";
  if (!body) return {};
  EXPECT_EQ(testframes::Sum(*body), 0);
  return *body;
}

int RunUnitSim(const std::string& arguments) {
  const int status = std::system((std::string(UNIT_SIM_PATH) + " " + arguments).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct KindCase {
  std::vector<std::string> options;
  std::vector<Bytes> requests;
  uint32_t firmwareSpeed;
  uint32_t bootSpeed;
  char kind;
};

void PrintTo(const KindCase& entry, std::ostream* out) {
  *out << "kind " << entry.kind;
}

class UnitSimOverLineEntry : public testing::TestWithParam<KindCase> {};

}  // namespace

TEST_P(UnitSimOverLineEntry, MovesTheUnitToItsBootLoaderSpeed) {
  const KindCase& entry = GetParam();
  UnitSimChild sim(entry.options);
  LineClient client(sim.Path(), entry.firmwareSpeed);
  for (const Bytes& request : entry.requests) {
    client.Send(request);
    if (request[0] != 0) {
      EXPECT_EQ(client.ReadUntil(BytesArrived(request.size()), Limit), request);
    } else {
      // Heard before the line changes speed.
      ASSERT_TRUE(sim.WaitForLine(" 00 06 00 9C"));
    }
  }
  client.SetSpeed(entry.bootSpeed);
  client.Send(BootRequest(8, 4));
  EXPECT_EQ(BootReply(client).size(), 7u);
  EXPECT_TRUE(sim.WaitForLine(std::string("boot-entry ") + entry.kind + " " +
                              std::to_string(entry.bootSpeed)));
}

INSTANTIATE_TEST_SUITE_P(EveryKind, UnitSimOverLineEntry,
                         testing::Values(KindCase{{"--model", "1101", "--entry-request", "second"},
                                                  {Request(1, 6, 156, testframes::BootEntryKey),
                                                   Request(0, 6, 156, testframes::BootEntryKey)},
                                                  9600,
                                                  115200,
                                                  'A'},
                                         KindCase{{"--model", "1103"},
                                                  {Request(19, 103, 29, testframes::BootEntryKey)},
                                                  9600,
                                                  115200,
                                                  'B'},
                                         KindCase{{"--model", "1120"},
                                                  {Request(242, 6, 13, testframes::BootEntryKey)},
                                                  9600,
                                                  115200,
                                                  'C'},
                                         KindCase{{"--model", "2000"},
                                                  {Request(1, 103, 8, testframes::BootEntryKey)},
                                                  9600,
                                                  115200,
                                                  'D'},
                                         KindCase{{"--model", "1121"},
                                                  {Request(1, 103, 8, testframes::BootEntryKey),
                                                   Request(2, 103, 5, testframes::BootEntryKey)},
                                                  800000,
                                                  92160,
                                                  'E'},
                                         KindCase{{"--model", "1122"}, {}, 9600, 115200, 'F'},
                                         KindCase{{"--slave-address", "42"},
                                                  {Request(42, 103, 151, testframes::BootEntryKey)},
                                                  9600,
                                                  115200,
                                                  'G'},
                                         KindCase{{"--model", "3001"},
                                                  {Request(1, 103, 2, testframes::BootEntryKey)},
                                                  9600,
                                                  115200,
                                                  'H'}),
                         [](const testing::TestParamInfo<KindCase>& info) {
                           return std::string("Kind") + info.param.kind;
                         });

TEST(UnitSimOverLine, ErasesProgramsAndRestartsOverTheLine) {
  const std::string memoryOut = ScratchFile("commands.bin");
  UnitSimChild sim({"--memory-out", memoryOut, "--new-version", "2111"});
  LineClient client(sim.Path(), 9600);
  client.Send(Request(1, 103, 151, testframes::BootEntryKey));
  ASSERT_EQ(client.ReadUntil(BytesArrived(8), Limit).size(), 8u);
  client.SetSpeed(115200);

  client.Send(BootRequest(3, 8, testframes::Address(0x1000)));
  EXPECT_EQ(BootReply(client), (Bytes{3, 8, 0x00, 0x10, 0, 0, 0, 0, 0, 0, 0xE5}));
  Bytes row(128, 0x5A);
  row[0] = 0x10;
  row[1] = 0x03;
  Bytes data = testframes::Address(0x1000);
  data.insert(data.end(), row.begin(), row.end());
  client.Send(BootRequest(2, 2, data));
  EXPECT_EQ(BootReply(client), (Bytes{2, 2, 0x00, 0x10, 0xEC}));
  sim.Signal(SIGUSR1);
  ASSERT_TRUE(sim.WaitForLine("memory-out"));
  const Bytes memory = ReadFile(memoryOut);
  ASSERT_EQ(memory.size(), 0x10000u);
  EXPECT_TRUE(std::equal(row.begin(), row.end(), memory.begin() + 0x1000));

  client.Send(BootRequest(5, 1, {0xFF, 0x03, 0x00, 0x00}));
  EXPECT_EQ(BootReply(client), (Bytes{5, 1, 0, 0xFA}));
  client.Send(BootRequest(0, 0));
  EXPECT_EQ(BootReply(client), (Bytes{0, 0, 0}));
  ASSERT_TRUE(sim.WaitForLine("restart 9600 version 2111"));
  client.SetSpeed(9600);
  client.Send(Request(19, 3, 21, 2));
  EXPECT_EQ(client.ReadUntil(BytesArrived(9), Limit),
            testframes::WithCrc({19, 3, 4, 0x08, 0x3F, 0xFF, 0xFF}));
  EXPECT_EQ(sim.Stop(), 0);
  std::remove(memoryOut.c_str());
}

TEST(UnitSimOverLine, TerminationWritesTheMemoryAndExitsZero) {
  const std::string memoryIn = ScratchFile("in.bin");
  const std::string memoryOut = ScratchFile("out.bin");
  const std::string transcript = ScratchFile("transcript.txt");
  Bytes pattern(0x10000);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(i * 7);
  std::ofstream(memoryIn, std::ios::binary)
      .write(reinterpret_cast<const char*>(pattern.data()),
             static_cast<std::streamsize>(pattern.size()));
  UnitSimChild sim(
      {"--memory-in", memoryIn, "--memory-out", memoryOut, "--transcript", transcript});
  LineClient client(sim.Path(), 9600);
  client.Send(Request(19, 3, 20, 1));
  EXPECT_EQ(client.ReadUntil(BytesArrived(7), Limit).size(), 7u);
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(ReadFile(memoryOut), pattern);
  const Bytes text = ReadFile(transcript);
  EXPECT_NE(std::string(text.begin(), text.end()).find("rx 9600 13 03 00 14 00 01"),
            std::string::npos);
  for (const std::string& path : {memoryIn, memoryOut, transcript}) std::remove(path.c_str());
}

TEST(UnitSimOverLine, HangUpLeavesTheLineButKeepsTheMemory) {
  const std::string memoryOut = ScratchFile("hangup.bin");
  UnitSimChild sim({"--memory-out", memoryOut, "--fault", "hangup:erase:2", "--model", "1103"});
  LineClient client(sim.Path(), 9600);
  client.Send(Request(19, 103, 29, testframes::BootEntryKey));
  ASSERT_EQ(client.ReadUntil(BytesArrived(8), Limit).size(), 8u);
  client.SetSpeed(115200);
  client.Send(BootRequest(3, 8, testframes::Address(0x0800)));
  BootReply(client);
  client.Send(BootRequest(3, 8, testframes::Address(0x0A00)));
  EXPECT_TRUE(client.SeesHangUp(Limit));
  EXPECT_TRUE(sim.WaitForLine("hangup"));
  EXPECT_TRUE(sim.Running());
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(ReadFile(memoryOut).size(), 0x10000u);
  std::remove(memoryOut.c_str());
}

TEST(UnitSimOverLine, LateReplyComesAfterTheTimeoutAndTheRetryIsNotHeard) {
  UnitSimChild sim({"--fault", "late:read:1", "--late-ms", "1500"});
  LineClient client(sim.Path(), 9600);
  client.Send(Request(19, 3, 20, 1));
  // It cannot come before the unit's 1500 ms have passed.
  EXPECT_TRUE(client.ReadFor(1000ms).empty());
  client.Send(Request(19, 3, 21, 1));
  EXPECT_EQ(client.ReadUntil(BytesArrived(7), Limit), testframes::WithCrc({19, 3, 2, 0x0F, 0xA1}));
  EXPECT_TRUE(sim.WaitForLine("busy 9600 13 03 00 15"));
}

TEST(UnitSimOverLine, SplitReplyArrivesWholeAfterItsGaps) {
  UnitSimChild sim({"--fault", "split:read:1"});
  LineClient client(sim.Path(), 9600);
  const auto start = std::chrono::steady_clock::now();
  client.Send(Request(19, 3, 20, 2));
  EXPECT_EQ(client.ReadUntil(BytesArrived(9), Limit),
            testframes::WithCrc({19, 3, 4, 0x0F, 0xA1, 0x08, 0x34}));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(UnitSimOverLine, FloodFollowsTheReplyAndTheUnitServesAgainAfterIt) {
  UnitSimChild sim({"--fault", "flood:read:1"});
  LineClient client(sim.Path(), 9600);
  const Bytes reply = testframes::WithCrc({19, 3, 4, 0x0F, 0xA1, 0x08, 0x34});
  client.Send(Request(19, 3, 20, 2));
  const Bytes line = client.ReadUntil(BytesArrived(reply.size() + unitsim::FloodBytes), Limit);
  ASSERT_EQ(line.size(), reply.size() + unitsim::FloodBytes);
  EXPECT_TRUE(std::equal(reply.begin(), reply.end(), line.begin()));
  EXPECT_TRUE(std::all_of(line.begin() + static_cast<std::ptrdiff_t>(reply.size()), line.end(),
                          [](uint8_t b) { return b == unitsim::FloodByte; }));
  client.Send(Request(19, 3, 20, 2));
  EXPECT_EQ(client.ReadUntil(BytesArrived(reply.size()), Limit), reply);
}

TEST(UnitSimOverLine, RepliesTakeTheLinesByteTime) {
  UnitSimChild sim({"--pace"});
  LineClient client(sim.Path(), 9600);
  const auto start = std::chrono::steady_clock::now();
  client.Send(Request(20, 3, 7, 22));
  // 49 bytes of 10 bits at 9600 bit/s: 51 ms.
  EXPECT_EQ(client.ReadUntil(BytesArrived(49), Limit).size(), 49u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(UnitSimOverLine, RepliesWaitForTheRequestsByteTime) {
  UnitSimChild sim({"--pace"});
  LineClient client(sim.Path(), 9600);
  const auto start = std::chrono::steady_clock::now();
  client.Send(testframes::WriteManyRequest(20, 7, std::vector<uint16_t>(22, 0x1234)));
  // A 53-byte request and an 8-byte reply of 10 bits a byte at 9600 bit/s: 63 ms.
  EXPECT_EQ(client.ReadUntil(BytesArrived(8), Limit).size(), 8u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 60ms);
  EXPECT_EQ(sim.Stop(), 0);
}

namespace {

// The seconds at the start of a timestamped transcript line.
double StampOf(const std::string& line) {
  std::size_t digits = 0;
  const double seconds = std::stod(line, &digits);
  EXPECT_EQ(line.find('.'), digits - 7) << "six decimals: " << line;
  EXPECT_EQ(line[digits], ' ') << line;
  return seconds;
}

double MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

TEST(UnitSimOverLine, TimestampsGiveWhenTheRequestArrivedAndTheReplyEnded) {
  UnitSimChild sim({"--pace", "--timestamps"});
  LineClient client(sim.Path(), 9600);
  const double before = MonotonicSeconds();
  client.Send(Request(19, 3, 20, 2));
  EXPECT_EQ(client.ReadUntil(BytesArrived(9), Limit).size(), 9u);
  // The unit notes "sent" when its drain returns, which on a loaded machine
  // can be after this side has read the reply.
  ASSERT_TRUE(sim.WaitForLine(" sent"));
  const double after = MonotonicSeconds();
  std::optional<double> heard;
  std::optional<double> sent;
  for (const std::string& line : sim.Lines()) {
    const double stamp = StampOf(line);
    if (line.find(" rx 9600 13 03 00 14 00 02") != std::string::npos) heard = stamp;
    if (line.ends_with(" sent")) sent = stamp;
  }
  ASSERT_TRUE(heard && sent);
  EXPECT_GE(*heard, before);
  EXPECT_LE(*sent, after);
  // 8 request and 9 reply bytes at 9600 bit/s: 17.7 ms.
  EXPECT_GE(*sent - *heard, 0.017);
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(UnitSimOverLine, RandomBytesAtAnySpeedLeaveItServing) {
  UnitSimChild sim({});
  LineClient client(sim.Path(), 9600);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(0, 255);
  for (const uint32_t speed : {9600u, 115200u, 9600u}) {
    client.SetSpeed(speed);
    Bytes junk(20000);
    for (uint8_t& value : junk) value = static_cast<uint8_t>(byte(random));
    client.Send(junk);
    client.ReadFor(200ms);
  }
  client.Send(Request(19, 3, 20, 1));
  const Bytes expected = testframes::WithCrc({19, 3, 2, 0x0F, 0xA1});
  const Bytes reply = client.ReadUntil(
      [&](const Bytes& bytes) {
        return std::search(bytes.begin(), bytes.end(), expected.begin(), expected.end()) !=
               bytes.end();
      },
      Limit);
  EXPECT_NE(std::search(reply.begin(), reply.end(), expected.begin(), expected.end()), reply.end());
  EXPECT_TRUE(sim.Running());
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(UnitSimOverLine, ReopeningThePortIsNoHangUp) {
  UnitSimChild sim({});
  for (const uint32_t speed : {9600u, 115200u, 9600u}) {
    LineClient client(sim.Path(), speed);
    client.Send(Request(19, 3, 20, 1));
    if (speed == 9600) {
      EXPECT_EQ(client.ReadUntil(BytesArrived(7), Limit).size(), 7u);
    } else {
      // Heard before the port closes and reopens at another speed.
      ASSERT_TRUE(sim.WaitForLine("ignored 115200"));
    }
  }
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_FALSE(sim.HasLine("hang-up"));
}

TEST(UnitSimOverLine, ServesADeviceAndSetsItsSpeedItself) {
  unitsim::Descriptor master(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  ASSERT_TRUE(master.Valid());
  ASSERT_EQ(grantpt(master.Get()), 0);
  ASSERT_EQ(unlockpt(master.Get()), 0);
  std::array<char, 64> name{};
  ASSERT_EQ(ptsname_r(master.Get(), name.data(), name.size()), 0);
  const std::string device = name.data();
  const int masterFd = master.Get();
  LineClient line(std::move(master));
  UnitSimChild sim({"--device", device});
  EXPECT_EQ(sim.Path(), device);
  EXPECT_EQ(unitsim::ReadLineSettings(masterFd).c_ospeed, 9600u);
  line.Send(Request(1, 103, 151, testframes::BootEntryKey));
  EXPECT_EQ(line.ReadUntil(BytesArrived(8), Limit), Request(1, 103, 151, testframes::BootEntryKey));
  const auto end = std::chrono::steady_clock::now() + Limit;
  while (unitsim::ReadLineSettings(masterFd).c_ospeed != 115200 &&
         std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(unitsim::ReadLineSettings(masterFd).c_ospeed, 115200u);
  line.Send(BootRequest(0, 2));
  EXPECT_EQ(BootReply(line), (Bytes{0, 2, 0x0F, 0xA1, 0x4E}));
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(UnitSimOverLine, ExitsWithStatusesThatSayWhatWentWrong) {
  EXPECT_EQ(RunUnitSim("--help >/dev/null"), 0);
  EXPECT_EQ(RunUnitSim("--modle 1 2>/dev/null"), 2);
  EXPECT_EQ(RunUnitSim("--device /nonexistent/tty 2>/dev/null"), 1);
}
