#include "image/ImageFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "image/FirmwareImage.h"

namespace {

// A file descriptor closed in exactly one place.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  FileDescriptor& operator=(FileDescriptor&&) = delete;

  int get() const { return fd_; }
  bool isValid() const { return fd_ >= 0; }

 private:
  int fd_;
};

[[noreturn]] void fail(const char* what, const QString& path) {
  throw std::runtime_error((what + path).toStdString());
}

bool isRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// Nonblocking, so that a named pipe is refused rather than waited on; a
// regular file reads the same either way.
FileDescriptor openLocked(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  FileDescriptor file(::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (!file.isValid() || !isRegularFile(file.get()) ||
      ::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
    fail("Cannot open file ", path);
  }
  return file;
}

// Up to FirmwareImage::Size bytes from the start of the file; nothing when a
// read fails.
std::optional<std::vector<uint8_t>> readImageBytes(int fd) {
  std::vector<uint8_t> bytes(FirmwareImage::Size);
  std::size_t count = 0;
  while (count < bytes.size()) {
    const ssize_t got = ::read(fd, bytes.data() + count, bytes.size() - count);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    count += static_cast<std::size_t>(got);
  }
  bytes.resize(count);
  return bytes;
}

}  // namespace

void LoadImageFromFile(FirmwareImage& image, const QString& path) {
  const FileDescriptor file = openLocked(path);
  const auto bytes = readImageBytes(file.get());
  if (!bytes) fail("Cannot read file ", path);
  // Filling only the file's bytes would send the unit a mix of two images.
  if (bytes->size() < FirmwareImage::Size) {
    const QString message =
        QStringLiteral("Cannot use file %1: it holds %2 bytes; a firmware image is %3 bytes")
            .arg(path, QString::number(bytes->size()), QString::number(FirmwareImage::Size));
    throw std::runtime_error(message.toStdString());
  }
  image.Fill(*bytes);
}
