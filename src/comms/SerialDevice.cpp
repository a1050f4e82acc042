#include "comms/SerialDevice.h"

#include "comms/Termios2.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// BOTHER: the speed is c_ospeed, not one of the B codes.
constexpr tcflag_t ArbitrarySpeed = 0010000;
// Where the input speed code sits in c_cflag; 0 there means "as output".
constexpr int InputSpeedShift = 16;

// Owns a descriptor until Open has taken the port for good.
class PendingDescriptor {
 public:
  explicit PendingDescriptor(int fd) : fd_(fd) {}
  ~PendingDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  PendingDescriptor(const PendingDescriptor&) = delete;
  PendingDescriptor& operator=(const PendingDescriptor&) = delete;

  int Get() const { return fd_; }
  int Release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

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
  Close();
}

SerialDevice::OpenResult SerialDevice::Open(const std::string& path) {
  if (IsOpen()) return OpenResult::Unavailable;
  // Non-blocking, so that neither the open (waiting for carrier) nor a read
  // racing a purge can block; Write waits with poll instead.
  PendingDescriptor fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.Get() < 0) return OpenResult::Unavailable;
  struct stat status {};
  if (fstat(fd.Get(), &status) != 0 || !S_ISCHR(status.st_mode)) {
    return OpenResult::NotACharacterDevice;
  }
  // TIOCEXCL does not stop root; the lock does. Without the lock, this
  // descriptor must not touch the exclusive flag another holder has set.
  if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) return OpenResult::Unavailable;
  ioctl(fd.Get(), TIOCEXCL);
  fd_ = fd.Release();
  return OpenResult::Opened;
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
  }

  // USB serial adapters otherwise hold received bytes back for many
  // milliseconds. Drivers without the flag (pseudo-terminals) refuse.
  serial_struct serial{};
  if (ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd_, TIOCSSERIAL, &serial);
  }
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
  if (!IsOpen()) return false;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + written, bytes.size() - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      // The driver's output buffer is full: wait until it takes more.
      pollfd port{fd_, POLLOUT, 0};
      const int ready = poll(&port, 1, -1);
      if (ready > 0 && (port.revents & POLLOUT) != 0) continue;
      if (ready < 0 && errno == EINTR) continue;
    }
    return false;
  }
  return true;
}

void SerialDevice::Close() {
  if (!IsOpen()) return;
  // A pseudo-terminal keeps the exclusive flag after the close, which would
  // refuse our own reopen at a new speed unless we run as root.
  ioctl(fd_, TIOCNXCL);
  flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
}
