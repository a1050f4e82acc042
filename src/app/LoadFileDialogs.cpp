#include "app/LoadFileDialogs.h"

#include <QFileDialog>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QScreen>
#include <stdexcept>

#include "settings/TextToInteger.h"

namespace {

constexpr int MaxInputLength = 255;

void centreOnScreen(QWidget& window) {
  window.adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = window.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    window.move(frame.topLeft());
  }
}

QString inputText(QWidget* parent, const QString& title, const QString& label) {
  QInputDialog box(parent);
  box.setWindowTitle(title);
  box.setLabelText(label);
  box.setInputMode(QInputDialog::TextInput);
  // The box's own edit field: the box itself offers no length limit.
  box.findChild<QLineEdit*>()->setMaxLength(MaxInputLength);
  centreOnScreen(box);
  return box.exec() == QDialog::Accepted ? box.textValue() : QString();
}

}  // namespace

QFileDialog* CreateOpenDialog(QWidget* parent) {
  auto* dialog = new QFileDialog(parent);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::AnyFile);
  return dialog;
}

std::optional<QString> ExecuteOpenDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.first();
}

uint16_t InputWord(QWidget* parent, const QString& title, const QString& label) {
  const QString text = inputText(parent, title, label);
  const auto value = TextToInteger(text);
  if (!value)
    throw std::runtime_error(("'" + text + "' is not a valid integer value").toStdString());
  return static_cast<uint16_t>(*value);
}
