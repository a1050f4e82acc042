#include "comms/FileToRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <system_error>
#include <utility>

namespace {

QString Cause(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

QString KindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return QStringLiteral("a FIFO");
  if (S_ISCHR(mode)) return QStringLiteral("a character device");
  if (S_ISBLK(mode)) return QStringLiteral("a block device");
  if (S_ISDIR(mode)) return QStringLiteral("a folder");
  if (S_ISSOCK(mode)) return QStringLiteral("a socket");
  return QStringLiteral("no plain file");
}

QString NotRegularCause(const struct stat& status) {
  return QStringLiteral("it is %1, not a regular file").arg(KindOf(status.st_mode));
}

// A descriptor closed by its owner's end.
class ReadDescriptor {
 public:
  explicit ReadDescriptor(int fd) : fd_(fd) {}
  ~ReadDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadDescriptor(const ReadDescriptor&) = delete;
  ReadDescriptor& operator=(const ReadDescriptor&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

QString NotRegularFileCause(const QByteArray& path) {
  struct stat status {};
  if (::stat(path.constData(), &status) != 0) {
    const int error = errno;
    struct stat link {};
    if (error == ENOENT && ::lstat(path.constData(), &link) == 0)
      return QStringLiteral("it is a link to nothing");
    return Cause(error);
  }
  return S_ISREG(status.st_mode) ? QString() : NotRegularCause(status);
}

std::variant<QByteArray, QString> ReadFileToRead(const QByteArray& path, qsizetype maxSize) {
  if (QString cause = NotRegularFileCause(path); !cause.isEmpty()) return cause;
  // Without waiting, so that a FIFO put in its place since is not waited on.
  const ReadDescriptor file(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  struct stat status {};
  if (file.Fd() < 0 || ::fstat(file.Fd(), &status) != 0) return Cause(errno);
  if (!S_ISREG(status.st_mode)) return NotRegularCause(status);
  QByteArray content;
  std::array<char, 4096> chunk{};
  for (;;) {
    const ssize_t n = ::read(file.Fd(), chunk.data(), chunk.size());
    if (n == 0) return content;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Cause(errno);
    content.append(chunk.data(), n);
    if (content.size() > maxSize) return QStringLiteral("it is larger than %1 bytes").arg(maxSize);
  }
}
