#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "OtherHolders.h"
#include "comms/SerialDevice.h"
#include "support/ProcessUsage.h"
#include "support/PseudoTerminal.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using OpenResult = SerialDevice::OpenResult;

constexpr auto Generous = 10s;

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 3);
  return bytes;
}

int PendingInput(int fd) {
  int count = 0;
  return ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

// Waits until the port has exactly n unread bytes.
bool WaitForPendingInput(int fd, int n) {
  const auto deadline = std::chrono::steady_clock::now() + Generous;
  while (PendingInput(fd) != n) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

// Reads n bytes the peer sent from the port, or fewer when the limit passes.
Bytes ReadFromPort(int fd, std::size_t n) {
  Bytes received;
  const auto deadline = std::chrono::steady_clock::now() + Generous;
  while (received.size() < n && std::chrono::steady_clock::now() < deadline) {
    pollfd port{fd, POLLIN, 0};
    if (poll(&port, 1, 100) <= 0) continue;
    uint8_t buffer[512];
    const ssize_t got = read(fd, buffer, std::min(sizeof buffer, n - received.size()));
    if (got > 0) received.insert(received.end(), buffer, buffer + got);
  }
  return received;
}

class SerialDeviceTest : public testing::Test {
 protected:
  void OpenAt(uint32_t baudRate) {
    ASSERT_EQ(device.Open(pty.SlavePath()), OpenResult::Opened);
    device.Configure(LineSettings{baudRate});
  }

  // Lets a user who is not root open the slave, so that only the
  // exclusive flag can refuse it.
  void AllowEveryUser() { ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0666), 0); }

  PseudoTerminal pty;
  SerialDevice device;
};

class SerialDeviceSpeedTest : public SerialDeviceTest,
                              public testing::WithParamInterface<uint32_t> {};

TEST_P(SerialDeviceSpeedTest, LineSpeedTakesEffectAndReadsBack) {
  OpenAt(GetParam());
  EXPECT_EQ(pty.SlaveBaudRate(), GetParam());
  EXPECT_EQ(device.CurrentSettings().BaudRate, GetParam());
}

INSTANTIATE_TEST_SUITE_P(SerialDevice, SerialDeviceSpeedTest,
                         testing::Values(9600u, 115200u, 92160u, 800000u),
                         [](const testing::TestParamInfo<uint32_t>& info) {
                           return "Baud" + std::to_string(info.param);
                         });

TEST_F(SerialDeviceTest, ConfigureSetsRawModeWithoutFlowControlAndIgnoresBreaks) {
  termios cooked = pty.SlaveTermios();
  cooked.c_iflag |= IXON | IXOFF | IXANY | ICRNL | INPCK | PARMRK | IGNPAR | BRKINT;
  cooked.c_iflag &= ~IGNBRK;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  cooked.c_cflag |= CRTSCTS;
  cooked.c_cflag &= ~CLOCAL;
  cooked.c_cc[VMIN] = 0;
  cooked.c_cc[VTIME] = 5;
  ASSERT_EQ(tcsetattr(pty.MasterFd(), TCSANOW, &cooked), 0);

  OpenAt(115200);

  const termios line = pty.SlaveTermios();
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | IXANY | ICRNL | INPCK | PARMRK | IGNPAR | BRKINT), 0u);
  EXPECT_EQ(line.c_iflag & IGNBRK, tcflag_t{IGNBRK});
  EXPECT_EQ(line.c_oflag & OPOST, 0u);
  EXPECT_EQ(line.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
  EXPECT_EQ(line.c_cc[VMIN], 1);
  EXPECT_EQ(line.c_cc[VTIME], 0);
}

TEST_F(SerialDeviceTest, EveryByteValuePassesUnchangedBothWays) {
  OpenAt(115200);
  Bytes everyValue(256);
  for (std::size_t i = 0; i < everyValue.size(); ++i) everyValue[i] = static_cast<uint8_t>(i);

  ASSERT_TRUE(device.Write(everyValue));
  EXPECT_EQ(pty.ReadExactly(everyValue.size(), Generous), everyValue);

  pty.Write(everyValue);
  EXPECT_EQ(ReadFromPort(device.Descriptor(), everyValue.size()), everyValue);
  EXPECT_EQ(pty.ReadAvailable(50ms, 50ms), Bytes{}) << "nothing is echoed";
}

TEST_F(SerialDeviceTest, StopBitsSetTheTwoStopBitFlag) {
  struct Row {
    TStopBits asked;
    bool twoStopBits;
  };
  // termios has no 1.5 stop bits; two are the closest.
  for (const Row row : {Row{TStopBits::sb2, true}, Row{TStopBits::sb1, false},
                        Row{TStopBits::sb1_5, true}, Row{TStopBits::sb1, false}}) {
    SCOPED_TRACE(static_cast<int>(row.asked));
    SerialDevice port;
    ASSERT_EQ(port.Open(pty.SlavePath()), OpenResult::Opened);
    port.Configure(LineSettings{9600, 8, TParity::None, row.asked});
    EXPECT_EQ((pty.SlaveTermios().c_cflag & CSTOPB) != 0, row.twoStopBits);
    EXPECT_EQ(port.CurrentSettings().StopBits, row.twoStopBits ? TStopBits::sb2 : TStopBits::sb1);
  }
}

// A pseudo-terminal always clears PARENB and reports 8 data bits, but keeps
// the odd and stick parity flags the program asked for.
TEST_F(SerialDeviceTest, ParityAsksForTheOddAndStickFlags) {
  struct Row {
    TParity asked;
    tcflag_t flags;
  };
  for (const Row row :
       {Row{TParity::Mark, CMSPAR | PARODD}, Row{TParity::None, 0}, Row{TParity::Odd, PARODD},
        Row{TParity::Space, CMSPAR}, Row{TParity::Even, 0}}) {
    SCOPED_TRACE(static_cast<int>(row.asked));
    SerialDevice port;
    ASSERT_EQ(port.Open(pty.SlavePath()), OpenResult::Opened);
    port.Configure(LineSettings{9600, 8, row.asked});
    EXPECT_EQ(pty.SlaveTermios().c_cflag & (CMSPAR | PARODD), row.flags);
  }
}

TEST_F(SerialDeviceTest, RejectedDataBitsKeepTheDriversAndTheRestStillApplies) {
  ASSERT_EQ(device.Open(pty.SlavePath()), OpenResult::Opened);
  device.Configure(LineSettings{92160, 9, TParity::None, TStopBits::sb2});

  const LineSettings now = device.CurrentSettings();
  EXPECT_EQ(now.DataBits, 8);
  EXPECT_EQ(now.BaudRate, 92160u);
  EXPECT_EQ(now.StopBits, TStopBits::sb2);
  EXPECT_EQ(pty.SlaveTermios().c_lflag & ICANON, 0u);
}

TEST_F(SerialDeviceTest, SecondOpenRefusedWhileHeldAndAllowedAfterClose) {
  OpenAt(115200);
  const std::size_t descriptors = OpenDescriptorCount();

  SerialDevice other;
  EXPECT_EQ(other.Open(pty.SlavePath()), OpenResult::Unavailable);
  EXPECT_FALSE(other.IsOpen());
  EXPECT_EQ(OpenDescriptorCount(), descriptors);

  device.Close();
  device.Close();
  EXPECT_FALSE(device.IsOpen());
  EXPECT_EQ(other.Open(pty.SlavePath()), OpenResult::Opened);
}

TEST_F(SerialDeviceTest, OpenWhileOpenKeepsThePort) {
  OpenAt(115200);
  const int fd = device.Descriptor();

  EXPECT_EQ(device.Open(pty.SlavePath()), OpenResult::Unavailable);
  EXPECT_EQ(device.Descriptor(), fd);
  ASSERT_TRUE(device.Write(Bytes{0x55}));
  EXPECT_EQ(pty.ReadExactly(1, Generous), Bytes{0x55});
}

TEST_F(SerialDeviceTest, AnotherDescriptorCannotTakeTheLockWhileHeld) {
  const OtherDescriptor other(pty.SlavePath());
  ASSERT_GE(other.Get(), 0);
  OpenAt(115200);

  errno = 0;
  EXPECT_EQ(flock(other.Get(), LOCK_EX | LOCK_NB), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);

  device.Close();
  EXPECT_EQ(flock(other.Get(), LOCK_EX | LOCK_NB), 0);
}

TEST_F(SerialDeviceTest, UserWhoIsNotRootCannotOpenItWhileHeld) {
  AllowEveryUser();
  const int before = OpenErrorForUserWhoIsNotRoot(pty.SlavePath());
  if (before == CannotDropRoot) GTEST_SKIP() << "no user who is not root can be taken here";
  ASSERT_EQ(before, 0) << "the slave must open while nobody holds it";

  OpenAt(115200);
  EXPECT_EQ(OpenErrorForUserWhoIsNotRoot(pty.SlavePath()), EBUSY);

  device.Close();
  EXPECT_EQ(OpenErrorForUserWhoIsNotRoot(pty.SlavePath()), 0) << "Close clears the flag";
}

TEST_F(SerialDeviceTest, ReopenAtAnotherSpeedIsExclusiveAgain) {
  AllowEveryUser();
  const OtherDescriptor other(pty.SlavePath());
  ASSERT_GE(other.Get(), 0);
  OpenAt(115200);
  device.Close();
  OpenAt(9600);

  EXPECT_EQ(pty.SlaveBaudRate(), 9600u);
  SerialDevice second;
  EXPECT_EQ(second.Open(pty.SlavePath()), OpenResult::Unavailable);
  errno = 0;
  EXPECT_EQ(flock(other.Get(), LOCK_EX | LOCK_NB), -1);
  EXPECT_EQ(errno, EWOULDBLOCK);
  const int error = OpenErrorForUserWhoIsNotRoot(pty.SlavePath());
  if (error != CannotDropRoot) {
    EXPECT_EQ(error, EBUSY);
  }
}

TEST_F(SerialDeviceTest, UserWhoIsNotRootCanCloseAndReopenAtANewSpeed) {
  AllowEveryUser();
  const std::string path = pty.SlavePath();
  enum Step { Reopened, FirstOpenFailed, NotExclusive, ReopenFailed, SpeedNotSet };
  const int step = RunAsUserWhoIsNotRoot([&path] {
    SerialDevice port;
    if (port.Open(path) != OpenResult::Opened) return FirstOpenFailed;
    port.Configure(LineSettings{115200});
    const int second = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (second >= 0 || errno != EBUSY) return NotExclusive;
    port.Close();
    if (port.Open(path) != OpenResult::Opened) return ReopenFailed;
    port.Configure(LineSettings{9600});
    return port.CurrentSettings().BaudRate == 9600 ? Reopened : SpeedNotSet;
  });
  if (step == CannotDropRoot) GTEST_SKIP() << "no user who is not root can be taken here";
  EXPECT_EQ(step, Reopened);
  EXPECT_EQ(pty.SlaveBaudRate(), 9600u);
}

TEST(SerialDevicePaths, OpenRefusesWhatIsNoSerialDevice) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string base = folder.path().toStdString();
  const std::string file = base + "/file";
  const std::string fifo = base + "/fifo";
  const std::string dangling = base + "/dangling";
  {
    QFile regular(QString::fromStdString(file));
    ASSERT_TRUE(regular.open(QIODevice::WriteOnly));
  }
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(symlink((base + "/nowhere").c_str(), dangling.c_str()), 0);

  struct Row {
    std::string path;
    OpenResult expected;
  };
  for (const Row& row :
       {Row{file, OpenResult::NotACharacterDevice}, Row{fifo, OpenResult::NotACharacterDevice},
        Row{base, OpenResult::Unavailable}, Row{dangling, OpenResult::Unavailable},
        Row{base + "/missing", OpenResult::Unavailable}, Row{"", OpenResult::Unavailable}}) {
    SCOPED_TRACE(row.path);
    const std::size_t descriptors = OpenDescriptorCount();
    SerialDevice device;
    EXPECT_EQ(device.Open(row.path), row.expected);
    EXPECT_FALSE(device.IsOpen());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_FALSE(device.Write(Bytes{0x01}));
  }
}

TEST(SerialDevicePaths, OpensThroughASymbolicLink) {
  PseudoTerminal pty;
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string link = folder.path().toStdString() + "/by-id";
  ASSERT_EQ(symlink(pty.SlavePath().c_str(), link.c_str()), 0);

  SerialDevice device;
  EXPECT_EQ(device.Open(link), OpenResult::Opened);
}

TEST_F(SerialDeviceTest, WriteDeliversEveryByte) {
  OpenAt(115200);
  const Bytes frame = Pattern(300);
  ASSERT_TRUE(device.Write(frame));
  EXPECT_EQ(pty.ReadExactly(frame.size(), Generous), frame);
}

TEST_F(SerialDeviceTest, WriteLargerThanTheDriverBufferWaitsForTheReader) {
  OpenAt(115200);
  const Bytes image = Pattern(300000);
  Bytes received;
  std::thread peer([&] { received = pty.ReadExactly(image.size(), 3 * Generous); });
  EXPECT_TRUE(device.Write(image));
  peer.join();
  EXPECT_EQ(received, image);
}

TEST_F(SerialDeviceTest, WriteFailsOnceThePeerHungUpOrThePortIsClosed) {
  OpenAt(115200);
  pty.CloseMaster();
  EXPECT_FALSE(device.Write(Pattern(8)));

  device.Close();
  EXPECT_FALSE(device.Write(Pattern(8)));
}

TEST_F(SerialDeviceTest, PurgeDropsUnreadInput) {
  OpenAt(115200);
  pty.Write(Bytes{1, 2, 3});
  ASSERT_TRUE(WaitForPendingInput(device.Descriptor(), 3));

  device.Purge();
  EXPECT_EQ(PendingInput(device.Descriptor()), 0);

  pty.Write(Bytes{4, 5});
  EXPECT_EQ(ReadFromPort(device.Descriptor(), 2), (Bytes{4, 5}));
}

}  // namespace
