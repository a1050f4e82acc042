#include "comms/WireTrace.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>

Q_LOGGING_CATEGORY(WireLog, "bootload.wire", QtWarningMsg)

namespace {

using Clock = std::chrono::steady_clock;

// Times in the trace count from the program's start.
const Clock::time_point TraceStart = Clock::now();
// The file that takes the lines, while a WireTraceFile lives.
std::atomic<WireTraceFile*>& CurrentFile() {
  static std::atomic<WireTraceFile*> file{nullptr};
  return file;
}

bool TraceWanted() {
  return CurrentFile().load(std::memory_order_acquire) != nullptr || WireLog().isDebugEnabled();
}

char ParityLetter(TParity parity) {
  constexpr std::array<char, 5> Letters{'N', 'O', 'E', 'M', 'S'};
  return Letters[static_cast<std::size_t>(parity)];
}

std::string_view StopBitsText(TStopBits stopBits) {
  switch (stopBits) {
    case TStopBits::sb1:
      break;
    case TStopBits::sb1_5:
      return "1.5";
    case TStopBits::sb2:
      return "2";
  }
  return "1";
}

}  // namespace

WireTraceFile::WireTraceFile(std::FILE* out) : out_(out) {
  CurrentFile().store(this, std::memory_order_release);
}

WireTraceFile::~WireTraceFile() {
  CurrentFile().store(nullptr, std::memory_order_release);
}

void WireTraceFile::Write(std::string_view line) {
  const std::lock_guard lock(mutex_);
  // Flushed line by line, so the trace of a run that ends abruptly is whole.
  if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() || std::fflush(out_) != 0) {
    if (writeError_ == 0) writeError_ = errno != 0 ? errno : EIO;
  }
}

int WireTraceFile::WriteError() const {
  const std::lock_guard lock(mutex_);
  return writeError_;
}

void LinkTrace::Opened(const LineSettings& settings) {
  const uint32_t before = speed_;
  speed_ = settings.BaudRate;
  if (!TraceWanted()) return;
  if (before != 0 && before != settings.BaudRate) {
    Emit("speed", speed_, {}, "from " + std::to_string(before));
  }
  std::string detail(1, static_cast<char>('0' + settings.DataBits));
  detail += ParityLetter(settings.Parity);
  detail += StopBitsText(settings.StopBits);
  Emit("open", speed_, {}, detail);
}

void LinkTrace::OpenFailed(uint32_t speed, std::string_view cause) {
  if (TraceWanted()) Emit("open-failed", speed, {}, cause);
}

void LinkTrace::Purged() {
  if (TraceWanted()) Emit("purge", speed_);
}

void LinkTrace::Sent(std::span<const uint8_t> frame) {
  if (TraceWanted()) Emit("tx", speed_, frame);
}

void LinkTrace::WriteFailed() {
  if (TraceWanted()) Emit("write-failed", speed_);
}

void LinkTrace::Received(std::span<const uint8_t> chunk) {
  if (TraceWanted()) Emit("rx", speed_, chunk);
}

void LinkTrace::Echoed(std::span<const uint8_t> bytes, bool damaged) {
  if (TraceWanted()) Emit(damaged ? "echo-damaged" : "echo", speed_, bytes);
}

void LinkTrace::TimedOut() {
  if (TraceWanted()) Emit("timeout", speed_);
}

void LinkTrace::Closed() {
  if (TraceWanted()) Emit("close", speed_);
}

// "   1234.567 PORT WHAT SPEED [BYTES IN HEX | DETAIL]"
void LinkTrace::Emit(std::string_view what, uint32_t speed, std::span<const uint8_t> bytes,
                     std::string_view detail) {
  constexpr std::string_view Hex = "0123456789ABCDEF";
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - TraceStart).count();
  std::array<char, 32> time{};
  const int timeLength = std::snprintf(time.data(), time.size(), "%11.3f ", ms);
  std::string line;
  line.reserve(static_cast<std::size_t>(timeLength) + port_.size() + what.size() + 16 +
               bytes.size() * 3 + detail.size());
  line.append(time.data(), static_cast<std::size_t>(timeLength));
  line.append(port_).append(1, ' ').append(what).append(1, ' ').append(std::to_string(speed));
  for (const uint8_t b : bytes) {
    line += ' ';
    line += Hex[b >> 4];
    line += Hex[b & 0x0F];
  }
  if (!detail.empty()) line.append(1, ' ').append(detail);
  if (WireLog().isDebugEnabled()) qCDebug(WireLog, "%s", line.c_str());
  line += '\n';
  if (WireTraceFile* file = CurrentFile().load(std::memory_order_acquire)) file->Write(line);
}
