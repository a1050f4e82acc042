#include "LineSettings.h"

#include <sys/ioctl.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace unitsim {

namespace {

constexpr unsigned long GetSettings2 = _IOR('T', 0x2A, termios2);
constexpr unsigned long SetSettings2 = _IOW('T', 0x2B, termios2);
// BOTHER: the speed is c_ispeed/c_ospeed itself rather than one of the B codes.
constexpr tcflag_t OtherSpeed = 0010000;
// Where the input speed code sits in c_cflag.
constexpr int InputSpeedShift = 16;

std::runtime_error SettingsError(const std::string& what) {
  return std::runtime_error(what + ": " + std::generic_category().message(errno));
}

}  // namespace

termios2 ReadLineSettings(int fd) {
  termios2 settings{};
  if (ioctl(fd, GetSettings2, &settings) != 0) throw SettingsError("cannot read the line settings");
  return settings;
}

void SetRawLine(int fd, uint32_t speed) {
  termios2 settings = ReadLineSettings(fd);
  settings.c_iflag &=
      ~(BRKINT | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | IMAXBEL);
  settings.c_iflag |= IGNBRK;
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | CBAUD | (CBAUD << InputSpeedShift));
  settings.c_cflag |= CS8 | CLOCAL | CREAD | OtherSpeed | (OtherSpeed << InputSpeedShift);
  settings.c_ispeed = speed;
  settings.c_ospeed = speed;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (ioctl(fd, SetSettings2, &settings) != 0) {
    throw SettingsError("cannot set the line to " + std::to_string(speed) + " bit/s");
  }
  const termios2 taken = ReadLineSettings(fd);
  if (taken.c_ospeed != speed || taken.c_ispeed != speed) {
    throw std::runtime_error("the line did not take " + std::to_string(speed) +
                             " bit/s (it runs at " + std::to_string(taken.c_ospeed) +
                             "): the device or its driver may not support that speed");
  }
}

}  // namespace unitsim
