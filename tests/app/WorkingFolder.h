#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>

#include "support/Files.h"

// A fresh temporary folder made the working folder for the test's lifetime.
class WorkingFolder {
 public:
  WorkingFolder() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
  ~WorkingFolder() { QDir::setCurrent(previous_); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

  QString Path(const QString& name) const { return dir_.filePath(name); }

  QByteArray Read(const QString& name) const { return ReadFileBytes(Path(name)); }

  void Write(const QString& name, const QByteArray& content) const {
    WriteFileBytes(Path(name), content);
  }

  // Writes a settings file remembering port comPort, with the given COM
  // ports mapped to device paths, so that nothing depends on the serial
  // ports this machine has.
  void WriteSettings(int comPort, std::initializer_list<std::pair<int, std::string>> ports) const {
    QByteArray content =
        "[Options]\r\nComms_Port=" + QByteArray::number(comPort) + "\r\n[Ports]\r\n";
    for (const auto& [number, path] : ports) {
      content +=
          "COM" + QByteArray::number(number) + "=" + QByteArray::fromStdString(path) + "\r\n";
    }
    Write("Bootload.Ini", content);
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
