#pragma once

#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "comms/CommsTypes.h"
#include "comms/EchoFilter.h"
#include "comms/PortDevice.h"
#include "comms/PortResolver.h"
#include "comms/WireTrace.h"

class QEventLoop;
class QObject;
class StopSignal;
class TRxCondition;
class TRxDataEvent;
class TRxThread;

// Misuse of the link inside Open. Detail, where there is one, names the
// device and the cause in a line for the user.
class ECommsError : public std::runtime_error {
 public:
  explicit ECommsError(const std::string& message, std::string detail = {})
      : std::runtime_error(message), detail_(std::move(detail)) {}
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

// The serial link: one COM port, a receive thread, a receive buffer, a
// 100 ms reply timer and the caller's receive conditions that recognise a
// complete reply. Everything here runs on the UI thread; the receive thread
// only reads the port and posts chunks.
class TKovaComms {
 public:
  using TReceiveDataEvent = std::function<void(std::span<const uint8_t> buffer)>;
  using TReceiveMsgEvent = std::function<void(int32_t condnum)>;
  using TTimeOutEvent = std::function<void()>;

  explicit TKovaComms(PortResolver resolver);
  ~TKovaComms();
  TKovaComms(const TKovaComms&) = delete;
  TKovaComms& operator=(const TKovaComms&) = delete;

  uint8_t CommPort = 0;  // 0-based: 0 = COM1
  uint32_t BaudRate = 9600;
  uint8_t DataBits = 8;
  TStopBits StopBits = TStopBits::sb1;
  TParity Parity = TParity::None;
  uint16_t RxBufferSize = 256;
  // Called for every received chunk; the bytes are followed by a zero byte.
  TReceiveDataEvent OnReceiveData;
  // When set, every completed message is reported here instead of to
  // WaitForResult.
  TReceiveMsgEvent OnReceiveMsg;
  TTimeOutEvent OnTimeOut;
  // Called once the line is known to echo: a reply that can tell came after
  // the whole echo of its request.
  std::function<void()> OnEchoFound;

  // Opens the port of CommPort at the line settings and starts receiving;
  // false when the device cannot be opened. Throws ECommsError when a port
  // is already open, the device is no serial device, or the receive thread
  // cannot start.
  bool Open();
  // Why the last Open failed, in one line for the user: the device, the
  // cause and what to do. Empty after an Open that succeeded.
  const std::string& OpenFailureDetail() const { return openFailureDetail_; }
  // Stops receiving and closes the port; on a closed link it leaves the
  // closed state (-2), in which SendData refuses.
  void Close();
  bool IsOpen() const { return device_ != nullptr && device_->IsOpen(); }

  void SetRxCondition(TRxCondition& condition);
  void ClearRxCondition();
  void ResetRxMatch();
  void ClearRxBuffer();

  // Starts the reply timeout of timeoutTicks ticks of 100 ms (0xFFFF never
  // expires) and writes the frame; false when nothing could be sent.
  bool SendData(std::span<const uint8_t> data, uint16_t timeoutTicks);

  // Once the request under way has ended, refuses every later one: SendData
  // then closes the port and sends nothing, so each wait that follows
  // returns -1 at once. For stopping a run from outside.
  void StopAfterExchange() { stopRequested_ = true; }

  // Whether the line echoes what is sent: found (auto), or as the user says.
  // Setting it starts the finding again; it holds for every exchange at every
  // speed until set again.
  void SetEchoMode(EchoMode mode) { echo_.SetMode(mode); }
  void RestartEchoCounts() { echo_.RestartCounts(); }
  // The next request's reply can never begin with the request's own bytes
  // (a register read): while the line is not known to echo, what comes back
  // first tells whether it does.
  void NextReplyTellsEcho() { nextReplyTells_ = true; }
  // The reply just taken was sound (its check is right): after a telling
  // request, the answer on the line's echo is final.
  void SoundReplyCame() { echo_.SoundReplyCame(); }
  // What was found of the line's echo since the mode was set.
  const EchoFilter& Echo() const { return echo_; }

  // Bytes written to the port and received from it (its echo left out)
  // since the link was made.
  uint64_t BytesSent() const { return bytesSent_; }
  uint64_t BytesReceived() const { return bytesReceived_; }

  // Waits, dispatching the UI thread's messages, for the result: the
  // 1-based number of the completed item, 0 for a timeout, -1 when the port
  // was closed meanwhile (or is not open), -2 in the closed state.
  int32_t WaitForResult();

  // Copies the message of the item out of the receive buffer; dest must
  // hold maxLength + 1 bytes. Returns the number of bytes copied.
  uint16_t GetRxMessage(uint16_t itemNumber, std::span<uint8_t> dest, uint16_t maxLength,
                        int32_t leadCount, int32_t middleCount, int32_t trailCount) const;

 private:
  class MessageTarget;

  void HandleRxData(const TRxDataEvent& chunk);
  void ReceiveBytes(std::span<const uint8_t> bytes);
  int32_t CheckComplete() const;
  void ReplyTimerTick();
  void SignalMatch();
  void SignalTimeout();
  void WakeWaits();
  void ReleasePort();
  bool RefuseOpen(std::string detail);

  PortResolver resolver_;
  std::string openFailureDetail_;
  std::unique_ptr<MessageTarget> messageWindow_;
  QTimer replyTimer_;
  // Made at every Open for the name resolved then; a local port or a network one.
  std::unique_ptr<PortDevice> device_;
  std::unique_ptr<StopSignal> stopEvent_;
  std::unique_ptr<TRxThread> rxThread_;
  std::vector<uint8_t> rxBuffer_;
  uint16_t rxReadIndex_ = 0;
  uint16_t rxWriteIndex_ = 0;
  TRxCondition* rxCondition_ = nullptr;
  int32_t matchedItem_ = 0;
  int32_t lastResult_ = 0;
  uint16_t ticksLeft_ = 0;
  uint16_t tickPhase_ = 0;
  // The wait objects exist from Open to Close; a wait without them fails.
  bool waitEventsExist_ = false;
  bool matchEvent_ = false;
  bool timeoutEvent_ = false;
  std::vector<QEventLoop*> waits_;
  bool stopRequested_ = false;
  uint64_t bytesSent_ = 0;
  uint64_t bytesReceived_ = 0;
  LinkTrace trace_;
  EchoFilter echo_;
  bool nextReplyTells_ = false;
};
