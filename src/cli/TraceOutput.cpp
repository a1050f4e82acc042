#include "cli/TraceOutput.h"

#include <QFile>
#include <cerrno>
#include <system_error>

namespace {

QString ErrorText(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

}  // namespace

TraceOutput::TraceOutput(const QString& path) : path_(path) {
  std::FILE* out = stderr;
  if (path != QStringLiteral("-")) {
    file_.reset(std::fopen(QFile::encodeName(path).constData(), "w"));
    if (!file_) {
      openError_ = QStringLiteral(
                       "cannot write the trace to %1: %2; name a file in a folder you "
                       "may write to")
                       .arg(path, ErrorText(errno));
      return;
    }
    out = file_.get();
  }
  trace_ = std::make_unique<WireTraceFile>(out);
}

QString TraceOutput::WriteError() const {
  const int error = trace_ ? trace_->WriteError() : 0;
  if (error == 0) return {};
  return QStringLiteral("the trace in %1 is incomplete: %2")
      .arg(path_ == QStringLiteral("-") ? QStringLiteral("standard error") : path_,
           ErrorText(error));
}
