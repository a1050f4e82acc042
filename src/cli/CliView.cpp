#include "cli/CliView.h"

#include <QCoreApplication>

#include "update/DelayWithMessages.h"
#include "update/UpdateStateEvent.h"
#include "update/UpdateStateMachine.h"

CliView::CliView(TKovaComms& link, std::string device, const ProductIdentity& identity,
                 const FirmwareImage& image, int32_t slaveAddress, LogSink log,
                 QObject& stateTarget)
    : link_(link),
      device_(std::move(device)),
      identity_(identity),
      image_(image),
      slaveAddress_(slaveAddress),
      log_(std::move(log)),
      stateTarget_(stateTarget) {}

void CliView::ClearLog() {
  lastLine_.clear();
  log_({LogEvent::Kind::Clear, {}});
}

void CliView::AppendLogLine(const QString& text) {
  lastLine_ = text;
  log_({LogEvent::Kind::Append, text});
}

void CliView::AppendNote(const LogNote& note) {
  if (!note.Routine) lastUnusualNote_ = note.Text;
  log_({LogEvent::Kind::Append, note.Text});
}

void CliView::SetLastLogLine(const QString& text) {
  lastLine_ = text;
  log_({LogEvent::Kind::SetLast, text});
}

void CliView::DelayWithMessages(int32_t milliseconds) {
  ::DelayWithMessages(milliseconds);
}

void CliView::ProcessPendingMessages() {
  QCoreApplication::processEvents();
}

void CliView::SetRunButtonsEnabled(bool /*enabled*/) {}

void CliView::PostUpdateState(int32_t state) {
  const int32_t next = stopping_ ? UpdateState::Finished : state;
  QCoreApplication::postEvent(&stateTarget_, new TUpdateStateEvent(next));
}

void CliView::RunEnded(const RunOutcome& outcome) {
  outcome_ = outcome;
}
