#include "settings/RegularFile.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <utility>
#include <variant>

#include "comms/FileToRead.h"

namespace {

// As many links as the kernel follows in one path.
constexpr int MaxLinkHops = 40;

// Owns a descriptor; Close reports what closing says, since a write may
// fail only there.
class OpenFile {
 public:
  explicit OpenFile(int fd) : fd_(fd) {}
  ~OpenFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

bool IsRegularFile(int fd) {
  struct stat status {};
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

// Writes everything, forces it to the disk and closes the file.
bool WriteAllAndClose(OpenFile& file, const QByteArray& content) {
  qsizetype written = 0;
  while (written < content.size()) {
    const ssize_t n = ::write(file.Fd(), content.constData() + written,
                              static_cast<std::size_t>(content.size() - written));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += n;
  }
  return ::fsync(file.Fd()) == 0 && file.Close();
}

// Whether every link met on the way from path to what it leads to is owned
// by this user: the rule the kernel's protected symlinks apply, so that a
// link someone else planted is never written through.
bool LinksAreOurs(QByteArray path) {
  for (int hop = 0; hop < MaxLinkHops; ++hop) {
    struct stat entry {};
    if (::lstat(path.constData(), &entry) != 0) return false;
    if (!S_ISLNK(entry.st_mode)) return true;
    if (entry.st_uid != ::geteuid()) return false;
    std::array<char, PATH_MAX> text{};
    const ssize_t length = ::readlink(path.constData(), text.data(), text.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= text.size()) return false;
    const QByteArray target(text.data(), length);
    path = target.startsWith('/') ? target : path.left(path.lastIndexOf('/') + 1) + target;
  }
  return false;
}

// The path to write: path itself when nothing or a regular file is there,
// the file a link leads to when that file and every link on the way are this
// user's; nothing for anything else, a dangling link included.
std::optional<QByteArray> WritableTarget(const QByteArray& path) {
  struct stat entry {};
  if (::lstat(path.constData(), &entry) != 0) {
    return errno == ENOENT ? std::optional(path) : std::nullopt;
  }
  if (S_ISREG(entry.st_mode)) return path;
  if (!S_ISLNK(entry.st_mode) || !LinksAreOurs(path)) return std::nullopt;
  const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.constData(), nullptr),
                                                             &std::free);
  struct stat target {};
  if (!resolved || ::stat(resolved.get(), &target) != 0 || !S_ISREG(target.st_mode) ||
      target.st_uid != ::geteuid()) {
    return std::nullopt;
  }
  return QByteArray(resolved.get());
}

bool CreateFile(const QByteArray& path, const QByteArray& content) {
  // O_EXCL: whatever appeared at the path since it was checked, a link
  // included, is left alone.
  OpenFile file(::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
  if (!file.IsOpen()) return false;
  if (WriteAllAndClose(file, content)) return true;
  ::unlink(path.constData());
  return false;
}

bool WriteInPlace(const QByteArray& path, const QByteArray& content) {
  OpenFile file(
      ::open(path.constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
  return file.IsOpen() && IsRegularFile(file.Fd()) && ::ftruncate(file.Fd(), 0) == 0 &&
         WriteAllAndClose(file, content);
}

bool ReplaceFile(const QByteArray& path, const struct stat& old, const QByteArray& content) {
  QByteArray temporary = path + ".XXXXXX";
  OpenFile file(::mkostemp(temporary.data(), O_CLOEXEC));
  // A folder that takes no new file (read-only, for anyone but root) still
  // lets the file in it be rewritten.
  if (!file.IsOpen()) return (errno == EACCES || errno == EPERM) && WriteInPlace(path, content);
  // Only root may give the file to another owner; anyone else owns it.
  const bool ownerKept =
      ::fchown(file.Fd(), old.st_uid, old.st_gid) == 0 || (errno == EPERM && ::geteuid() != 0);
  if (ownerKept && ::fchmod(file.Fd(), old.st_mode & 07777) == 0 &&
      WriteAllAndClose(file, content) && ::rename(temporary.constData(), path.constData()) == 0) {
    return true;
  }
  ::unlink(temporary.constData());
  return false;
}

}  // namespace

bool IsRegularFile(const QByteArray& path) {
  struct stat status {};
  return ::stat(path.constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool PathExists(const QByteArray& path) {
  struct stat status {};
  return ::lstat(path.constData(), &status) == 0;
}

std::optional<QByteArray> ReadRegularFile(const QByteArray& path, qsizetype maxSize) {
  auto content = ReadFileToRead(path, maxSize);
  if (auto* bytes = std::get_if<QByteArray>(&content)) return std::move(*bytes);
  return std::nullopt;
}

bool WriteRegularFile(const QByteArray& path, const QByteArray& content) {
  const std::optional<QByteArray> target = WritableTarget(path);
  if (!target) return false;
  struct stat old {};
  if (::lstat(target->constData(), &old) != 0) return CreateFile(*target, content);
  return S_ISREG(old.st_mode) && ReplaceFile(*target, old, content);
}
