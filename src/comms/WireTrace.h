#pragma once

#include <QLoggingCategory>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "comms/CommsTypes.h"

// The links' trace lines, for the window: off unless QT_LOGGING_RULES turns
// on "bootload.wire.debug".
Q_DECLARE_LOGGING_CATEGORY(WireLog)

// A file that receives every link's trace lines, one whole line per write,
// for as long as this object lives. One at a time; it must outlive every
// link that traces into it.
class WireTraceFile {
 public:
  // out is not owned and stays open for the object's life.
  explicit WireTraceFile(std::FILE* out);
  ~WireTraceFile();
  WireTraceFile(const WireTraceFile&) = delete;
  WireTraceFile& operator=(const WireTraceFile&) = delete;

  // Writes one line (ending in a newline) at once, from any thread.
  void Write(std::string_view line);
  // The errno of the first line that could not be written whole; 0 while
  // every line was.
  int WriteError() const;

 private:
  mutable std::mutex mutex_;
  std::FILE* out_;
  int writeError_ = 0;
};

// One link's trace: each frame as written and each chunk as received, with
// the link's events, formatted into lines that name the link's port. Every
// call returns at once, having formatted nothing, while no trace is wanted.
class LinkTrace {
 public:
  // The port of the link from now on (its device, or COMn when none).
  void NamePort(std::string port) { port_ = std::move(port); }

  void Opened(const LineSettings& settings);
  // An open at speed that failed, and why.
  void OpenFailed(uint32_t speed, std::string_view cause);
  void Purged();
  void Sent(std::span<const uint8_t> frame);
  void WriteFailed();
  void Received(std::span<const uint8_t> chunk);
  // Bytes taken out as the echo of the request, or as its damaged echo.
  void Echoed(std::span<const uint8_t> bytes, bool damaged);
  void TimedOut();
  void Closed();

 private:
  void Emit(std::string_view what, uint32_t speed, std::span<const uint8_t> bytes = {},
            std::string_view detail = {});

  std::string port_;
  uint32_t speed_ = 0;  // of the last open, kept after a close
};
