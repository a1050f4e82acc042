#include "cli/UnitsRun.h"

#include "cli/LogPrinter.h"

UnitsRun::UnitsRun(std::vector<UnitUpdate::Setup> units, LogPrinter& printer,
                   const std::atomic<int>& stopSignal, Done done)
    : printer_(printer), done_(std::move(done)) {
  for (UnitUpdate::Setup& setup : units) {
    Unit unit;
    unit.Port = setup.Port;
    unit.Update =
        std::make_unique<UnitUpdate>(std::move(setup), printer.SinkFor(unit.Port), stopSignal);
    units_.push_back(std::move(unit));
  }
}

UnitsRun::~UnitsRun() {
  for (Unit& unit : units_) {
    if (unit.Thread) unit.Thread->wait();
  }
}

void UnitsRun::Start() {
  running_ = units_.size();
  for (Unit& unit : units_) {
    // Each record is written by its thread alone and read here only once
    // that thread has finished.
    unit.Thread.reset(QThread::create([&unit] { unit.Record = unit.Update->Run(); }));
    connect(unit.Thread.get(), &QThread::finished, this, [this] { UnitEnded(); });
    unit.Thread->start();
  }
}

void UnitsRun::UnitEnded() {
  if (--running_ > 0) return;
  std::vector<UnitRecord> records;
  for (Unit& unit : units_) {
    unit.Thread->wait();
    printer_.Finish(unit.Port);
    records.push_back(unit.Record);
  }
  done_(std::move(records));
}
