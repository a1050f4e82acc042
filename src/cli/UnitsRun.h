#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "cli/UnitRecord.h"
#include "cli/UnitUpdate.h"

class LogPrinter;

// Runs every unit's update at once, each in a thread of its own, and calls
// done on this object's thread with their records, in the order given,
// once the last one has ended.
class UnitsRun : public QObject {
 public:
  Q_DISABLE_COPY_MOVE(UnitsRun)
  using Done = std::function<void(std::vector<UnitRecord>)>;

  UnitsRun(std::vector<UnitUpdate::Setup> units, LogPrinter& printer,
           const std::atomic<int>& stopSignal, Done done);
  ~UnitsRun() override;

  void Start();

 private:
  void UnitEnded();

  struct Unit {
    QString Port;
    std::unique_ptr<UnitUpdate> Update;
    UnitRecord Record;
    std::unique_ptr<QThread> Thread;
  };

  std::vector<Unit> units_;
  LogPrinter& printer_;
  Done done_;
  std::size_t running_ = 0;
};
