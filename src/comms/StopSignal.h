#pragma once

// A one-way signal from the UI thread to the receive thread, with a
// descriptor the receive thread can poll beside the port.
class StopSignal {
 public:
  // Throws std::system_error when the descriptor cannot be made.
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  void Signal();
  bool IsSignalled() const;
  // Waits up to timeoutMs for the signal; true when it is given.
  bool WaitFor(int timeoutMs) const;
  int Descriptor() const { return fd_; }

 private:
  int fd_;
};
