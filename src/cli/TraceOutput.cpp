#include "cli/TraceOutput.h"

#include "settings/FileNameBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace {

QString ErrorText(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

// Whether path is the file open on fd, whatever its spelling.
bool IsSameFile(int fd, const QString& path) {
  struct stat trace {};
  struct stat other {};
  return path != QStringLiteral("-") && ::fstat(fd, &trace) == 0 &&
         ::stat(FileNameBytes(path).constData(), &other) == 0 && trace.st_dev == other.st_dev &&
         trace.st_ino == other.st_ino;
}

}  // namespace

TraceOutput::TraceOutput(const QString& path, const std::vector<FileInUse>& inUse) : path_(path) {
  std::FILE* out = stderr;
  if (path != QStringLiteral("-")) {
    // Without waiting: a FIFO that no program reads fails at once (ENXIO)
    // instead of holding the run before it starts.
    const int fd = ::open(FileNameBytes(path).constData(),
                          O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
      const int error = errno;
      Refuse(error == ENXIO ? QStringLiteral("no program is reading that FIFO") : ErrorText(error));
      return;
    }
    file_.reset(::fdopen(fd, "w"));
    if (!file_) {
      ::close(fd);
      Refuse(ErrorText(errno));
      return;
    }
    // A reader was there: from now on a line waits for it, as on a terminal.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    for (const FileInUse& file : inUse) {
      if (!IsSameFile(fd, file.Path)) continue;
      file_.reset();
      Refuse(QStringLiteral("it is ") + file.Role);
      return;
    }
    // Emptied only once it is known to be no file the run uses.
    struct stat status {};
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::ftruncate(fd, 0) != 0) {
      const int error = errno;
      file_.reset();
      Refuse(ErrorText(error));
      return;
    }
    out = file_.get();
  }
  trace_ = std::make_unique<WireTraceFile>(out);
}

void TraceOutput::Refuse(const QString& cause) {
  openError_ = QStringLiteral(
                   "cannot write the trace to %1: %2; name another file, in a folder "
                   "you may write to")
                   .arg(path_, cause);
}

QString TraceOutput::WriteError() const {
  const int error = trace_ ? trace_->WriteError() : 0;
  if (error == 0) return {};
  return QStringLiteral("the trace in %1 is incomplete: %2")
      .arg(path_ == QStringLiteral("-") ? QStringLiteral("standard error") : path_,
           ErrorText(error));
}
