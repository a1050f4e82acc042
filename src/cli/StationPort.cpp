#include "cli/StationPort.h"

#include <QObject>
#include <algorithm>
#include <chrono>

#include "cli/CliView.h"
#include "cli/StationPoll.h"
#include "comms/KovaComms.h"
#include "update/DelayWithMessages.h"

namespace {

using Clock = std::chrono::steady_clock;

// A poll round about once a second.
constexpr std::chrono::milliseconds PollPeriod{1000};
// Two rounds in a row without an answer, about 2 s: the unit is off.
constexpr int TakenOffRounds = 2;
// How often a pause looks at the stop signal.
constexpr std::chrono::milliseconds StopCheck{50};

bool IsAnswer(const PollAnswer& answer) {
  return answer.What != PollAnswer::Kind::Nothing && answer.What != PollAnswer::Kind::PortLost;
}

}  // namespace

StationPort::StationPort(UnitUpdate::Setup setup, LogSink log, bool statusInPlace,
                         const std::atomic<int>& stopSignal, Events events)
    : update_(std::move(setup), log, stopSignal),
      log_(std::move(log)),
      statusInPlace_(statusInPlace),
      stopSignal_(stopSignal),
      events_(std::move(events)) {}

void StationPort::Run() {
  const UnitUpdate::Setup& setup = update_.Settings();
  const std::unique_ptr<TKovaComms> ownLink = update_.NewLink();
  TKovaComms& link = *ownLink;
  // The poll posts no states and writes no log lines.
  QObject noStates;
  CliView view(
      link, setup.Device, setup.Identity, setup.Image, setup.SlaveAddress, [](const LogEvent&) {},
      noStates);
  bool waitingForTakeOff = false;
  bool seenEmpty = false;
  bool lost = false;
  int silentRounds = 0;
  // Whether the line echoes is found once for the port, not at every round.
  link.SetEchoMode(setup.Echo);
  Status(QStringLiteral("Waiting for a unit"));
  while (!Stopping()) {
    const Clock::time_point roundStart = Clock::now();
    UnitRecord current = update_.NewRecord();
    const uint64_t sentBefore = link.BytesSent();
    const uint64_t receivedBefore = link.BytesReceived();
    const PollAnswer answer = PollPort(view, setup.ComNumber);
    // A stop during the round ends the station before any update starts.
    if (Stopping()) break;
    if (answer.What == PollAnswer::Kind::PortLost) {
      // Another unit may be there when it is back: the port counts as seen
      // empty, and a unit there when it went as taken off.
      if (waitingForTakeOff) status_ = QStringLiteral("Waiting for a unit");
      waitingForTakeOff = false;
      if (!lost) {
        Notice(QStringLiteral("port lost (%1); the station goes on and takes it up "
                              "again when it is back")
                   .arg(answer.PortDetail));
      }
      lost = seenEmpty = true;
      // The adapter that comes back may be another one.
      link.SetEchoMode(setup.Echo);
      PauseUntilNextRound(roundStart);
      continue;
    }
    if (lost) Notice(QStringLiteral("port back"));
    lost = false;
    if (!IsAnswer(answer)) seenEmpty = true;
    if (waitingForTakeOff) {
      silentRounds = IsAnswer(answer) ? 0 : silentRounds + 1;
      if (silentRounds >= TakenOffRounds) {
        waitingForTakeOff = false;
        Status(QStringLiteral("Waiting for a unit"));
      }
    } else if (answer.What == PollAnswer::Kind::Running ||
               answer.What == PollAnswer::Kind::BootLoader) {
      // The summary line ends the status line.
      status_.clear();
      if (IsCurrent(answer)) {
        current.Outcome = UnitRecord::Result::Current;
        current.UnitModel = answer.UnitModel;
        current.UnitVersion = answer.UnitVersion;
        current.BytesSent = link.BytesSent() - sentBefore;
        current.BytesReceived = link.BytesReceived() - receivedBefore;
        current.LineEchoes = link.Echo().EchoSeen();
        current.End = QDateTime::currentDateTimeUtc();
        events_.UnitEnded(current);
      } else {
        events_.UnitEnded(update_.RunOn(link, seenEmpty));
      }
      waitingForTakeOff = true;
      silentRounds = 0;
      Status(QStringLiteral("Waiting for the unit to be taken off"));
    } else {
      // Something answers that is no unit to act on: the operator should know.
      Status(answer.What == PollAnswer::Kind::Garbled
                 ? QStringLiteral("A reply came, but damaged: check the unit's wiring and the "
                                  "line's speed and echo")
                 : QStringLiteral("Waiting for a unit"));
    }
    PauseUntilNextRound(roundStart);
  }
  link.Close();
}

void StationPort::Status(const QString& text) {
  if (text == status_) return;
  if (statusInPlace_ && !status_.isEmpty()) {
    log_({LogEvent::Kind::SetLast, text});
  } else {
    log_({LogEvent::Kind::Append, text});
    // Printed now as a line of its own, rather than when the next one starts.
    if (!statusInPlace_) log_({LogEvent::Kind::Clear, {}});
  }
  status_ = text;
}

void StationPort::Notice(const QString& text) {
  events_.Notice(text);
  const QString status = status_;
  status_.clear();
  Status(status);
}

void StationPort::PauseUntilNextRound(Clock::time_point roundStart) const {
  const Clock::time_point next = roundStart + PollPeriod;
  for (Clock::time_point now = Clock::now(); now < next && !Stopping(); now = Clock::now()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - now);
    DelayWithMessages(static_cast<int32_t>(std::min(left, StopCheck).count()));
  }
}

// The image's firmware version, reported for the model the image is for:
// the model the boot loader must report, or the product's RM number.
bool StationPort::IsCurrent(const PollAnswer& answer) const {
  const ProductIdentity& identity = update_.Settings().Identity;
  return answer.What == PollAnswer::Kind::Running &&
         answer.UnitVersion == identity.FirmwareVersion &&
         (answer.UnitModel == identity.ExpectedModel || answer.UnitModel == identity.RmNumber);
}
