#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <array>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include "comms/KovaComms.h"
#include "comms/RxCondition.h"
#include "comms/SerialDevice.h"
#include "support/ProcessUsage.h"
#include "support/PseudoTerminal.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

const Bytes Request = {0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4};
const Bytes Reply = {0x01, 0x06, 0x00, 0x10, 0x00, 0x64, 0x89, 0xE4};
const Bytes ExceptionReply = {0x01, 0x86, 0x02, 0xC3, 0xA1};

// The two reply kinds of a Modbus register write to slave 1.
void AddWriteReplyItems(TRxCondition& condition) {
  const std::array<uint8_t, 1> slave{0x01};
  const std::array<uint8_t, 1> function{0x06};
  const std::array<uint8_t, 1> exception{0x86};
  condition.AddItem(1, slave, false, 1, function, false, 0, 1, 7);
  condition.AddItem(1, slave, false, 1, exception, false, 0, 1, 4);
}

class KovaCommsTest : public testing::Test {
 protected:
  KovaCommsTest()
      : link([this](int comNumber) { return comNumber == 1 ? pty.SlavePath() : missingPath; }) {
    pty.KeepSlaveOpen();
    link.BaudRate = 115200;
    link.RxBufferSize = 500;
    AddWriteReplyItems(condition);
  }

  // Attaches the condition set and sends the request, as every caller does.
  void StartRequest(uint16_t timeoutTicks) {
    link.SetRxCondition(condition);
    link.ResetRxMatch();
    ASSERT_TRUE(link.SendData(Request, timeoutTicks));
    EXPECT_EQ(pty.ReadExactly(Request.size(), 10s), Request);
  }

  // Runs fn on the UI thread after delay, from inside the wait.
  static void Later(std::chrono::milliseconds delay, std::function<void()> fn) {
    QTimer::singleShot(delay, std::move(fn));
  }

  PseudoTerminal pty;
  std::string missingPath = "/dev/no-such-serial-device";
  TKovaComms link;
  TRxCondition condition;
};

TEST_F(KovaCommsTest, CompletedReplyGivesItsItemNumberAndItsBytes) {
  ASSERT_TRUE(link.Open());
  StartRequest(20);
  pty.Write(Reply);
  EXPECT_EQ(link.WaitForResult(), 1);
  std::array<uint8_t, 501> message{};
  ASSERT_EQ(link.GetRxMessage(1, message, 500, 0, -1, -1), Reply.size());
  EXPECT_TRUE(std::equal(Reply.begin(), Reply.end(), message.begin()));
  EXPECT_EQ(message[Reply.size()], 0);
  // The outcome stays until the next SendData.
  EXPECT_EQ(link.WaitForResult(), 1);
}

TEST_F(KovaCommsTest, ExceptionReplyGivesItemTwo) {
  ASSERT_TRUE(link.Open());
  StartRequest(20);
  pty.Write(ExceptionReply);
  EXPECT_EQ(link.WaitForResult(), 2);
}

TEST_F(KovaCommsTest, ReplySplitIntoPiecesWithGapsIsStillMatched) {
  ASSERT_TRUE(link.Open());
  int chunks = 0;
  link.OnReceiveData = [&chunks](std::span<const uint8_t>) { ++chunks; };
  StartRequest(30);
  Later(50ms, [this] { pty.Write(Bytes(Reply.begin(), Reply.begin() + 3)); });
  Later(150ms, [this] { pty.Write(Bytes(Reply.begin() + 3, Reply.end())); });
  EXPECT_EQ(link.WaitForResult(), 1);
  EXPECT_EQ(chunks, 2);
}

TEST_F(KovaCommsTest, TheEchoIsTakenOutBeforeTheConditionsAndADamagedOneFailsTheExchange) {
  struct Piece {
    std::chrono::milliseconds at;
    Bytes bytes;
  };
  struct Case {
    const char* what;
    EchoMode mode;
    bool tells;  // the request's reply can tell whether the line echoes
    std::vector<Piece> pieces;
    uint16_t ticks;
    int32_t result;
    std::size_t passedOn;  // bytes the conditions saw
    bool lineEchoes;
  };
  Bytes damaged = Request;
  damaged[3] ^= 0xFF;
  const Bytes firstHalf(Request.begin(), Request.begin() + 4);
  const Bytes secondHalf(Request.begin() + 4, Request.end());
  Bytes echoAndReply = Request;
  echoAndReply.insert(echoAndReply.end(), Reply.begin(), Reply.end());
  Bytes damagedAndReply = damaged;
  damagedAndReply.insert(damagedAndReply.end(), Reply.begin(), Reply.end());
  const Case cases[] = {
      {"echo in two pieces, then the reply",
       EchoMode::On,
       false,
       {{50ms, firstHalf}, {150ms, secondHalf}, {250ms, Reply}},
       30,
       1,
       Reply.size(),
       true},
      {"echo and reply in one chunk",
       EchoMode::On,
       false,
       {{50ms, echoAndReply}},
       30,
       1,
       Reply.size(),
       true},
      {"a damaged echo, then the reply: ended by the reply, never a success",
       EchoMode::On,
       false,
       {{50ms, damagedAndReply}},
       0xFFFF,
       -1,
       Reply.size(),
       true},
      {"half an echo, then nothing", EchoMode::On, false, {{50ms, firstHalf}}, 5, -1, 0, true},
      {"found: a telling request gets only its echo",
       EchoMode::Auto,
       true,
       {{50ms, Request}},
       5,
       0,
       0,
       true},
      {"a plain line: the reply passes as it came",
       EchoMode::Auto,
       true,
       {{50ms, ExceptionReply}},
       30,
       2,
       ExceptionReply.size(),
       false},
      {"a request that cannot tell is never taken for an echo",
       EchoMode::Auto,
       false,
       {{50ms, Reply}},
       30,
       1,
       Reply.size(),
       false},
      {"off: the echo passes as it came and is taken for the reply",
       EchoMode::Off,
       true,
       {{50ms, Request}},
       30,
       1,
       Request.size(),
       false},
  };
  ASSERT_TRUE(link.Open());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    link.SetEchoMode(c.mode);
    std::size_t passedOn = 0;
    link.OnReceiveData = [&passedOn](std::span<const uint8_t> bytes) { passedOn += bytes.size(); };
    if (c.tells) link.NextReplyTellsEcho();
    StartRequest(c.ticks);
    for (const Piece& piece : c.pieces) {
      Later(piece.at, [this, bytes = piece.bytes] { pty.Write(bytes); });
    }
    EXPECT_EQ(link.WaitForResult(), c.result);
    EXPECT_EQ(passedOn, c.passedOn);
    EXPECT_EQ(link.Echo().LineEchoes(), c.lineEchoes);
    if (c.result == 1) {
      std::array<uint8_t, 501> message{};
      EXPECT_EQ(link.GetRxMessage(1, message, 500, 0, -1, -1), Reply.size());
    }
  }
  EXPECT_TRUE(link.Echo().EchoSeenWhileOff());
}

// The answer is taken once: after a telling request's sound reply without
// echo, a later reply that happens to begin with its request is a reply like
// any other.
TEST_F(KovaCommsTest, ALineFoundNotToEchoIsNotLookedAtAgain) {
  ASSERT_TRUE(link.Open());
  link.SetEchoMode(EchoMode::Auto);
  Bytes otherReply = Reply;
  otherReply[5] ^= 0x01;
  for (const Bytes& answer : {otherReply, Reply}) {
    link.NextReplyTellsEcho();
    StartRequest(30);
    Later(50ms, [this, answer] { pty.Write(answer); });
    EXPECT_EQ(link.WaitForResult(), 1);
    // As the Modbus layer says once the reply's check is right.
    link.SoundReplyCame();
  }
  EXPECT_FALSE(link.Echo().LineEchoes());
  EXPECT_EQ(link.Echo().IntactEchoes(), 0u);
}

TEST_F(KovaCommsTest, NoReplyTimesOutAfterTheTicksPlusOne) {
  ASSERT_TRUE(link.Open());
  for (uint16_t ticks : {uint16_t{0}, uint16_t{10}}) {
    const auto start = std::chrono::steady_clock::now();
    StartRequest(ticks);
    EXPECT_EQ(link.WaitForResult(), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, (ticks + 1) * 100ms - 20ms);
    EXPECT_EQ(link.WaitForResult(), 0);
  }
}

TEST_F(KovaCommsTest, TimeoutOfAllOnesNeverExpires) {
  ASSERT_TRUE(link.Open());
  StartRequest(0xFFFF);
  // Any finite count up to 25 ticks would have expired before this reply.
  Later(2700ms, [this] { pty.Write(Reply); });
  EXPECT_EQ(link.WaitForResult(), 1);
}

TEST_F(KovaCommsTest, CloseDuringAWaitEndsItWithMinusOne) {
  ASSERT_TRUE(link.Open());
  StartRequest(50);
  Later(100ms, [this] { link.Close(); });
  EXPECT_EQ(link.WaitForResult(), -1);
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(KovaCommsTest, SendingNeedsAnOpenPortAndClosingAClosedLinkEntersTheClosedState) {
  EXPECT_FALSE(link.SendData(Request, 20));
  ASSERT_TRUE(link.Open());
  link.Close();
  EXPECT_EQ(link.WaitForResult(), -1);
  EXPECT_FALSE(link.SendData(Request, 20));
  link.Close();
  EXPECT_EQ(link.WaitForResult(), -2);
  EXPECT_FALSE(link.SendData(Request, 20));
  ASSERT_TRUE(link.Open());
  StartRequest(20);
  pty.Write(Reply);
  EXPECT_EQ(link.WaitForResult(), 1);
}

TEST_F(KovaCommsTest, OpenRefusesASecondOpenAndWhatIsNoSerialDevice) {
  ASSERT_TRUE(link.Open());
  try {
    link.Open();
    ADD_FAILURE() << "second Open did not throw";
  } catch (const ECommsError& error) {
    EXPECT_STREQ(error.what(), "Already have a Comm File Open");
  }
  EXPECT_TRUE(link.IsOpen());
  link.Close();

  link.CommPort = 1;
  EXPECT_FALSE(link.Open());

  QTemporaryDir dir;
  missingPath = dir.filePath("plain-file").toStdString();
  QFile file(QString::fromStdString(missingPath));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  try {
    link.Open();
    ADD_FAILURE() << "a regular file was taken for a port";
  } catch (const ECommsError& error) {
    EXPECT_STREQ(error.what(), "File Handle is not a Comm Handle.");
  }
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(KovaCommsTest, LineSpeedIsSetAtEveryOpenAndThePortStaysExclusive) {
  for (uint32_t speed : {9600u, 115200u, 92160u, 800000u}) {
    link.BaudRate = speed;
    ASSERT_TRUE(link.Open()) << speed;
    EXPECT_EQ(pty.SlaveBaudRate(), speed);
    SerialDevice other;
    EXPECT_EQ(other.Open(pty.SlavePath()), SerialDevice::OpenResult::Unavailable) << speed;
    link.Close();
  }
}

TEST_F(KovaCommsTest, FullBufferKeepsItsFirstBytesAndOverwritesTheLastPosition) {
  link.RxBufferSize = 4;
  ASSERT_TRUE(link.Open());
  TRxCondition anyStart;
  const std::array<uint8_t, 1> start{0xAA};
  anyStart.AddItem(1, start, false, 0, {}, false, 0, 1, 0xFFFF);
  link.SetRxCondition(anyStart);
  link.ResetRxMatch();
  ASSERT_TRUE(link.SendData(Request, 5));
  pty.Write(Bytes{0xAA, 0x01, 0x02, 0x03, 0x04, 0x05});
  EXPECT_EQ(link.WaitForResult(), 0);
  std::array<uint8_t, 11> message{};
  ASSERT_EQ(link.GetRxMessage(1, message, 10, 0, -1, 10), 4);
  EXPECT_EQ(Bytes(message.begin(), message.begin() + 4), (Bytes{0xAA, 0x01, 0x02, 0x05}));
}

TEST_F(KovaCommsTest, EventModeReportsEveryMessageAndTheWaitSeesNone) {
  ASSERT_TRUE(link.Open());
  std::vector<int32_t> reported;
  link.OnReceiveMsg = [&reported](int32_t condnum) { reported.push_back(condnum); };
  StartRequest(5);
  Bytes twoMessages = Reply;
  twoMessages.insert(twoMessages.end(), ExceptionReply.begin(), ExceptionReply.end());
  pty.Write(twoMessages);
  const QDeadlineTimer deadline(10000);
  while (reported.size() < 2 && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_EQ(reported, (std::vector<int32_t>{1, 2}));
  // Each message stopped the reply timer, so only closing ends this wait.
  Later(200ms, [this] { link.Close(); });
  EXPECT_EQ(link.WaitForResult(), -1);
}

TEST_F(KovaCommsTest, ChunkLeftInTheQueueAtCloseIsOnlyReleased) {
  ASSERT_TRUE(link.Open());
  int chunks = 0;
  link.OnReceiveData = [&chunks](std::span<const uint8_t>) { ++chunks; };
  pty.Write(Reply);
  // Long enough for the receive thread to post the chunk; not handled yet.
  std::this_thread::sleep_for(200ms);
  link.Close();
  ASSERT_TRUE(link.Open());
  QCoreApplication::processEvents();
  EXPECT_EQ(chunks, 0);
}

TEST_F(KovaCommsTest, FloodAndNoiseBeforeTheReplyStillEndInTheReply) {
  ASSERT_TRUE(link.Open());
  StartRequest(30);
  Bytes noise(5000);
  for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 37) | 0x80);
  pty.Write(noise);
  std::this_thread::sleep_for(50ms);
  link.ResetRxMatch();
  link.ClearRxBuffer();
  pty.Write(Reply);
  EXPECT_EQ(link.WaitForResult(), 1);
}

}  // namespace

TEST(KovaCommsHangUp, PeerHangUpEndsInTimeoutsWithoutSpinning) {
  PseudoTerminal pty;
  TKovaComms link([&pty](int) { return pty.SlavePath(); });
  ASSERT_TRUE(link.Open());
  pty.CloseMaster();
  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(500ms);
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.4);
  TRxCondition condition;
  AddWriteReplyItems(condition);
  link.SetRxCondition(condition);
  link.ResetRxMatch();
  link.SendData(Request, 2);
  EXPECT_EQ(link.WaitForResult(), 0);
  link.Close();
}
