#include "update/RecordingView.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

namespace {

constexpr QEvent::Type StateEventType = static_cast<QEvent::Type>(0x8190);
constexpr int RunLimitMs = 30000;

class StateEvent : public QEvent {
 public:
  explicit StateEvent(int32_t state) : QEvent(StateEventType), State(state) {}
  const int32_t State;
};

}  // namespace

void RecordingView::ClearLog() {
  Log.clear();
  SelectedLine = -1;
}

void RecordingView::AppendLogLine(const QString& text) {
  Log.append(text);
  SelectedLine = static_cast<int>(Log.size()) - 1;
}

void RecordingView::SetLastLogLine(const QString& text) {
  if (!Log.isEmpty()) Log.last() = text;
}

void RecordingView::DelayWithMessages(int32_t) {}

void RecordingView::ProcessPendingMessages() {
  QCoreApplication::processEvents();
}

void RecordingView::SetRunButtonsEnabled(bool enabled) {
  RunButtonsEnabled = enabled;
}

void RecordingView::PostUpdateState(int32_t state) {
  PostedStates.push_back(state);
  ++pendingStates_;
  QCoreApplication::postEvent(this, new StateEvent(state));
}

bool RecordingView::event(QEvent* event) {
  if (event->type() != StateEventType) return QObject::event(event);
  --pendingStates_;
  LastOutcome = Machine->Dispatch(static_cast<StateEvent*>(event)->State);
  return true;
}

bool RecordingView::RunUntilIdle() {
  const QDeadlineTimer deadline(RunLimitMs);
  while (pendingStates_ > 0) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}
