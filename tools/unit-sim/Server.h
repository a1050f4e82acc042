#pragma once

#include <chrono>
#include <deque>
#include <optional>
#include <span>
#include <string>

#include "ControlFifo.h"
#include "Fixture.h"
#include "Line.h"
#include "ProgramMemory.h"
#include "ReplyShaping.h"
#include "SignalWatch.h"
#include "Transcript.h"

namespace unitsim {

struct ServerSettings {
  // Bytes take the line's byte rate: replies go out at it, and start only once the
  // request's bytes would have arrived at it.
  bool pace = false;
  // The line gives back every byte it receives, before any reply.
  bool echo = false;
  std::optional<std::string> memoryOut;
};

// Runs the unit on the line: reads what arrives, hands it to the unit with the speed it was
// sent at, sends the unit's replies when they are due (after the unit's work time, in
// pieces, paced), and handles the signals: SIGTERM and SIGINT end the run, SIGUSR1 writes
// the program memory out. With a control FIFO, its commands take the unit off the line
// and put another on.
class Server {
 public:
  // control may be null: no control FIFO.
  Server(Line& line, Fixture& fixture, Transcript& transcript, SignalWatch& signals,
         const ProgramMemory& memory, ServerSettings settings, ControlFifo* control = nullptr);

  // Until SIGTERM or SIGINT.
  void Run();

 private:
  using Clock = std::chrono::steady_clock;
  struct Piece {
    Clock::time_point due;
    Bytes bytes;
  };

  bool TakeSignals();
  void TakeControl();
  void ReadLine();
  void Schedule(const Reply& reply);
  void GiveBack(std::span<const uint8_t> bytes, uint32_t speed, Clock::time_point arrivingFrom);
  void SendDue();
  void LineHungUp();
  void WriteMemory();
  int PollTimeout() const;

  Line& line_;
  Fixture& unit_;
  Transcript& transcript_;
  SignalWatch& signals_;
  const ProgramMemory& memory_;
  ServerSettings settings_;
  ControlFifo* control_;
  std::deque<Piece> pieces_;
  // With pacing: the echo, each piece due as its bytes would have gone out.
  std::deque<Piece> echoes_;
  Bytes sending_;
  bool sendingNoted_ = false;
  std::optional<Clock::time_point> silenceAt_;
  // With pacing: when the bytes heard so far would have finished arriving.
  Clock::time_point lineFreeAt_{};
  std::optional<Clock::time_point> napUntil_;
  bool hangUpNoted_ = false;
};

}  // namespace unitsim
