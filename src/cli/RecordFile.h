#pragma once

#include <QByteArray>
#include <QString>

// Where the run's JSON records go. It is opened before any unit is touched,
// so that a destination that cannot take them is found at once, and it is
// never waited on for long: a FIFO is opened only while a program reads it,
// and a reader that stops taking the records is given up on.
class RecordFile {
 public:
  // Opens path ("-" is standard output) for writing, creating the file when
  // missing and keeping what it holds until Write. Throws std::runtime_error
  // naming the file (its bytes) and the cause when it cannot be opened.
  explicit RecordFile(const QString& path);
  ~RecordFile();
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;

  // Makes text the file's content (adds it to a FIFO, a device or standard
  // output) and closes the file; the cause naming the file when any of it
  // fails, empty when all went well.
  QString Write(const QByteArray& text);
  // Adds text after what the file holds (to a FIFO, a device or standard
  // output) and, for a regular file, writes it (and, the first time, its
  // folder's entry) through to the disk before it returns; the file stays
  // open for the next. The cause naming the file when any of it fails, empty
  // when all went well.
  QString Append(const QByteArray& text);

 private:
  QString WriteAll(const QByteArray& text);
  QString WriteOut(const QByteArray& text);
  QString Failure(const QString& cause) const;

  QString path_;
  int fd_ = -1;
  bool ownsFd_ = false;
  bool folderSynced_ = false;
};
