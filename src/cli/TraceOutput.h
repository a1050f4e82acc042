#pragma once

#include <QString>
#include <cstdio>
#include <memory>
#include <vector>

#include "comms/WireTrace.h"

// Where --trace sends the links' trace for the life of this object: a file
// it creates or empties, or standard error for "-". It is opened before any
// unit is touched, and refused when it cannot take the trace: a missing
// folder, a FIFO no program reads, a file the run reads or records to.
class TraceOutput {
 public:
  // A file the run uses, which the trace must never empty.
  struct FileInUse {
    QString Path;
    QString Role;  // "the file --json writes the record to"
  };

  TraceOutput(const QString& path, const std::vector<FileInUse>& inUse);

  // Empty when the trace goes where it was asked; otherwise why not, with
  // what to do.
  const QString& OpenError() const { return openError_; }
  // Empty while every line was written; otherwise the file, the cause and
  // that the trace is incomplete.
  QString WriteError() const;

 private:
  void Refuse(const QString& cause);

  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  QString path_;
  QString openError_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  // Declared after the file: it stops taking lines before the file closes.
  std::unique_ptr<WireTraceFile> trace_;
};
