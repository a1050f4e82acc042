#pragma once

#include <QEvent>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

class QObject;
class StopSignal;

// The message that carries one received chunk to the UI thread.
inline constexpr QEvent::Type WM_RX_DATA = static_cast<QEvent::Type>(1026);

class TRxDataEvent : public QEvent {
 public:
  // block holds the received bytes followed by one zero byte.
  explicit TRxDataEvent(std::vector<uint8_t> block);

  // The received bytes, without the terminating zero.
  std::span<const uint8_t> Bytes() const;
  // The received bytes and the terminating zero.
  const std::vector<uint8_t>& Block() const { return block_; }

 private:
  std::vector<uint8_t> block_;
};

// The background reader of the link: waits on the port and the stop signal,
// collects each burst until the line has been idle about 1 ms (or 16384
// bytes) and posts it, in order, to the message target as a WM_RX_DATA
// event. It ends on the stop signal, and silently on any failure of the
// port, a hang-up included.
class TRxThread {
 public:
  static constexpr std::size_t ReadBufferSize = 16384;

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

  int portFd_;
  StopSignal& stop_;
  QObject& messageTarget_;
  std::thread thread_;
};
