#pragma once

#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <initializer_list>
#include <memory>

// Signals taken from every thread of the program through a signalfd and
// handed, one by one, to a handler on the thread that calls Deliver, from its
// event loop: no work is done in a signal handler, and the signals no longer
// end the program by themselves.
class SignalWatch {
 public:
  // Blocks the signals in the calling thread. Make it before any other
  // thread starts (the toolkit's among them), so that every thread inherits
  // the mask and none takes a signal the default way.
  explicit SignalWatch(std::initializer_list<int> watched);
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // Call once: from now on each signal, including those that came since
  // construction, reaches onSignal on the calling thread; needs the
  // application object.
  // Throws std::system_error when the kernel refuses the signalfd.
  void Deliver(std::function<void(int signal)> onSignal);

 private:
  void ReadSignals();

  sigset_t set_{};
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(int)> onSignal_;
};
