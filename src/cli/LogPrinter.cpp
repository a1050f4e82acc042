#include "cli/LogPrinter.h"

#include <QMetaObject>
#include <cerrno>
#include <system_error>

#include "settings/FileNameBytes.h"

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
    Put("\n");
  } else {
    Print(port, line.Text, "\n");
  }
  Flush();
}

void LogPrinter::PrintLine(const QString& text) {
  Put(FileNameBytes(text) + '\n');
  Flush();
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
        Put(LineStart);
        Print(port, event.Text, ClearToEnd);
      }
      break;
    }
  }
  Flush();
}

void LogPrinter::Print(const QString& port, const QString& text, const char* end) {
  const QString line = prefixPorts_ ? port + QStringLiteral(": ") + text : text;
  Put(FileNameBytes(line) + end);
}

void LogPrinter::Put(const QByteArray& text) {
  if (!gone_) std::fputs(text.constData(), out_);
}

void LogPrinter::Flush() {
  if (gone_ || (std::fflush(out_) == 0 && std::ferror(out_) == 0)) return;
  // A closed pipe or a lost terminal: the run carries on, unprinted.
  gone_ = true;
  const int error = errno;
  if (out_ == stderr) return;
  std::fprintf(stderr,
               "bootload-cli: the output is gone (%s): the run carries on without printing its "
               "log\n",
               std::generic_category().message(error).c_str());
}
