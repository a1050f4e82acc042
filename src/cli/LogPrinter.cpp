#include "cli/LogPrinter.h"

#include <QMetaObject>

namespace {

// Back to the start of the line, and afterwards clear to its end.
constexpr char LineStart[] = "\r";
constexpr char ClearToEnd[] = "\033[K";

}  // namespace

LogPrinter::LogPrinter(std::FILE* out, bool rewriteInPlace, bool prefixPorts, bool quiet)
    : out_(out), rewriteInPlace_(rewriteInPlace), prefixPorts_(prefixPorts), quiet_(quiet) {}

LogSink LogPrinter::SinkFor(const QString& port) {
  return [this, port](const LogEvent& event) {
    QMetaObject::invokeMethod(
        this, [this, port, event] { Handle(port, event); }, Qt::QueuedConnection);
  };
}

void LogPrinter::Finish(const QString& port) {
  OpenLine& line = lines_[port];
  if (!line.Open) return;
  line.Open = false;
  if (quiet_) return;
  if (rewriteInPlace_) {
    std::fputs("\n", out_);
  } else {
    Print(port, line.Text, "\n");
  }
  std::fflush(out_);
}

void LogPrinter::Handle(const QString& port, const LogEvent& event) {
  switch (event.What) {
    case LogEvent::Kind::Clear:
      Finish(port);
      return;
    case LogEvent::Kind::Append:
      Finish(port);
      lines_[port] = {event.Text, true};
      if (rewriteInPlace_ && !quiet_) Print(port, event.Text, "");
      break;
    case LogEvent::Kind::SetLast: {
      OpenLine& line = lines_[port];
      if (!line.Open) return;
      line.Text = event.Text;
      if (rewriteInPlace_ && !quiet_) {
        std::fputs(LineStart, out_);
        Print(port, event.Text, ClearToEnd);
      }
      break;
    }
  }
  std::fflush(out_);
}

void LogPrinter::Print(const QString& port, const QString& text, const char* end) {
  const QString line = prefixPorts_ ? port + QStringLiteral(": ") + text : text;
  std::fprintf(out_, "%s%s", qPrintable(line), end);
}
