#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "OtherHolders.h"
#include "comms/KovaComms.h"
#include "comms/PortLockFile.h"
#include "comms/SerialDevice.h"
#include "support/ProcessUsage.h"
#include "support/PseudoTerminal.h"
#include "support/UnitSimProcess.h"

namespace {

using namespace std::chrono_literals;
using OpenResult = SerialDevice::OpenResult;

#ifndef TIOCGEXCL
constexpr unsigned long TIOCGEXCL = 0x80045440;
#endif

std::string LockFileOf(const PseudoTerminal& pty) {
  return "/var/lock/LCK..pts_" + pty.SlavePath().substr(pty.SlavePath().rfind('/') + 1);
}

bool LockFolderWritable() {
  return access("/var/lock/", W_OK) == 0;
}

void WriteLockFile(const std::string& lockFile, pid_t pid) {
  std::ofstream(lockFile) << "      " << pid << "\n";
}

bool ExclusiveFlagOn(const std::string& path) {
  const OtherDescriptor fd(path);
  int exclusive = 0;
  return ioctl(fd.Get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

// A descriptor of the port for a child process, which keeps it until it is
// killed.
int OpenInChild(const std::string& path) {
  return open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

// Opens the port, a terminal, and keeps it open without setting its flag or
// locking it.
bool OpensWithoutHolding(const std::string& path) {
  const int fd = OpenInChild(path);
  return fd >= 0 && isatty(fd) == 1;
}

// The outcome of the link's Open of path: the detail line, and the
// exception's message when it threw.
struct Refusal {
  bool opened = false;
  std::string detail;
  std::optional<std::string> error;
};

Refusal OpenThroughTheLink(const std::string& path) {
  TKovaComms link([&path](int) { return path; });
  Refusal refusal;
  try {
    refusal.opened = link.Open();
    refusal.detail = link.OpenFailureDetail();
  } catch (const ECommsError& error) {
    refusal.error = error.what();
    refusal.detail = error.Detail();
    EXPECT_EQ(link.OpenFailureDetail(), error.Detail());
  }
  return refusal;
}

TEST(PortRefusal, EveryCauseIsRefusedWithALineThatSaysWhich) {
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  const std::string base = folder.path().toStdString();
  ASSERT_EQ(mkfifo((base + "/fifo").c_str(), 0600), 0);
  ASSERT_EQ(symlink((base + "/nowhere").c_str(), (base + "/dangling").c_str()), 0);
  const std::string longPath = "/dev/" + std::string(5000, 'x');
  const std::string noTerminal = "; choose a serial port";

  struct Row {
    std::string path;
    bool throws;
    std::string detail;
  };
  const std::vector<Row> rows = {
      {base + "/missing", false,
       base +
           "/missing: no such device (not connected); plug the adapter in or choose another port"},
      {base + "/dangling", false, base + "/dangling: no such device (not connected)"},
      {base, false, base + ": not a serial device (a directory)" + noTerminal},
      {base + "/fifo", true, base + "/fifo: not a serial device (a FIFO)" + noTerminal},
      {"/dev/zero", true,
       "/dev/zero: not a serial device (a character device that is no terminal)" + noTerminal},
      {"/dev/null", true,
       "/dev/null: not a serial device (a character device that is no terminal)"},
      {longPath, false, longPath.substr(0, 100) + "...: File name too long"},
      {"", false, "COM1: no device (not connected)"},
  };
  const std::size_t descriptors = OpenDescriptorCount();
  const std::size_t threads = ThreadCount();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path.substr(0, 120));
    const Refusal refusal = OpenThroughTheLink(row.path);
    EXPECT_FALSE(refusal.opened);
    EXPECT_EQ(refusal.error.has_value(), row.throws);
    if (row.throws) {
      EXPECT_EQ(refusal.error.value_or(""), "File Handle is not a Comm Handle.");
    }
    EXPECT_EQ(refusal.detail.substr(0, row.detail.size()), row.detail) << refusal.detail;
    // Never opened as a line: nothing left open, no receive thread.
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ThreadCount(), threads);
  }
}

TEST(PortRefusal, PermissionDeniedTellsAUserWhoIsNotRootToJoinDialout) {
  PseudoTerminal pty;
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0600), 0);
  const std::string& path = pty.SlavePath();
  const int outcome = RunAsUserWhoIsNotRoot([&path] {
    SerialDevice device;
    if (device.Open(path) != OpenResult::Unavailable) return 1;
    const std::string expected =
        path + ": permission denied; add your user to the dialout group, then log in again";
    return DescribePortProblem(path, device.Problem()) == expected ? 0 : 2;
  });
  if (outcome == CannotDropRoot) GTEST_SKIP() << "no user who is not root can be taken here";
  EXPECT_EQ(outcome, 0);
}

TEST(PortRefusal, PortHeldThroughItsLockFileIsRefusedAndItsHolderNamed) {
  if (!LockFolderWritable()) GTEST_SKIP() << "/var/lock is not writable here";
  PseudoTerminal pty;
  const std::string lockFile = LockFileOf(pty);
  const ChildProcess holder("lockholder", [] { return true; });
  ASSERT_TRUE(holder.Ready());
  WriteLockFile(lockFile, holder.Pid());
  SerialDevice device;
  EXPECT_EQ(device.Open(pty.SlavePath()), OpenResult::Unavailable);
  EXPECT_EQ(DescribePortProblem(pty.SlavePath(), device.Problem()),
            pty.SlavePath() + ": in use by another program (lockholder, process " +
                std::to_string(holder.Pid()) + "); close it or choose another port");
  EXPECT_TRUE(QFile::exists(QString::fromStdString(lockFile))) << "another's lock stays";

  // A lock left by a process that has ended is not taken over while another
  // program has the port open (it may have it from that process): that
  // program is named.
  constexpr pid_t Ended = 4194304;
  {
    const ChildProcess opener("opener", [&pty] { return OpensWithoutHolding(pty.SlavePath()); });
    ASSERT_TRUE(opener.Ready());
    WriteLockFile(lockFile, Ended);
    EXPECT_EQ(device.Open(pty.SlavePath()), OpenResult::Unavailable);
    ASSERT_TRUE(device.Problem().Holder.has_value());
    EXPECT_EQ(device.Problem().Holder->Pid, opener.Pid());
    EXPECT_TRUE(QFile::exists(QString::fromStdString(lockFile)));
  }

  // Otherwise it holds nothing, nor does a lock naming this process: it is
  // never its own holder.
  for (const pid_t stale : {Ended, getpid()}) {
    WriteLockFile(lockFile, stale);
    testing::internal::CaptureStderr();
    EXPECT_EQ(device.Open(pty.SlavePath()), OpenResult::Opened);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              std::string(program_invocation_short_name) + ": " + pty.SlavePath() +
                  ": stale hold taken over: lock file " + lockFile + " left by process " +
                  std::to_string(stale) + " removed\n");
    device.Close();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(lockFile)));
  }
}

TEST(PortRefusal, AnotherProgramsExclusiveFlagRefusesEvenRootAndStaysSet) {
  PseudoTerminal pty;
  const std::string& path = pty.SlavePath();
  const ChildProcess flagger("flagger", [&path] {
    const int fd = OpenInChild(path);
    return fd >= 0 && ioctl(fd, TIOCEXCL) == 0;
  });
  ASSERT_TRUE(flagger.Ready());

  SerialDevice device;
  EXPECT_EQ(device.Open(path), OpenResult::Unavailable);
  ASSERT_TRUE(device.Problem().Holder.has_value());
  EXPECT_EQ(device.Problem().Holder->Pid, flagger.Pid()) << "the only other one with it open";
  EXPECT_TRUE(ExclusiveFlagOn(path)) << "a flag another program set is never cleared";

  // With two programs that have it open and neither lock, which one set the
  // flag cannot be told: no one is named.
  const ChildProcess opener("opener", [&path] { return OpensWithoutHolding(path); });
  ASSERT_TRUE(opener.Ready());
  EXPECT_EQ(device.Open(path), OpenResult::Unavailable);
  EXPECT_EQ(DescribePortProblem(path, device.Problem()),
            path + ": in use by another program; close it or choose another port");
  EXPECT_TRUE(ExclusiveFlagOn(path));
}

// The simulated unit holds the pseudo-terminal's master (and a slave
// descriptor, to keep the line up): it is the other end, never a holder.
TEST(PortRefusal, TheAdvisoryLockOwnerIsNamedAmongProgramsThatOnlyHaveThePortOpen) {
  UnitSimProcess unit;
  const std::string& path = unit.SlavePath();
  const ChildProcess before("opener", [&path] { return OpensWithoutHolding(path); });
  const ChildProcess locker("locker", [&path] {
    const int fd = OpenInChild(path);
    return fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
  });
  const ChildProcess after("opener", [&path] { return OpensWithoutHolding(path); });
  ASSERT_TRUE(before.Ready() && locker.Ready() && after.Ready());

  SerialDevice device;
  EXPECT_EQ(device.Open(path), OpenResult::Unavailable);
  EXPECT_EQ(DescribePortProblem(path, device.Problem()),
            path + ": in use by another program (locker, process " + std::to_string(locker.Pid()) +
                "); close it or choose another port");
}

TEST(StaleHold, AHolderKilledLeavesItsLockFileAndFlagAndTheNextOpenTakesThePort) {
  if (!LockFolderWritable()) GTEST_SKIP() << "/var/lock is not writable here";
  UnitSimProcess unit;
  const std::string& path = unit.SlavePath();
  const std::string lockFile = PortLockFile::PathFor(path);
  // The child's own copy of this device opens the port and stays open.
  SerialDevice held;
  ChildProcess holder("holder", [&] { return held.Open(path) == OpenResult::Opened; });
  ASSERT_TRUE(holder.Ready());
  const pid_t killed = holder.Pid();
  holder.Kill();
  ASSERT_TRUE(QFile::exists(QString::fromStdString(lockFile)));
  // The unit keeps the pseudo-terminal, and so the flag, alive.
  ASSERT_TRUE(ExclusiveFlagOn(path));

  SerialDevice device;
  testing::internal::CaptureStderr();
  const OpenResult result = device.Open(path);
  const std::string said = testing::internal::GetCapturedStderr();
  ASSERT_EQ(result, OpenResult::Opened) << DescribePortProblem(path, device.Problem());
  EXPECT_EQ(said, std::string(program_invocation_short_name) + ": " + path +
                      ": stale hold taken over: lock file " + lockFile + " left by process " +
                      std::to_string(killed) +
                      " removed; exclusive flag left set while no other program has the port "
                      "open\n");
  device.Close();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(lockFile)));
  EXPECT_FALSE(ExclusiveFlagOn(path));
}

TEST(PortRefusal, OurLockFileIsThereWhileThePortIsOpenAndGoneAfter) {
  if (!LockFolderWritable()) GTEST_SKIP() << "/var/lock is not writable here";
  PseudoTerminal pty;
  const std::string lockFile = LockFileOf(pty);
  {
    SerialDevice device;
    ASSERT_EQ(device.Open(pty.SlavePath()), OpenResult::Opened);
    long pid = 0;
    std::ifstream(lockFile) >> pid;
    EXPECT_EQ(pid, getpid());
    SerialDevice second;
    EXPECT_EQ(second.Open(pty.SlavePath()), OpenResult::Unavailable);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(lockFile))) << "a refused open keeps ours";
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(lockFile)));
}

// A closed pseudo-terminal's number goes to the next one opened at once, so
// our lock file must be gone before the port closes, or that one would be
// refused as ours. inotify reports the two in the order they happened.
TEST(PortRefusal, OurLockFileGoesBeforeThePortCloses) {
  if (!LockFolderWritable()) GTEST_SKIP() << "/var/lock is not writable here";
  PseudoTerminal pty;
  SerialDevice device;
  ASSERT_EQ(device.Open(pty.SlavePath()), OpenResult::Opened);
  // Its events are read without waiting.
  const OwnedDescriptor events(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  ASSERT_GE(events.Get(), 0);
  const int portWatch = inotify_add_watch(events.Get(), pty.SlavePath().c_str(), IN_CLOSE_WRITE);
  ASSERT_GE(portWatch, 0);
  ASSERT_GE(inotify_add_watch(events.Get(), "/var/lock", IN_DELETE), 0);
  const std::string lockName = LockFileOf(pty).substr(std::string("/var/lock/").size());

  device.Close();
  std::vector<std::string> order;
  alignas(inotify_event) char buffer[4096];
  const ssize_t length = read(events.Get(), buffer, sizeof buffer);
  for (ssize_t at = 0; at < length;) {
    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
    if (event->wd == portWatch) order.emplace_back("port closed");
    if (event->len > 0 && lockName == event->name) order.emplace_back("lock file removed");
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"lock file removed", "port closed"}));
}

// A write the device does not take gives up after the frame's time on the
// line plus the grace, on a peer that never reads and on a stopped line.
TEST(BoundedWrite, WriteToAPeerThatNeverReadsOrAStalledLineGivesUp) {
  PseudoTerminal pty;
  SerialDevice device;
  ASSERT_EQ(device.Open(pty.SlavePath()), OpenResult::Opened);
  device.Configure(LineSettings{800000});
  struct Case {
    const char* name;
    std::size_t bytes;
  };
  for (const Case& c : {Case{"peer never reads", 200000}, Case{"stalled line", 8}}) {
    SCOPED_TRACE(c.name);
    if (c.bytes == 8) {
      // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread uses this descriptor
      ASSERT_EQ(tcflow(device.Descriptor(), TCOOFF), 0);
    }
    const auto bound =
        std::chrono::milliseconds(c.bytes * 10 * 1000 / 800000 + SerialDevice::WriteGraceMs);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(device.Write(std::vector<uint8_t>(c.bytes, 0x55)));
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, bound - 10ms);
    EXPECT_LT(took, bound + 10s) << "the write never waits much past its bound";
  }
}

}  // namespace
