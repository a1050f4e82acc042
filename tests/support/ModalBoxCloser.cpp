#include "support/ModalBoxCloser.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPushButton>

ModalBoxCloser::ModalBoxCloser() {
  connect(&timer_, &QTimer::timeout, this, &ModalBoxCloser::CloseVisibleBox);
  timer_.start(10);
}

void ModalBoxCloser::CloseVisibleBox() {
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (box == nullptr || !box->isVisible() || box == handled_) return;
  handled_ = box;
  QStringList behind;
  for (const QWidget* window : QApplication::topLevelWidgets()) {
    if (window != box && window->isVisible()) behind.append(window->windowTitle());
  }
  boxes_.push_back({box->windowTitle(), box->text(), box->informativeText(), box->icon(), behind});
  QAbstractButton* button = box->defaultButton() != nullptr
                                ? static_cast<QAbstractButton*>(box->defaultButton())
                                : box->buttons().value(0);
  // Clicked through a queued call so the box's own loop ends it, not this
  // timer slot.
  QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
}
