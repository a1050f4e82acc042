#include "comms/StopSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

StopSignal::StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

StopSignal::~StopSignal() {
  ::close(fd_);
}

// The counter is never read back, so the signal stays set once given.
void StopSignal::Signal() {
  eventfd_write(fd_, 1);
}

bool StopSignal::IsSignalled() const {
  return WaitFor(0);
}

bool StopSignal::WaitFor(int timeoutMs) const {
  pollfd signal{fd_, POLLIN, 0};
  return poll(&signal, 1, timeoutMs) > 0 && (signal.revents & POLLIN) != 0;
}
