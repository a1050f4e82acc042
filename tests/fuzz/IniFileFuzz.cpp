// Fuzzes the settings file's INI layer: a file of any content gets the port
// set into it as the program sets it, and is read again. The port must come
// back, and every other line must survive byte for byte. Input: the port
// number (16 bits), then the file's content.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>

#include "FuzzInput.h"
#include "settings/SettingsFile.h"

namespace {

using Lines = QList<QByteArray>;

const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");
const QString MemoryFileSystem = QStringLiteral("/dev/shm");

// In memory where the machine has it: every write ends in a sync.
const QString& Folder() {
  static const QString base =
      QFileInfo(MemoryFileSystem).isWritable() ? MemoryFileSystem : QDir::tempPath();
  static const QTemporaryDir dir(base + "/fuzz_ini_file-XXXXXX");
  static const QString folder = dir.path() + '/';
  return folder;
}

// The lines of text ended by LF, CR LF or a lone CR, the last perhaps by
// nothing. Latin-1 keeps every byte as it is.
Lines LinesOf(const QByteArray& text, const QRegularExpression& lineEnd) {
  QStringList pieces = QString::fromLatin1(text).split(lineEnd);
  if (pieces.last().isEmpty()) pieces.removeLast();
  Lines lines;
  for (const QString& piece : pieces) lines.append(piece.toLatin1());
  return lines;
}

// The written lines are the original ones with the key's value changed in
// place, the key line inserted, or the section and the key line appended.
bool KeptExceptTheKey(const Lines& original, const Lines& written, const QByteArray& value) {
  const QByteArray keyLine = "Comms_Port=" + value;
  const qsizetype size = original.size();
  if (written.size() == size + 2) {
    return written.first(size) == original && written[size] == "[Options]" &&
           written[size + 1] == keyLine;
  }
  qsizetype at = 0;
  while (at < size && at < written.size() && written[at] == original[at]) ++at;
  if (at == written.size()) return written.size() == size;
  if (written.size() == size + 1) {
    return written[at] == keyLine && written.sliced(at + 1) == original.sliced(at);
  }
  if (written.size() != size || !written[at].endsWith(value)) return false;
  const QByteArray kept = written[at].chopped(value.size());
  return kept.contains('=') && original[at].startsWith(kept) &&
         written.sliced(at + 1) == original.sliced(at + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const auto port = input.Take<uint16_t>();
  const std::vector<uint8_t> rest = input.Rest();
  const QByteArray content(reinterpret_cast<const char*>(rest.data()),
                           static_cast<qsizetype>(rest.size()));
  const QString path = SettingsFilePath(Folder());
  QFile file(path);
  Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
              file.write(content) == content.size(),
          "the settings file can be made");
  file.close();

  WriteCommPortSetting(Folder(), port);
  Require(ReadCommPortSetting(Folder()) == port, "the port comes back");

  Require(file.open(QIODevice::ReadOnly), "the settings file can be read");
  QByteArray written = file.readAll();
  QByteArray original = content;
  const bool marked = original.startsWith(ByteOrderMark);
  Require(written.startsWith(ByteOrderMark) == marked, "a byte order mark is kept");
  if (marked) {
    original.remove(0, ByteOrderMark.size());
    written.remove(0, ByteOrderMark.size());
  }
  Require(written.endsWith(LineEnd), "every written line ends in CR LF");
  static const QRegularExpression anyLineEnd(QStringLiteral("\r\n|\r|\n"));
  static const QRegularExpression crLf(QStringLiteral("\r\n"));
  Require(KeptExceptTheKey(LinesOf(original, anyLineEnd), LinesOf(written, crLf),
                           QByteArray::number(port)),
          "every other line survives byte for byte");
  return 0;
}
