#include "ExchangeTiming.h"

#include <algorithm>
#include <chrono>
#include <optional>

#include "update/ProgramTransfer.h"

namespace {

constexpr uint8_t Dle = 0x10;
constexpr uint8_t Stx = 0x02;
constexpr uint8_t ModelCommand = 0;
constexpr uint8_t ModelCount = 2;
constexpr uint8_t ProgramCommand = 2;
constexpr uint8_t EraseCommand = 3;

struct Request {
  double heard = 0;
  std::optional<double> replySent;
  std::optional<uint8_t> bootCommand;
  uint8_t bootCount = 0;
};

std::vector<Request> RequestsOf(const std::vector<TranscriptRecord>& records) {
  std::vector<Request> requests;
  for (const TranscriptRecord& record : records) {
    if (record.what == "rx") {
      Request request{record.seconds, std::nullopt, std::nullopt, 0};
      const std::vector<uint8_t>& frame = record.bytes;
      if (frame.size() >= 4 && frame[0] == Dle && frame[1] == Stx) {
        request.bootCommand = frame[2];
        request.bootCount = frame[3];
      }
      requests.push_back(request);
    } else if (record.what == "sent" && !requests.empty() && !requests.back().replySent) {
      requests.back().replySent = record.seconds;
    }
  }
  return requests;
}

// The latest of the sorted moments before `when`, if any.
std::optional<double> LastBefore(const std::vector<double>& moments, double when) {
  const auto after = std::lower_bound(moments.begin(), moments.end(), when);
  if (after == moments.begin()) return std::nullopt;
  return *(after - 1);
}

bool IsModelRead(const Request& request) {
  return request.bootCommand == ModelCommand && request.bootCount == ModelCount;
}

bool IsTransfer(const Request& request) {
  return request.bootCommand == EraseCommand || request.bootCommand == ProgramCommand;
}

}  // namespace

ExchangeTiming TimeExchanges(const std::vector<TranscriptRecord>& records,
                             const ProgramMoments& moments, int32_t modelReadDelayMs) {
  const std::vector<Request> requests = RequestsOf(records);
  const double readDelay = modelReadDelayMs > 0 ? modelReadDelayMs / 1000.0 : 0.0;
  const double phaseEnd = std::chrono::duration<double>(ProgramTransfer::PhaseEndPause).count();
  ExchangeTiming timing;
  timing.requests = requests.size();
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const Request& request = requests[i];
    const Request* next = i + 1 < requests.size() ? &requests[i + 1] : nullptr;
    double pause = 0;
    if (IsTransfer(request) || (IsModelRead(request) && next && IsModelRead(*next))) {
      pause += readDelay;
      if (readDelay > 0) ++timing.readDelays;
    }
    if (IsTransfer(request) && (!next || next->bootCommand != request.bootCommand)) {
      pause += phaseEnd;
      ++timing.phaseEnds;
    }
    timing.fixedPauseSeconds += pause;
    if (!next || !request.replySent) continue;
    const std::optional<double> handled = LastBefore(moments.replyHandled, next->heard);
    const std::optional<double> taken = LastBefore(moments.linkTaken, next->heard);
    if (!handled || *handled < *request.replySent || !taken || *taken < *handled) continue;
    const double receive = (*handled - *request.replySent) * 1000.0;
    const double turnaround = (*taken - *handled - pause) * 1000.0;
    timing.receiveMs.push_back(receive);
    timing.turnaroundMs.push_back(turnaround);
    timing.overheadMs.push_back(receive + turnaround);
    timing.hearingMs.push_back((next->heard - *taken) * 1000.0);
  }
  return timing;
}
