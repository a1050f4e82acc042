#include "SignalWatch.h"

#include <signal.h>
#include <sys/signalfd.h>

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace unitsim {

SignalWatch::SignalWatch(std::initializer_list<int> signals) {
  sigemptyset(&signals_);
  for (const int signal : signals) sigaddset(&signals_, signal);
  if (const int error = pthread_sigmask(SIG_BLOCK, &signals_, nullptr); error != 0) {
    throw std::runtime_error(std::string("cannot block signals: ") +
                             std::generic_category().message(error));
  }
  fd_.Reset(signalfd(-1, &signals_, SFD_NONBLOCK | SFD_CLOEXEC));
  if (!fd_.Valid()) {
    throw std::runtime_error(std::string("cannot watch signals: ") +
                             std::generic_category().message(errno));
  }
}

SignalWatch::~SignalWatch() {
  pthread_sigmask(SIG_UNBLOCK, &signals_, nullptr);
}

std::vector<int> SignalWatch::Take() {
  std::vector<int> taken;
  signalfd_siginfo info{};
  while (::read(fd_.Get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    taken.push_back(static_cast<int>(info.ssi_signo));
  }
  return taken;
}

}  // namespace unitsim
