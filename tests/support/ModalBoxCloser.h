#pragma once

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <vector>

// Watches for modal message boxes while it lives, records each one and
// closes it with its default (or only) button, so that code showing a box
// can run inside a test.
class ModalBoxCloser : public QObject {
 public:
  struct SeenBox {
    QString title;
    QString text;
    QString detail;  // the line under the text
    QMessageBox::Icon icon;
    QStringList windowsBehind;  // captions of the other visible windows
  };

  ModalBoxCloser();

  const std::vector<SeenBox>& Boxes() const { return boxes_; }

 private:
  void CloseVisibleBox();

  QTimer timer_;
  QPointer<QMessageBox> handled_;
  std::vector<SeenBox> boxes_;
};
