#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// A small INI file: sections and keys matched without regard to case, every
// line the program does not own kept as it was, lines written with CR LF.
class IniFile {
 public:
  // A larger file reads as unreadable; real settings files are far smaller.
  static constexpr qsizetype MaxFileSize = qsizetype{4} * 1024 * 1024;

  // Reads the file at path; a missing or unreadable file reads as empty, and
  // so does anything that is no regular file (see RegularFile.h).
  explicit IniFile(QString path);

  // The value of key in section, or nothing when either is missing; bytes
  // that are not UTF-8 are kept as FileNameFromBytes keeps them.
  std::optional<QString> ReadString(const QString& section, const QString& key) const;

  // Sets key in section to value, adding the section or the key when
  // missing, and writes the file. Throws std::runtime_error
  // "Unable to write to <path>" when the file cannot be written, and when
  // something is at the path that could not be read: its content would be
  // lost.
  void WriteString(const QString& section, const QString& key, const QString& value);

 private:
  QString path_;
  // Lines as raw bytes, so lines the program does not own are written back
  // exactly, even when they are not valid UTF-8.
  QList<QByteArray> lines_;
  bool hasByteOrderMark_ = false;
  bool unreadable_ = false;
};
