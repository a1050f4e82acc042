#include "app/SlaveAddressSpinBox.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>

#include "app/Beep.h"
#include "settings/TextToInteger.h"

namespace {

constexpr int MaxTextLength = 3;

}  // namespace

TSlaveAddressSpinBox::TSlaveAddressSpinBox(QWidget* parent) : QSpinBox(parent) {
  lineEdit()->setMaxLength(MaxTextLength);
  connect(lineEdit(), &QLineEdit::textChanged, this,
          [this] { emit TextValueChanged(TextValue()); });
}

void TSlaveAddressSpinBox::NoteTextChange() {
  const QString text = lineEdit()->text();
  if (text == lastText_) return;
  lastText_ = text;
  emit TextValueChanged(TextValue());
}

int TSlaveAddressSpinBox::TextValue() const {
  return valueFromText(lineEdit()->text());
}

bool TSlaveAddressSpinBox::IsAllowedText(const QString& text) const {
  const QString separator = locale().decimalPoint();
  for (const QChar c : text) {
    if (!c.isDigit() && c != QLatin1Char('+') && c != QLatin1Char('-') && !separator.contains(c)) {
      return false;
    }
  }
  return true;
}

QValidator::State TSlaveAddressSpinBox::validate(QString& input, int& /*pos*/) const {
  return IsAllowedText(input) ? QValidator::Acceptable : QValidator::Invalid;
}

int TSlaveAddressSpinBox::valueFromText(const QString& text) const {
  return TextToInteger(text).value_or(minimum());
}

void TSlaveAddressSpinBox::keyPressEvent(QKeyEvent* event) {
  const QString typed = event->text();
  if (!typed.isEmpty() && typed.front().isPrint() && !IsAllowedText(typed)) {
    MessageBeep(BeepSound::Default);
    event->accept();
    return;
  }
  QSpinBox::keyPressEvent(event);
}

// The box rewrites its text with the editor's signals blocked when it steps
// and when it corrects the value on losing focus; both count as changes.
void TSlaveAddressSpinBox::focusOutEvent(QFocusEvent* event) {
  QSpinBox::focusOutEvent(event);
  NoteTextChange();
}

void TSlaveAddressSpinBox::stepBy(int steps) {
  QSpinBox::stepBy(steps);
  NoteTextChange();
}
