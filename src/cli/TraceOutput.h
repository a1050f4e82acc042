#pragma once

#include <QString>
#include <cstdio>
#include <memory>

#include "comms/WireTrace.h"

// Where --trace sends the links' trace for the life of this object: a file
// it creates or empties, or standard error for "-".
class TraceOutput {
 public:
  explicit TraceOutput(const QString& path);

  // Empty when the trace goes where it was asked; otherwise why not, with
  // what to do.
  const QString& OpenError() const { return openError_; }
  // Empty while every line was written; otherwise the file, the cause and
  // that the trace is incomplete.
  QString WriteError() const;

 private:
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  QString path_;
  QString openError_;
  std::unique_ptr<std::FILE, FileCloser> file_;
  // Declared after the file: it stops taking lines before the file closes.
  std::unique_ptr<WireTraceFile> trace_;
};
