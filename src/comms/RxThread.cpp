#include "comms/RxThread.h"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <array>
#include <cerrno>
#include <new>

#include "comms/StopSignal.h"

namespace {

// A burst ends once the line has been idle this long after its last byte.
constexpr int IdleGapMs = 1;
constexpr int WaitWithoutLimit = -1;
// Nice value asked for, so that input is collected without delay.
constexpr int RaisedNiceValue = -10;
constexpr unsigned long IdleGapTimerSlackNs = 1000;
// How often a thread that waits for its chunks to be handled looks again.
constexpr int HandlingPollMs = 10;

enum class Wake { Readable, Idle, Stopped, Failed };

// Waits for input on the port or the stop signal; the stop wins when both
// are ready, so a steady stream of input cannot hold the thread.
Wake WaitForInput(int portFd, int stopFd, int timeoutMs) {
  std::array<pollfd, 2> watched{{{stopFd, POLLIN, 0}, {portFd, POLLIN, 0}}};
  for (;;) {
    const int ready = poll(watched.data(), watched.size(), timeoutMs);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) return Wake::Failed;
    if (watched[0].revents != 0) return Wake::Stopped;
    if (ready == 0) return Wake::Idle;
    // A hung-up device stays readable with nothing to read: the end of it.
    if ((watched[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Wake::Failed;
    return Wake::Readable;
  }
}

struct Burst {
  std::size_t length = 0;
  Wake end = Wake::Idle;  // Idle: the burst is complete (or fills the buffer)
};

// Waits without limit for the first bytes of a burst, then collects until
// the line is idle, the buffer is full, the stop is given or the port fails.
Burst CollectBurst(int portFd, int stopFd, std::span<uint8_t> buffer) {
  Burst burst;
  int timeoutMs = WaitWithoutLimit;
  while (burst.length < buffer.size()) {
    burst.end = WaitForInput(portFd, stopFd, timeoutMs);
    if (burst.end != Wake::Readable) return burst;
    const std::span<uint8_t> room = buffer.subspan(burst.length);
    const ssize_t n = read(portFd, room.data(), room.size());
    if (n > 0) {
      burst.length += static_cast<std::size_t>(n);
      timeoutMs = IdleGapMs;
    } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
      burst.end = Wake::Failed;
      return burst;
    }
  }
  burst.end = Wake::Idle;
  return burst;
}

void RaiseOwnPriority() {
  // Without the privilege the thread simply keeps the normal priority.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), RaisedNiceValue);
  // The idle gap that ends a burst is short, and the kernel's usual 50 us
  // of timer slack would add to it on every reply. Refused, the usual
  // slack stays.
  prctl(PR_SET_TIMERSLACK, IdleGapTimerSlackNs);
}

}  // namespace

TRxDataEvent::TRxDataEvent(std::vector<uint8_t> block, std::shared_ptr<PendingBytes> pending)
    : QEvent(WM_RX_DATA), block_(std::move(block)), pending_(std::move(pending)) {
  *pending_ += Bytes().size();
}

TRxDataEvent::~TRxDataEvent() {
  *pending_ -= Bytes().size();
}

std::span<const uint8_t> TRxDataEvent::Bytes() const {
  if (block_.empty()) return {};
  return std::span<const uint8_t>(block_).first(block_.size() - 1);
}

TRxThread::TRxThread(int portFd, StopSignal& stop, QObject& messageTarget)
    : portFd_(portFd),
      stop_(stop),
      messageTarget_(messageTarget),
      pending_(std::make_shared<PendingBytes>(0)),
      thread_([this] { Execute(); }) {}

TRxThread::~TRxThread() {
  stop_.Signal();
  thread_.join();
}

void TRxThread::Execute() {
  RaiseOwnPriority();
  try {
    std::vector<uint8_t> buffer(ReadBufferSize);
    while (WaitForHandling()) {
      const Burst burst = CollectBurst(portFd_, stop_.Descriptor(), buffer);
      if (burst.end == Wake::Stopped) break;
      if (burst.length > 0) {
        std::vector<uint8_t> block(buffer.begin(),
                                   buffer.begin() + static_cast<std::ptrdiff_t>(burst.length));
        block.push_back(0);
        QCoreApplication::postEvent(&messageTarget_, new TRxDataEvent(std::move(block), pending_));
      }
      if (burst.end == Wake::Failed) break;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory ends reception silently, as any other failure does.
  }
  tcflush(portFd_, TCIFLUSH);
}

// Waits while more than MaxPendingBytes are handed over and not yet handled;
// false when the stop is given meanwhile.
bool TRxThread::WaitForHandling() const {
  while (*pending_ > MaxPendingBytes) {
    if (stop_.WaitFor(HandlingPollMs)) return false;
  }
  return true;
}
