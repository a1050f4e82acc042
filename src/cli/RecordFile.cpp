#include "cli/RecordFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <stdexcept>
#include <system_error>

#include "settings/FileNameBytes.h"

namespace {

// How long a reader may take nothing before the records are given up on.
constexpr int WriteLimitMs = 10000;

QString Cause(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

bool IsRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// Writes the folder's entries through to the disk, so that a file made in it
// outlives a power cut; 0, or the error. A file system that cannot sync a
// folder (EINVAL) keeps its entries by other means.
int SyncFolderOf(const QString& path) {
  const int folder = ::open(FileNameBytes(QFileInfo(path).absolutePath()).constData(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder < 0) return errno;
  const int error = ::fsync(folder) == 0 || errno == EINVAL ? 0 : errno;
  ::close(folder);
  return error;
}

}  // namespace

RecordFile::RecordFile(const QString& path) : path_(path) {
  if (path == QStringLiteral("-")) {
    path_ = QStringLiteral("standard output");
    const int flags = ::fcntl(STDOUT_FILENO, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY) {
      throw std::runtime_error(
          FileNameBytes(Failure(QStringLiteral("it is not open for writing"))).toStdString());
    }
    fd_ = STDOUT_FILENO;
    return;
  }
  // Without waiting: a FIFO that no program reads fails at once (ENXIO)
  // instead of holding the run until one does.
  fd_ = ::open(FileNameBytes(path).constData(),
               O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const int error = errno;
    throw std::runtime_error(
        FileNameBytes(Failure(error == ENXIO ? QStringLiteral("no program is reading that FIFO")
                                             : Cause(error)))
            .toStdString());
  }
  ownsFd_ = true;
}

RecordFile::~RecordFile() {
  if (ownsFd_) ::close(fd_);
}

QString RecordFile::Write(const QByteArray& text) {
  QString failure = WriteAll(text);
  if (!ownsFd_) return failure;
  ownsFd_ = false;
  // A file system may report a failed write only when the file is closed.
  if (::close(fd_) != 0 && failure.isEmpty()) failure = Failure(Cause(errno));
  return failure;
}

QString RecordFile::WriteAll(const QByteArray& text) {
  if (IsRegularFile(fd_) && (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)) {
    return Failure(Cause(errno));
  }
  return WriteOut(text);
}

QString RecordFile::Append(const QByteArray& text) {
  const bool regular = IsRegularFile(fd_);
  if (regular && ::lseek(fd_, 0, SEEK_END) < 0) return Failure(Cause(errno));
  QString failure = WriteOut(text);
  if (failure.isEmpty() && regular && ::fdatasync(fd_) != 0) failure = Failure(Cause(errno));
  // The file's own entry, once: it may have been made when it was opened.
  if (failure.isEmpty() && regular && !folderSynced_) {
    const int error = SyncFolderOf(path_);
    failure = error == 0 ? QString() : Failure(Cause(error));
    folderSynced_ = error == 0;
  }
  return failure;
}

QString RecordFile::WriteOut(const QByteArray& text) {
  qsizetype written = 0;
  while (written < text.size()) {
    pollfd ready{fd_, POLLOUT, 0};
    const int polled = ::poll(&ready, 1, WriteLimitMs);
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return Failure(Cause(errno));
    if (polled == 0) {
      return Failure(QStringLiteral("its reader took nothing for %1 s").arg(WriteLimitMs / 1000));
    }
    // At most PIPE_BUF bytes a write: a pipe that polls writable takes that
    // many at once, so that a blocking standard output does not wait either.
    const auto size =
        static_cast<std::size_t>(std::min<qsizetype>(text.size() - written, PIPE_BUF));
    const ssize_t n = ::write(fd_, text.constData() + written, size);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n < 0) return Failure(Cause(errno));
    if (n == 0) return Failure(QStringLiteral("it takes no more"));
    written += n;
  }
  return {};
}

QString RecordFile::Failure(const QString& cause) const {
  return QStringLiteral("Unable to write the record to %1: %2").arg(path_, cause);
}
