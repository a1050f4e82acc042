#include "app/BootloadApplication.h"

#include <sys/prctl.h>

#include "app/MessageBoxes.h"
#include "comms/KovaComms.h"

namespace {

// The update's pauses between requests run on this thread; without slack
// they end on time instead of up to 50 us late on every request. Refused,
// the usual slack stays.
constexpr unsigned long PauseTimerSlackNs = 1000;

QString& TitleStorage() {
  static QString title;
  return title;
}

}  // namespace

TBootloadApplication::TBootloadApplication(int& argc, char** argv) : QApplication(argc, argv) {
  SetTitle(QString());
  prctl(PR_SET_TIMERSLACK, PauseTimerSlackNs);
}

bool TBootloadApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowErrorBox(QStringLiteral("Unexpected error"));
  }
  return false;
}

QString TBootloadApplication::Title() {
  return TitleStorage();
}

void TBootloadApplication::SetTitle(const QString& title) {
  TitleStorage() = title;
}

void TBootloadApplication::ShowException(const std::exception& error) {
  const auto* commsError = dynamic_cast<const ECommsError*>(&error);
  const QString detail =
      commsError != nullptr ? QString::fromStdString(commsError->Detail()) : QString();
  if (!detail.isEmpty()) ReportDetail(detail);
  ShowErrorBox(QString::fromUtf8(error.what()), detail);
}
