#include "settings/IniFile.h"

#include <stdexcept>
#include <utility>

#include "settings/FileNameBytes.h"
#include "settings/RegularFile.h"

namespace {

const QByteArray ByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray LineEnd = QByteArrayLiteral("\r\n");

// Splits at LF, CR LF or a lone CR; a missing final line end is accepted.
QList<QByteArray> splitLines(const QByteArray& text) {
  QList<QByteArray> lines;
  qsizetype start = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') continue;
    lines.append(text.mid(start, i - start));
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.append(text.mid(start));
  return lines;
}

// The name of a "[name]" header line, or nothing for any other line.
std::optional<QString> sectionName(const QByteArray& line) {
  const QByteArray trimmed = line.trimmed();
  if (!trimmed.startsWith('[')) return std::nullopt;
  const qsizetype close = trimmed.indexOf(']');
  if (close < 0) return std::nullopt;
  return QString::fromUtf8(trimmed.mid(1, close - 1)).trimmed();
}

bool sameName(const QString& a, const QString& b) {
  return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isKeyLine(const QByteArray& line, const QString& key) {
  const qsizetype equals = line.indexOf('=');
  return equals >= 0 && sameName(QString::fromUtf8(line.left(equals)).trimmed(), key);
}

// Lines [header, end) of the first section with the given name.
struct SectionRange {
  qsizetype header;
  qsizetype end;
};

std::optional<SectionRange> findSection(const QList<QByteArray>& lines, const QString& section) {
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const auto name = sectionName(lines[i]);
    if (!name || !sameName(*name, section)) continue;
    qsizetype end = i + 1;
    while (end < lines.size() && !sectionName(lines[end])) ++end;
    return SectionRange{i, end};
  }
  return std::nullopt;
}

std::optional<qsizetype> findKey(const QList<QByteArray>& lines, SectionRange range,
                                 const QString& key) {
  for (qsizetype i = range.header + 1; i < range.end; ++i) {
    if (isKeyLine(lines[i], key)) return i;
  }
  return std::nullopt;
}

// Keeps everything before the old value (key text and spacing), so only the
// value changes.
QByteArray replaceValue(const QByteArray& line, const QByteArray& value) {
  qsizetype valueStart = line.indexOf('=') + 1;
  if (!line.mid(valueStart).trimmed().isEmpty()) {
    while (line[valueStart] == ' ' || line[valueStart] == '\t') ++valueStart;
  }
  return line.left(valueStart) + value;
}

qsizetype lastNonBlankLine(const QList<QByteArray>& lines, SectionRange range) {
  qsizetype last = range.header;
  for (qsizetype i = range.header + 1; i < range.end; ++i) {
    if (!lines[i].trimmed().isEmpty()) last = i;
  }
  return last;
}

}  // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {
  const QByteArray pathBytes = FileNameBytes(path_);
  std::optional<QByteArray> content = ReadRegularFile(pathBytes, MaxFileSize);
  if (!content) {
    unreadable_ = PathExists(pathBytes);
    return;
  }
  QByteArray text = std::move(*content);
  hasByteOrderMark_ = text.startsWith(ByteOrderMark);
  if (hasByteOrderMark_) text.remove(0, ByteOrderMark.size());
  lines_ = splitLines(text);
}

std::optional<QString> IniFile::ReadString(const QString& section, const QString& key) const {
  const auto range = findSection(lines_, section);
  if (!range) return std::nullopt;
  const auto index = findKey(lines_, *range, key);
  if (!index) return std::nullopt;
  const QByteArray& line = lines_[*index];
  // A value may be a path: bytes that are not UTF-8 are kept.
  return FileNameFromBytes(line.mid(line.indexOf('=') + 1).trimmed());
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
  QList<QByteArray> lines = lines_;
  const QByteArray newValue = value.toUtf8();
  const QByteArray newKeyLine = key.toUtf8() + '=' + newValue;
  if (const auto range = findSection(lines, section); !range) {
    lines.append('[' + section.toUtf8() + ']');
    lines.append(newKeyLine);
  } else if (const auto index = findKey(lines, *range, key)) {
    lines[*index] = replaceValue(lines[*index], newValue);
  } else {
    lines.insert(lastNonBlankLine(lines, *range) + 1, newKeyLine);
  }

  QByteArray text = hasByteOrderMark_ ? ByteOrderMark : QByteArray();
  for (const QByteArray& line : lines) text += line + LineEnd;

  if (unreadable_ || !WriteRegularFile(FileNameBytes(path_), text)) {
    throw std::runtime_error(("Unable to write to " + path_).toStdString());
  }
  lines_ = std::move(lines);
}
