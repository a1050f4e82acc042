#include "update/SignalWatch.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

SignalWatch::SignalWatch(std::initializer_list<int> watched) {
  sigemptyset(&set_);
  for (const int signal : watched) sigaddset(&set_, signal);
  pthread_sigmask(SIG_BLOCK, &set_, nullptr);
}

SignalWatch::~SignalWatch() {
  notifier_.reset();
  if (fd_ >= 0) close(fd_);
}

void SignalWatch::Deliver(std::function<void(int)> onSignal) {
  onSignal_ = std::move(onSignal);
  fd_ = signalfd(-1, &set_, SFD_CLOEXEC | SFD_NONBLOCK);
  if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { ReadSignals(); });
}

void SignalWatch::ReadSignals() {
  signalfd_siginfo info{};
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
    onSignal_(static_cast<int>(info.ssi_signo));
  }
}
