#include "comms/KovaComms.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <algorithm>
#include <system_error>
#include <utility>

#include "comms/RxCondition.h"
#include "comms/RxThread.h"
#include "comms/StopSignal.h"

namespace {

constexpr int ReplyTimerPeriodMs = 100;
constexpr uint16_t NeverExpires = 0xFFFF;
constexpr int32_t NoResult = -1;
constexpr int32_t ClosedState = -2;
constexpr int32_t TimedOut = 0;
// An exchange whose echo came back damaged fails as a damaged reply does.
constexpr int32_t EchoDamaged = -1;
// Exit code of a nested wait ended by one of the link's own signals; any
// other code means the application is ending.
constexpr int WaitWoken = 1;

}  // namespace

// The hidden receiver of the receive thread's chunks, on the UI thread.
class TKovaComms::MessageTarget : public QObject {
 public:
  explicit MessageTarget(TKovaComms& comms) : comms_(comms) {}

 protected:
  bool event(QEvent* event) override {
    if (event->type() != WM_RX_DATA) return QObject::event(event);
    comms_.HandleRxData(static_cast<const TRxDataEvent&>(*event));
    return true;
  }

 private:
  TKovaComms& comms_;
};

TKovaComms::TKovaComms(PortResolver resolver)
    : resolver_(std::move(resolver)), messageWindow_(std::make_unique<MessageTarget>(*this)) {
  replyTimer_.setInterval(ReplyTimerPeriodMs);
  // A coarse timer may tick up to 5% early, and a timeout of N ticks would
  // then expire before the unit's time to answer is up.
  replyTimer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&replyTimer_, &QTimer::timeout, [this] { ReplyTimerTick(); });
}

TKovaComms::~TKovaComms() {
  if (IsOpen()) Close();
  rxCondition_ = nullptr;
}

bool TKovaComms::Open() {
  if (IsOpen()) throw ECommsError("Already have a Comm File Open");
  const int comNumber = CommPort + 1;
  const std::string path = resolver_(comNumber);
  openFailureDetail_.clear();
  const std::string comName = "COM" + std::to_string(comNumber);
  trace_.NamePort(path.empty() ? comName : path);
  if (path.empty()) {
    return RefuseOpen(comName +
                      ": no device (not connected); plug the adapter in or choose another port");
  }
  device_ = MakePortDevice(path);
  switch (device_->Open(path)) {
    case PortDevice::OpenResult::Unavailable:
      return RefuseOpen(DescribePortProblem(path, device_->Problem()));
    case PortDevice::OpenResult::NotACharacterDevice:
      RefuseOpen(DescribePortProblem(path, device_->Problem()));
      throw ECommsError("File Handle is not a Comm Handle.", openFailureDetail_);
    case PortDevice::OpenResult::Opened:
      break;
  }
  const LineSettings settings{BaudRate, DataBits, Parity, StopBits};
  trace_.Opened(settings);
  device_->Purge();
  trace_.Purged();
  device_->Configure(settings);
  rxReadIndex_ = 0;
  rxWriteIndex_ = 0;
  // The buffer's size is its wrap limit: it holds at least one byte.
  rxBuffer_.assign(std::max<uint16_t>(RxBufferSize, 1), 0);
  lastResult_ = NoResult;
  try {
    stopEvent_ = std::make_unique<StopSignal>();
  } catch (const std::system_error& error) {
    trace_.OpenFailed(BaudRate, error.what());
    ReleasePort();
    return false;
  }
  waitEventsExist_ = true;
  matchEvent_ = false;
  timeoutEvent_ = false;
  try {
    rxThread_ = std::make_unique<TRxThread>(device_->Descriptor(), *stopEvent_, *messageWindow_);
  } catch (const std::system_error& error) {
    trace_.OpenFailed(BaudRate, error.what());
    ReleasePort();
    throw ECommsError("Unable To Create Rx Thread");
  }
  return true;
}

bool TKovaComms::RefuseOpen(std::string detail) {
  openFailureDetail_ = std::move(detail);
  trace_.OpenFailed(BaudRate, openFailureDetail_);
  return false;
}

void TKovaComms::Close() {
  replyTimer_.stop();
  lastResult_ = ClosedState;
  SignalMatch();
  ticksLeft_ = 0;
  if (!IsOpen()) return;
  device_->Purge();
  trace_.Purged();
  stopEvent_->Signal();
  rxThread_.reset();
  ReleasePort();
  trace_.Closed();
  lastResult_ = NoResult;
}

// Releases what Open acquired; the receive thread has ended. Chunks it
// posted and nobody handled yet are dropped with it.
void TKovaComms::ReleasePort() {
  QCoreApplication::removePostedEvents(messageWindow_.get(), WM_RX_DATA);
  waitEventsExist_ = false;
  matchEvent_ = false;
  timeoutEvent_ = false;
  stopEvent_.reset();
  device_->Close();
  rxBuffer_.clear();
  WakeWaits();
}

void TKovaComms::SetRxCondition(TRxCondition& condition) {
  rxCondition_ = &condition;
}

void TKovaComms::ClearRxCondition() {
  rxCondition_ = nullptr;
}

void TKovaComms::ResetRxMatch() {
  matchedItem_ = -1;
  if (rxCondition_ != nullptr) rxCondition_->ResetItems();
}

void TKovaComms::ClearRxBuffer() {
  rxReadIndex_ = 0;
  rxWriteIndex_ = 0;
}

bool TKovaComms::SendData(std::span<const uint8_t> data, uint16_t timeoutTicks) {
  const bool tells = std::exchange(nextReplyTells_, false);
  if (stopRequested_ && IsOpen()) Close();
  if (lastResult_ == ClosedState || !IsOpen()) return false;
  ClearRxBuffer();
  echo_.Sent(data, tells);
  matchEvent_ = false;
  timeoutEvent_ = false;
  ticksLeft_ = timeoutTicks;
  lastResult_ = NoResult;
  tickPhase_ = 0;
  // A period that is already running continues; only a stopped timer starts
  // a fresh one.
  if (!replyTimer_.isActive()) replyTimer_.start();
  trace_.Sent(data);
  if (!device_->Write(data)) {
    trace_.WriteFailed();
    return false;
  }
  bytesSent_ += data.size();
  return true;
}

int32_t TKovaComms::WaitForResult() {
  for (;;) {
    if (!waitEventsExist_) return lastResult_;
    if (matchEvent_) return lastResult_;
    if (timeoutEvent_) {
      lastResult_ = echo_.ExchangeFailed() ? EchoDamaged : TimedOut;
      return lastResult_;
    }
    QEventLoop loop;
    waits_.push_back(&loop);
    const int exitCode = loop.exec();
    waits_.erase(std::find(waits_.begin(), waits_.end(), &loop));
    if (exitCode != WaitWoken) return lastResult_;
  }
}

uint16_t TKovaComms::GetRxMessage(uint16_t itemNumber, std::span<uint8_t> dest, uint16_t maxLength,
                                  int32_t leadCount, int32_t middleCount,
                                  int32_t trailCount) const {
  return CopyRxMessage(rxCondition_, itemNumber, rxBuffer_, rxWriteIndex_, dest, maxLength,
                       leadCount, middleCount, trailCount);
}

void TKovaComms::HandleRxData(const TRxDataEvent& chunk) {
  if (!IsOpen()) return;
  const bool echoFoundBefore = echo_.EchoConfirmed();
  const EchoFilter::Split split = echo_.Take(chunk.Bytes());
  if (!split.Echo.empty()) trace_.Echoed(split.Echo, split.Damaged);
  if (!split.Passed.empty()) {
    trace_.Received(split.Passed);
    ReceiveBytes(split.Passed);
    bytesReceived_ += split.Passed.size();
    if (OnReceiveData) OnReceiveData(split.Passed);
  }
  if (!echoFoundBefore && echo_.EchoConfirmed() && OnEchoFound) OnEchoFound();
}

void TKovaComms::ReceiveBytes(std::span<const uint8_t> bytes) {
  const auto size = static_cast<uint16_t>(rxBuffer_.size());
  for (const uint8_t b : bytes) {
    rxBuffer_[rxWriteIndex_] = b;
    if (++rxWriteIndex_ == size) rxWriteIndex_ = 0;
    // The buffer never wraps over its first bytes: once full, the newest
    // byte keeps overwriting the last position.
    if (rxWriteIndex_ == rxReadIndex_)
      rxWriteIndex_ = rxWriteIndex_ == 0 ? size - 1 : rxWriteIndex_ - 1;
    if (matchedItem_ == -1) {
      matchedItem_ = rxCondition_ != nullptr ? rxCondition_->FeedByte(b) : -1;
    } else if (rxCondition_ != nullptr) {
      rxCondition_->CountByte(b);
    }
    if (OnReceiveMsg) {
      const int32_t completed = CheckComplete();
      if (completed != -1) {
        replyTimer_.stop();
        OnReceiveMsg(completed);
        ResetRxMatch();
        ClearRxBuffer();
      }
    }
  }
  if (lastResult_ == NoResult) {
    const int32_t completed = CheckComplete();
    if (completed != -1) {
      // The reply after a damaged echo ends the exchange, never as a reply.
      lastResult_ = echo_.ExchangeFailed() ? EchoDamaged : completed;
      replyTimer_.stop();
      SignalMatch();
    }
  }
}

int32_t TKovaComms::CheckComplete() const {
  if (rxCondition_ == nullptr) return -1;
  for (uint16_t n = 1; n <= rxCondition_->ItemCount(); ++n) {
    if (rxCondition_->IsItemComplete(n)) return n;
  }
  return -1;
}

void TKovaComms::ReplyTimerTick() {
  if (!replyTimer_.isActive() || lastResult_ != NoResult) {
    replyTimer_.stop();
    return;
  }
  // The first tick after SendData only starts the count: N ticks expire
  // about (N + 1) x 100 ms after sending.
  if (tickPhase_ >= 1) {
    if (ticksLeft_ > 0 && ticksLeft_ < NeverExpires) --ticksLeft_;
    tickPhase_ = 0;
  }
  if (ticksLeft_ == 0) {
    replyTimer_.stop();
    trace_.TimedOut();
    SignalTimeout();
    if (OnTimeOut) OnTimeOut();
  }
  ++tickPhase_;
}

void TKovaComms::SignalMatch() {
  if (!waitEventsExist_) return;
  matchEvent_ = true;
  WakeWaits();
}

void TKovaComms::SignalTimeout() {
  if (!waitEventsExist_) return;
  timeoutEvent_ = true;
  WakeWaits();
}

void TKovaComms::WakeWaits() {
  for (QEventLoop* wait : waits_) wait->exit(WaitWoken);
}
