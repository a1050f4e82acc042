#include "app/MessageBoxes.h"

#include "app/Beep.h"
#include "app/BootloadApplication.h"

#include <cerrno>
#include <cstdio>

namespace {

struct KindRow {
  MessageKind kind;
  uint32_t sound;
  QMessageBox::Icon icon;
  const char* caption;
};

constexpr KindRow Kinds[] = {
    {MessageKind::Warning, BeepSound::Exclamation, QMessageBox::Warning, "Warning"},
    {MessageKind::Error, BeepSound::Hand, QMessageBox::Critical, "Error"},
    {MessageKind::Information, BeepSound::Default, QMessageBox::Information, "Information"},
    {MessageKind::Confirmation, BeepSound::Question, QMessageBox::Question, "Confirm"},
    {MessageKind::Custom, BeepSound::Asterisk, QMessageBox::NoIcon, nullptr},
};

const KindRow& RowOf(MessageKind kind) {
  for (const KindRow& row : Kinds) {
    if (row.kind == kind) return row;
  }
  return Kinds[0];
}

QMessageBox::StandardButton ShowBox(QMessageBox::Icon icon, const QString& title,
                                    const QString& text, QMessageBox::StandardButtons buttons,
                                    const QString& detail) {
  QMessageBox box(icon, title, text, buttons, QApplication::activeWindow());
  box.setInformativeText(detail);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString WithFullStop(const QString& message) {
  if (message.isEmpty() || message.back() <= QLatin1Char('.')) return message;
  return message + QLatin1Char('.');
}

void ShowErrorBox(const QString& message, const QString& detail) {
  ShowBox(QMessageBox::Critical, TBootloadApplication::Title(), WithFullStop(message),
          QMessageBox::Ok, detail);
}

void ShowPlainMessage(const QString& text, const QString& detail) {
  ShowBox(QMessageBox::NoIcon, TBootloadApplication::Title(), text, QMessageBox::Ok, detail);
}

void ReportDetail(const QString& detail) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, qPrintable(detail));
}

QMessageBox::StandardButton BeepAndShowMessage(const QString& text, MessageKind kind,
                                               QMessageBox::StandardButtons buttons,
                                               int32_t /*helpContext*/, const QString& detail) {
  const KindRow& row = RowOf(kind);
  MessageBeep(row.sound);
  const QString caption = row.kind == MessageKind::Custom ? TBootloadApplication::Title()
                                                          : QString::fromLatin1(row.caption);
  return ShowBox(row.icon, caption, text, buttons, detail);
}
