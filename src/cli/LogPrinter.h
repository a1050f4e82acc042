#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdio>
#include <map>

#include "cli/LogEvent.h"

// Prints the units' log lines on standard output as they happen, on the
// thread it lives in. On a terminal, with one unit, a line whose text
// changes (a percentage) is rewritten in place; otherwise only each line's
// final text is printed, prefixed with its port when there are several.
// Once the output is gone (a closed pipe, a lost terminal) nothing more is
// printed on it, and the run carries on.
class LogPrinter : public QObject {
 public:
  LogPrinter(std::FILE* out, bool rewriteInPlace, bool prefixPorts, bool quiet);

  // Where one unit's events go; safe to call from the unit's thread.
  LogSink SinkFor(const QString& port);
  // Ends the unit's last line: prints its final text.
  void Finish(const QString& port);
  // Prints one line of its own, even when quiet: a summary line.
  void PrintLine(const QString& text);

 private:
  struct OpenLine {
    QString Text;
    bool Open = false;
  };

  void Handle(const QString& port, const LogEvent& event);
  void Print(const QString& port, const QString& text, const char* end);
  void Put(const QByteArray& text);
  void Flush();

  std::FILE* out_;
  bool rewriteInPlace_;
  bool prefixPorts_;
  bool quiet_;
  bool gone_ = false;
  std::map<QString, OpenLine> lines_;
};
