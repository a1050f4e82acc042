#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <functional>

#include "cli/LogEvent.h"
#include "cli/StationPoll.h"
#include "cli/UnitRecord.h"
#include "cli/UnitUpdate.h"

// One port of the station, run in a thread of its own until a stop signal:
// it waits for a unit with requests that change nothing, leaves a current
// unit alone or runs the command line's update of one unit on it, then waits
// until the unit has been taken off before it looks for the next one.
class StationPort {
 public:
  // Called on the port's thread, in the order things happen.
  struct Events {
    std::function<void(const UnitRecord&)> UnitEnded;
    // A line of its own: the port lost, or back.
    std::function<void(const QString&)> Notice;
  };

  // log takes the update's log lines and the port's status line; with
  // statusInPlace the status line is rewritten in place, otherwise each
  // status is a line of its own.
  StationPort(UnitUpdate::Setup setup, LogSink log, bool statusInPlace,
              const std::atomic<int>& stopSignal, Events events);

  void Run();

  // The unit's run this port makes on each unit that needs an update.
  const UnitUpdate& Unit() const { return update_; }

 private:
  bool Stopping() const { return stopSignal_.load() != 0; }
  void Status(const QString& text);
  // A line of its own, after which the status line starts again.
  void Notice(const QString& text);
  void PauseUntilNextRound(std::chrono::steady_clock::time_point roundStart) const;
  bool IsCurrent(const PollAnswer& answer) const;

  UnitUpdate update_;
  LogSink log_;
  bool statusInPlace_;
  const std::atomic<int>& stopSignal_;
  Events events_;
  QString status_;
};
