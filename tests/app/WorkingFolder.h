#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "support/Files.h"

// A fresh temporary folder made the working folder for the test's lifetime.
class WorkingFolder {
 public:
  WorkingFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~WorkingFolder() { QDir::setCurrent(previous_); }

  QString Path(const QString& name) const { return dir_.filePath(name); }

  QByteArray Read(const QString& name) const { return ReadFileBytes(Path(name)); }

  void Write(const QString& name, const QByteArray& content) const {
    WriteFileBytes(Path(name), content);
  }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

// Dispatches events until done() holds; false when the generous limit ran
// out first.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int limitMs = 30000) {
  const QDeadlineTimer deadline(limitMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}
