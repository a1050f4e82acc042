#include "cli/StopSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <system_error>

namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onFirst) : onFirst_(std::move(onFirst)) {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  fd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { ReadSignal(); });
}

StopSignals::~StopSignals() {
  notifier_.reset();
  close(fd_);
}

void StopSignals::ReadSignal() {
  signalfd_siginfo info{};
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    int expected = 0;
    const int signal = static_cast<int>(info.ssi_signo);
    if (received_.compare_exchange_strong(expected, signal) && onFirst_) onFirst_(signal);
  }
}
