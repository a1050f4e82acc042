#include "image/ImageFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "image/AddressedImage.h"
#include "image/FirmwareImage.h"
#include "image/IntelHexReader.h"
#include "image/RecordLines.h"
#include "image/SRecordReader.h"

namespace {

// Far more than any text file of a 64 KiB image holds; a larger one is not
// a firmware file for these units.
constexpr std::size_t TextFileLimit = std::size_t{32} * 1024 * 1024;
constexpr std::size_t ReadChunk = std::size_t{64} * 1024;

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

[[noreturn]] void refuse(const QString& path, const QString& why) {
  throw std::runtime_error(QStringLiteral("Cannot use file %1: %2").arg(path, why).toStdString());
}

[[noreturn]] void refuse(const QString& path, const ImageRecordError& error) {
  const QString why = QString::fromStdString(error.what());
  if (error.Line() == 0) refuse(path, why);
  refuse(path, QStringLiteral("line %1: %2").arg(error.Line()).arg(why));
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

struct FileBytes {
  std::vector<uint8_t> Kept;  // up to the text file limit and one byte more
  QByteArray Sha256;
};

// The whole file through the hash, keeping its first bytes.
FileBytes readWhole(int fd, const QString& path) {
  FileBytes file;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  std::array<uint8_t, ReadChunk> chunk{};
  for (;;) {
    const ssize_t got = ::read(fd, chunk.data(), chunk.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      fail("Cannot read file ", path);
    }
    const auto count = static_cast<std::size_t>(got);
    hash.addData(QByteArrayView(chunk.data(), static_cast<qsizetype>(count)));
    const std::size_t room = TextFileLimit + 1 - std::min(file.Kept.size(), TextFileLimit + 1);
    file.Kept.insert(file.Kept.end(), chunk.begin(), chunk.begin() + std::min(count, room));
  }
  file.Sha256 = hash.result().toHex();
  return file;
}

AddressedBytes readText(const std::vector<uint8_t>& text, ImageFileFormat format,
                        const QString& path) {
  if (text.size() > TextFileLimit) {
    refuse(path, QStringLiteral("it is larger than %1 MiB, more than any firmware file of "
                                "these units holds")
                     .arg(TextFileLimit / (std::size_t{1024} * 1024)));
  }
  try {
    return format == ImageFileFormat::IntelHex ? ReadIntelHex(text) : ReadSRecords(text);
  } catch (const ImageRecordError& error) {
    refuse(path, error);
  }
}

}  // namespace

ImageFileContent ReadImageFile(const QString& path, std::optional<ImageFileFormat> format) {
  const FileDescriptor file = openLocked(path);
  FileBytes bytes = readWhole(file.get(), path);
  ImageFileContent content;
  content.Path = path;
  content.Sha256 = bytes.Sha256;
  content.Format = format.value_or(DetectImageFileFormat(bytes.Kept));
  if (content.Format != ImageFileFormat::Raw) {
    content.Addressed = readText(bytes.Kept, content.Format, path);
    return content;
  }
  // Filling only the file's bytes would send the unit a mix of two images.
  if (bytes.Kept.size() < FirmwareImage::Size) {
    refuse(path,
           QStringLiteral("it holds %1 bytes; a firmware image is %2 bytes")
               .arg(QString::number(bytes.Kept.size()), QString::number(FirmwareImage::Size)));
  }
  bytes.Kept.resize(FirmwareImage::Size);
  content.RawBytes = std::move(bytes.Kept);
  return content;
}

void ApplyImageFile(FirmwareImage& image, const ImageFileContent& content,
                    uint32_t programEndAddress) {
  if (content.Format == ImageFileFormat::Raw) {
    image.Fill(content.RawBytes);
    return;
  }
  try {
    FillFromAddressedBytes(image, content.Addressed, programEndAddress);
  } catch (const ImageRecordError& error) {
    refuse(content.Path, error);
  }
}

ImageFileContent LoadImageFromFile(FirmwareImage& image, const QString& path,
                                   uint32_t programEndAddress,
                                   std::optional<ImageFileFormat> format) {
  ImageFileContent content = ReadImageFile(path, format);
  ApplyImageFile(image, content, programEndAddress);
  return content;
}
