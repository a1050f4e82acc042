#pragma once

#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "cli/StationPort.h"
#include "cli/UnitRecord.h"
#include "cli/UnitUpdate.h"

class LogPrinter;
class RecordFile;

// The production station: every port in a thread of its own (see
// StationPort), and on this object's thread what they report: each unit's
// record appended to the record file as that unit ends, its summary line
// with the station's tally, and a bell on a terminal. Calls done with the
// exit status once every port has ended.
class StationRun : public QObject {
 public:
  Q_DISABLE_COPY_MOVE(StationRun)
  using Done = std::function<void(int status)>;

  // record may be null: no --json. bells: ring the terminal's bell.
  StationRun(std::vector<UnitUpdate::Setup> ports, LogPrinter& printer, RecordFile* record,
             const std::atomic<int>& stopSignal, bool bells, Done done);
  ~StationRun() override;

  // Opens every port once, then starts them; false, with each port that
  // did not open said, when one did not: then nothing is started.
  bool Start();

 private:
  struct Port {
    QString Name;
    std::unique_ptr<StationPort> Station;
    std::unique_ptr<QThread> Thread;
    int Units = 0;
  };
  struct Tally {
    int Updated = 0;
    int Failed = 0;
    int Current = 0;
  };

  void UnitEnded(Port& port, const UnitRecord& record);
  void PortEnded();
  QString SummaryLine(const Port& port, const UnitRecord& record) const;

  std::vector<UnitUpdate::Setup> setups_;  // until Start hands them to the ports
  std::vector<Port> ports_;
  LogPrinter& printer_;
  RecordFile* record_;
  const std::atomic<int>& stopSignal_;
  bool bells_;
  Done done_;
  Tally tally_;
  bool recordFailed_ = false;
  bool stopped_ = false;
  std::size_t running_ = 0;
};
