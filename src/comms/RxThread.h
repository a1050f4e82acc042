#pragma once

#include <QEvent>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

class QObject;
class StopSignal;

// The message that carries one received chunk to the UI thread.
inline constexpr QEvent::Type WM_RX_DATA = static_cast<QEvent::Type>(1026);

// Bytes handed over to the UI thread and not yet handled.
using PendingBytes = std::atomic<std::size_t>;

class TRxDataEvent : public QEvent {
 public:
  // block holds the received bytes followed by one zero byte. The bytes
  // count in pending for as long as the event lives, until it is handled or
  // dropped.
  TRxDataEvent(std::vector<uint8_t> block, std::shared_ptr<PendingBytes> pending);
  ~TRxDataEvent() override;
  TRxDataEvent(const TRxDataEvent&) = delete;
  TRxDataEvent& operator=(const TRxDataEvent&) = delete;

  // The received bytes, without the terminating zero.
  std::span<const uint8_t> Bytes() const;
  // The received bytes and the terminating zero.
  const std::vector<uint8_t>& Block() const { return block_; }

 private:
  std::vector<uint8_t> block_;
  std::shared_ptr<PendingBytes> pending_;
};

// The background reader of the link: waits on the port and the stop signal,
// collects each burst until the line has been idle about 1 ms (or 16384
// bytes) and posts it, in order, to the message target as a WM_RX_DATA
// event. While more than MaxPendingBytes are posted and not yet handled it
// stops reading, and the driver drops what its own buffer cannot hold, as a
// UART does. It ends on the stop signal, and silently on any failure of the
// port, a hang-up included.
class TRxThread {
 public:
  static constexpr std::size_t ReadBufferSize = 16384;
  static constexpr std::size_t MaxPendingBytes = std::size_t{1024} * 1024;

  // Starts the thread. Throws std::system_error when it cannot be started.
  // portFd, stop and messageTarget must outlive the thread.
  TRxThread(int portFd, StopSignal& stop, QObject& messageTarget);
  // Gives the stop signal (again, if the owner already did) and waits for
  // the thread to end, so a forgotten stop cannot leave the join waiting.
  ~TRxThread();
  TRxThread(const TRxThread&) = delete;
  TRxThread& operator=(const TRxThread&) = delete;

 private:
  void Execute();
  bool WaitForHandling() const;

  int portFd_;
  StopSignal& stop_;
  QObject& messageTarget_;
  std::shared_ptr<PendingBytes> pending_;
  std::thread thread_;
};
