#include "Server.h"

#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "LineEcho.h"

namespace unitsim {

namespace {

// Silence after which an incomplete frame is given up: far longer than the 3.5 characters
// of a Modbus frame gap at any of the unit's speeds, and than any pause inside one write.
constexpr std::chrono::milliseconds SilenceGap{50};
// The gap between the pieces of a split reply.
constexpr std::chrono::milliseconds SplitGap{30};
// With pacing, bytes go out in chunks of about this much line time.
constexpr std::chrono::milliseconds PaceTick{5};
// How long to leave the line alone after it reported a hang-up, so that a line without any
// open slave side is not polled in a busy loop.
constexpr std::chrono::milliseconds HangUpNap{50};
// Bits per byte on an 8N1 line: start, 8 data, stop.
constexpr unsigned BitsPerByte = 10;
constexpr std::size_t ReadChunk = 4096;
// A flood goes out in pieces of this size.
constexpr std::size_t FloodPiece = 65536;

std::chrono::nanoseconds ByteTime(uint32_t speed) {
  return std::chrono::nanoseconds(std::chrono::seconds(BitsPerByte)) / speed;
}

std::vector<Bytes> SplitIntoPieces(const Bytes& bytes, int pieces) {
  std::vector<Bytes> parts;
  std::size_t start = 0;
  for (int i = 0; i < pieces; ++i) {
    const std::size_t end =
        bytes.size() * static_cast<std::size_t>(i + 1) / static_cast<std::size_t>(pieces);
    if (end > start) {
      parts.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                         bytes.begin() + static_cast<std::ptrdiff_t>(end));
    }
    start = end;
  }
  return parts;
}

}  // namespace

Server::Server(Line& line, Fixture& fixture, Transcript& transcript, SignalWatch& signals,
               const ProgramMemory& memory, ServerSettings settings, ControlFifo* control)
    : line_(line),
      unit_(fixture),
      transcript_(transcript),
      signals_(signals),
      memory_(memory),
      settings_(std::move(settings)),
      control_(control) {}

void Server::Run() {
  for (;;) {
    const bool napping = napUntil_ && Clock::now() < *napUntil_;
    const bool watchLine = line_.IsOpen() && !napping;
    // A negative descriptor is left out of the poll.
    std::array<pollfd, 3> watched{{{signals_.Fd(), POLLIN, 0},
                                   {control_ != nullptr ? control_->Fd() : -1, POLLIN, 0},
                                   {watchLine ? line_.Fd() : -1, POLLIN, 0}}};
    if (poll(watched.data(), watched.size(), PollTimeout()) < 0 && errno != EINTR) {
      throw std::runtime_error("poll failed");
    }
    if ((watched[0].revents & POLLIN) != 0 && !TakeSignals()) return;
    if ((watched[1].revents & POLLIN) != 0) TakeControl();
    if (watchLine && (watched[2].revents & POLLIN) != 0) {
      ReadLine();
    } else if (watchLine && (watched[2].revents & (POLLHUP | POLLERR)) != 0) {
      LineHungUp();
    }
    SendDue();
    if (silenceAt_ && Clock::now() >= *silenceAt_) {
      silenceAt_.reset();
      if (const std::optional<Reply> reply = unit_.Silence()) Schedule(*reply);
    }
  }
}

bool Server::TakeSignals() {
  bool keepRunning = true;
  for (const int signal : signals_.Take()) {
    if (signal == SIGUSR1) {
      WriteMemory();
    } else {
      keepRunning = false;
    }
  }
  return keepRunning;
}

void Server::TakeControl() {
  for (const std::string& command : control_->TakeLines()) {
    if (!ApplyControl(command, unit_, transcript_)) continue;
    // The unit that was to reply has left the line.
    pieces_.clear();
    sending_.clear();
    silenceAt_.reset();
  }
}

void Server::ReadLine() {
  std::array<uint8_t, ReadChunk> buffer{};
  const Line::ReadResult result = line_.Read(buffer);
  if (result.state == Line::ReadState::HungUp) {
    LineHungUp();
    return;
  }
  if (result.state == Line::ReadState::Nothing) return;
  hangUpNoted_ = false;
  silenceAt_ = Clock::now() + SilenceGap;
  const std::optional<uint32_t> lineSpeed = line_.OtherSideSpeed();
  const uint32_t sentAt = lineSpeed.value_or(unit_.ListenSpeed());
  const Clock::time_point arrivingFrom = std::max(Clock::now(), lineFreeAt_);
  if (settings_.pace) {
    // The bytes came at once, but on a line they arrive one after the other.
    const uint32_t speed = lineSpeed.value_or(unit_.ListenSpeed());
    lineFreeAt_ = std::max(Clock::now(), lineFreeAt_) +
                  std::chrono::duration_cast<Clock::duration>(ByteTime(speed) * result.count);
  }
  const std::span<const uint8_t> bytes(buffer.data(), result.count);
  const std::optional<Reply> reply = unit_.Hear(bytes, lineSpeed);
  if (settings_.echo) GiveBack(bytes, sentAt, arrivingFrom);
  if (reply) Schedule(*reply);
}

// The echo comes back as the bytes go out, so with pacing its last byte is back just as the
// request has arrived whole, before any reply starts.
void Server::GiveBack(std::span<const uint8_t> bytes, uint32_t speed,
                      Clock::time_point arrivingFrom) {
  const bool damaged = unit_.TakeEchoDamage();
  const Bytes echo = EchoOf(bytes, damaged);
  transcript_.Traffic(damaged ? "echo-damaged" : "echo", speed, echo);
  if (!settings_.pace) {
    if (!line_.Write(echo)) transcript_.Event("echo lost: nobody reads the line");
    return;
  }
  const std::chrono::nanoseconds byteTime = ByteTime(speed);
  const std::size_t chunk = std::max<std::size_t>(1, static_cast<std::size_t>(PaceTick / byteTime));
  Clock::time_point due = arrivingFrom;
  for (std::size_t at = 0; at < echo.size(); at += chunk) {
    const std::size_t size = std::min(chunk, echo.size() - at);
    due += std::chrono::duration_cast<Clock::duration>(byteTime * size);
    echoes_.push_back({due, Bytes(echo.begin() + static_cast<std::ptrdiff_t>(at),
                                  echo.begin() + static_cast<std::ptrdiff_t>(at + size))});
  }
}

void Server::LineHungUp() {
  // Only a device can really go away: a pseudo-terminal keeps its own slave descriptor.
  if (!hangUpNoted_) transcript_.Event("line hang-up reported");
  hangUpNoted_ = true;
  napUntil_ = Clock::now() + HangUpNap;
}

void Server::Schedule(const Reply& reply) {
  if (reply.hangUp) {
    line_.HangUp();
    transcript_.Event("hangup");
    return;
  }
  const uint32_t speed = unit_.ListenSpeed();
  const std::chrono::nanoseconds byteTime = ByteTime(speed);
  const std::size_t chunk = std::max<std::size_t>(1, static_cast<std::size_t>(PaceTick / byteTime));
  // A paced reply starts once the request has arrived whole.
  const Clock::time_point start =
      settings_.pace ? std::max(Clock::now(), lineFreeAt_) : Clock::now();
  Clock::time_point due = start + reply.delay;
  const auto queue = [&](const Bytes& piece) {
    if (!settings_.pace) {
      pieces_.push_back({due, piece});
      return;
    }
    for (std::size_t at = 0; at < piece.size(); at += chunk) {
      const std::size_t size = std::min(chunk, piece.size() - at);
      due += std::chrono::duration_cast<Clock::duration>(byteTime * size);
      pieces_.push_back({due, Bytes(piece.begin() + static_cast<std::ptrdiff_t>(at),
                                    piece.begin() + static_cast<std::ptrdiff_t>(at + size))});
    }
  };
  bool first = true;
  for (const Bytes& piece : SplitIntoPieces(reply.bytes, reply.pieces)) {
    if (!first) due += SplitGap;
    first = false;
    queue(piece);
  }
  for (std::size_t left = reply.flood; left > 0;) {
    const std::size_t size = std::min(left, FloodPiece);
    queue(Bytes(size, FloodByte));
    left -= size;
  }
  sending_ = reply.bytes;
  sendingNoted_ = false;
}

void Server::SendDue() {
  while (!echoes_.empty() && echoes_.front().due <= Clock::now()) {
    if (!line_.Write(echoes_.front().bytes)) transcript_.Event("echo lost: nobody reads the line");
    echoes_.pop_front();
  }
  if (pieces_.empty()) return;
  bool lost = false;
  while (!pieces_.empty() && pieces_.front().due <= Clock::now()) {
    if (!sendingNoted_) transcript_.Traffic("tx", unit_.ListenSpeed(), sending_);
    sendingNoted_ = true;
    if (!line_.Write(pieces_.front().bytes)) {
      transcript_.Event("reply lost: nobody reads the line");
      pieces_.clear();
      lost = true;
    } else {
      pieces_.pop_front();
    }
  }
  if (!pieces_.empty()) return;
  if (!lost) transcript_.ReplySent();
  unit_.ReplyDone();
  try {
    line_.ListenAt(unit_.ListenSpeed());
  } catch (const std::runtime_error& error) {
    transcript_.Event(std::string("line speed not changed: ") + error.what());
  }
}

void Server::WriteMemory() {
  if (!settings_.memoryOut) {
    transcript_.Event("memory-out not written: no --memory-out FILE given");
    return;
  }
  try {
    memory_.Save(*settings_.memoryOut);
    transcript_.Event("memory-out " + *settings_.memoryOut);
  } catch (const std::runtime_error& error) {
    transcript_.Event(std::string("memory-out failed: ") + error.what());
  }
}

int Server::PollTimeout() const {
  std::optional<Clock::time_point> next = silenceAt_;
  const auto earliest = [&next](Clock::time_point when) {
    if (!next || when < *next) next = when;
  };
  if (!pieces_.empty()) earliest(pieces_.front().due);
  if (!echoes_.empty()) earliest(echoes_.front().due);
  if (napUntil_ && *napUntil_ > Clock::now()) earliest(*napUntil_);
  if (!next) return -1;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
}

}  // namespace unitsim
