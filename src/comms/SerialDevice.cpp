#include "comms/SerialDevice.h"

#include "comms/BoundedWrite.h"
#include "comms/SpeedCheck.h"
#include "comms/Termios2.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

namespace {

// BOTHER: the speed is c_ospeed, not one of the B codes.
constexpr tcflag_t ArbitrarySpeed = 0010000;
// Where the input speed code sits in c_cflag; 0 there means "as output".
constexpr int InputSpeedShift = 16;

#ifndef TIOCGEXCL
// Reads the exclusive flag (Linux 3.8 and later).
constexpr unsigned long TIOCGEXCL = 0x80045440;
#endif

using Cause = PortProblem::Cause;

// Owns a descriptor until Open has taken the port for good.
class PendingDescriptor {
 public:
  explicit PendingDescriptor(int fd) : fd_(fd) {}
  ~PendingDescriptor() { Reset(); }
  PendingDescriptor(const PendingDescriptor&) = delete;
  PendingDescriptor& operator=(const PendingDescriptor&) = delete;

  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }
  void Reset() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }

 private:
  int fd_;
};

const char* KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return "a character device that is no terminal";
}

PortProblem NotASerialDevice(mode_t mode) {
  return {Cause::NotASerialDevice, 0, KindOf(mode), {}};
}

// In use by the given holder, or by whichever process /proc shows holding
// the device.
PortProblem InUse(const std::string& path, const std::optional<PortHolder>& holder = std::nullopt) {
  return {Cause::InUse, EBUSY, {}, holder ? holder : FindPortHolder(path)};
}

bool ExclusiveFlagSet(int fd) {
  int exclusive = 0;
  return ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
}

void MakeRaw(termios& attributes) {
  // Breaks are dropped rather than read as a zero byte, input parity is not
  // checked, and there is no flow control: XON/XOFF would swallow the bytes
  // 0x11 and 0x13 of an image.
  attributes.c_iflag &= ~(BRKINT | PARMRK | INPCK | IGNPAR | ISTRIP | INLCR | IGNCR | ICRNL |
                          IUCLC | IXON | IXOFF | IXANY | IMAXBEL);
  attributes.c_iflag |= IGNBRK;
  attributes.c_oflag &= ~OPOST;
  attributes.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  attributes.c_cflag &= ~CRTSCTS;
  attributes.c_cflag |= CLOCAL | CREAD;
  attributes.c_cc[VMIN] = 1;
  attributes.c_cc[VTIME] = 0;
}

void SetDataBits(termios& attributes, uint8_t dataBits) {
  tcflag_t size = 0;
  switch (dataBits) {
    case 5:
      size = CS5;
      break;
    case 6:
      size = CS6;
      break;
    case 7:
      size = CS7;
      break;
    case 8:
      size = CS8;
      break;
    default:
      return;
  }
  attributes.c_cflag = (attributes.c_cflag & ~CSIZE) | size;
}

void SetParity(termios& attributes, TParity parity) {
  tcflag_t bits = 0;
  switch (parity) {
    case TParity::None:
      bits = 0;
      break;
    case TParity::Odd:
      bits = PARENB | PARODD;
      break;
    case TParity::Even:
      bits = PARENB;
      break;
    case TParity::Mark:
      bits = PARENB | CMSPAR | PARODD;
      break;
    case TParity::Space:
      bits = PARENB | CMSPAR;
      break;
    default:
      return;
  }
  attributes.c_cflag = (attributes.c_cflag & ~(PARENB | PARODD | CMSPAR)) | bits;
}

void SetStopBits(termios& attributes, TStopBits stopBits) {
  switch (stopBits) {
    case TStopBits::sb1:
      attributes.c_cflag &= ~CSTOPB;
      break;
    // termios has no 1.5 stop bits; two are the closest it offers (a UART
    // sends 1.5 for CSTOPB with 5 data bits).
    case TStopBits::sb1_5:
    case TStopBits::sb2:
      attributes.c_cflag |= CSTOPB;
      break;
  }
}

uint8_t DataBitsOf(const termios& attributes) {
  switch (attributes.c_cflag & CSIZE) {
    case CS5:
      return 5;
    case CS6:
      return 6;
    case CS7:
      return 7;
    default:
      return 8;
  }
}

TParity ParityOf(const termios& attributes) {
  const tcflag_t flags = attributes.c_cflag;
  if ((flags & PARENB) == 0) return TParity::None;
  if ((flags & CMSPAR) != 0) return (flags & PARODD) != 0 ? TParity::Mark : TParity::Space;
  return (flags & PARODD) != 0 ? TParity::Odd : TParity::Even;
}

}  // namespace

SerialDevice::~SerialDevice() {
  SerialDevice::Close();
}

SerialDevice::OpenResult SerialDevice::Open(const std::string& path) {
  if (IsOpen()) return Refuse(OpenResult::Unavailable, InUse(path, ProcessHolder(getpid())));
  problem_ = {};
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    return Refuse(OpenResult::Unavailable, PortProblem::FromErrno(errno));
  }
  // A directory does not open; a FIFO or a file is never opened as a line.
  if (S_ISDIR(status.st_mode))
    return Refuse(OpenResult::Unavailable, NotASerialDevice(status.st_mode));
  if (!S_ISCHR(status.st_mode)) {
    return Refuse(OpenResult::NotACharacterDevice, NotASerialDevice(status.st_mode));
  }
  // Non-blocking, so that neither the open (waiting for carrier) nor a read
  // racing a purge can block; Write waits with poll instead.
  PendingDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) {
    PortProblem problem = PortProblem::FromErrno(errno);
    if (problem.What == Cause::InUse) problem = InUse(path);
    return Refuse(OpenResult::Unavailable, std::move(problem));
  }
  termios attributes{};
  if (fstat(fd.Get(), &status) != 0 || !S_ISCHR(status.st_mode) ||
      tcgetattr(fd.Get(), &attributes) != 0) {
    return Refuse(OpenResult::NotACharacterDevice, NotASerialDevice(status.st_mode));
  }
  // The flock holds against root too; a process that ended holds none. It
  // also keeps a second device of this process off the port.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    fd.Reset();
    return Refuse(OpenResult::Unavailable, InUse(path));
  }
  // Root passes TIOCEXCL, so the flag is checked by hand. A flag or a lock
  // file left by a holder that ended is stale only while no other process
  // has the device open: one that does may hold it still, and its flag is
  // never cleared.
  const bool flagLeft = ExclusiveFlagSet(fd.Get());
  if ((flagLeft || PortLockFile::IsStale(path)) && !ProcessesWithDeviceOpen(path).empty()) {
    fd.Reset();
    return Refuse(OpenResult::Unavailable, InUse(path));
  }
  if (lockFile_.Take(path) == PortLockFile::Outcome::HeldByOther) {
    fd.Reset();
    return Refuse(OpenResult::Unavailable, InUse(path, ProcessHolder(lockFile_.Owner())));
  }
  // A stale flag becomes ours: set again below, cleared by Close.
  if (flagLeft || lockFile_.StaleOwner()) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name,
                 DescribeStaleHold(path, lockFile_.StaleOwner(), flagLeft).c_str());
  }
  ioctl(fd.Get(), TIOCEXCL);
  fd_ = fd.Release();
  path_ = path;
  baudRate_ = CurrentSettings().BaudRate;
  return OpenResult::Opened;
}

SerialDevice::OpenResult SerialDevice::Refuse(OpenResult result, PortProblem problem) {
  problem_ = std::move(problem);
  return result;
}

void SerialDevice::Configure(const LineSettings& settings) {
  if (!IsOpen()) return;
  termios attributes{};
  if (tcgetattr(fd_, &attributes) == 0) {
    MakeRaw(attributes);
    SetDataBits(attributes, settings.DataBits);
    SetParity(attributes, settings.Parity);
    SetStopBits(attributes, settings.StopBits);
    tcsetattr(fd_, TCSANOW, &attributes);
  }

  // Speed 0 would hang the line up; it is no line speed.
  termios2 line{};
  if (settings.BaudRate != 0 && ioctl(fd_, TCGETS2, &line) == 0) {
    line.c_cflag &= ~(CBAUD | (CBAUD << InputSpeedShift));
    line.c_cflag |= ArbitrarySpeed;
    line.c_ispeed = settings.BaudRate;
    line.c_ospeed = settings.BaudRate;
    ioctl(fd_, TCSETS2, &line);
    CheckSpeed(settings.BaudRate);
  }

  // USB serial adapters otherwise hold received bytes back for many
  // milliseconds. Drivers without the flag (pseudo-terminals) refuse.
  serial_struct serial{};
  if (ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd_, TIOCSSERIAL, &serial);
  }
}

void SerialDevice::CheckSpeed(uint32_t asked) {
  const uint32_t set = CurrentSettings().BaudRate;
  baudRate_ = set;
  // Some adapters cannot make every speed; the run goes on at what they set.
  WarnOfSpeedSet(path_, "the driver", set, asked);
}

LineSettings SerialDevice::CurrentSettings() const {
  LineSettings current;
  termios attributes{};
  if (IsOpen() && tcgetattr(fd_, &attributes) == 0) {
    current.DataBits = DataBitsOf(attributes);
    current.Parity = ParityOf(attributes);
    current.StopBits = (attributes.c_cflag & CSTOPB) != 0 ? TStopBits::sb2 : TStopBits::sb1;
  }
  termios2 line{};
  if (IsOpen() && ioctl(fd_, TCGETS2, &line) == 0) current.BaudRate = line.c_ospeed;
  return current;
}

void SerialDevice::Purge() {
  if (IsOpen()) tcflush(fd_, TCIOFLUSH);
}

bool SerialDevice::Write(std::span<const uint8_t> bytes) {
  return IsOpen() && WriteWithinLineTime(fd_, bytes, baudRate_, WriteGraceMs);
}

void SerialDevice::Close() {
  if (!IsOpen()) return;
  // The lock file goes while the port is still held: a pseudo-terminal's
  // number is given to the next one opened as soon as it is closed, and
  // that one must not find our lock.
  lockFile_.Release();
  // A pseudo-terminal keeps the exclusive flag after the close, which would
  // refuse our own reopen at a new speed. The flag is ours: Open set it.
  ioctl(fd_, TIOCNXCL);
  flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}
