#pragma once

#include <QSpinBox>

// The Slave Address box: digits, plus, minus and the decimal separator may be
// typed, anything else is refused with the default beep; text that is no
// integer reads as the minimum; the range is enforced when focus leaves.
class TSlaveAddressSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  explicit TSlaveAddressSpinBox(QWidget* parent = nullptr);

  // The text read as an integer, or the minimum when it is none.
  int TextValue() const;

 signals:
  // The text changed, by typing, by the arrows or by the correction when
  // focus leaves.
  void TextValueChanged(int value);

 protected:
  QValidator::State validate(QString& input, int& pos) const override;
  int valueFromText(const QString& text) const override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void stepBy(int steps) override;

 private:
  bool IsAllowedText(const QString& text) const;
  void NoteTextChange();

  QString lastText_;
};
