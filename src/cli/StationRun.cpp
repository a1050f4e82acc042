#include "cli/StationRun.h"

#include <QMetaObject>
#include <cstdio>

#include "cli/JsonReport.h"
#include "cli/LogPrinter.h"
#include "cli/RecordFile.h"
#include "cli/RunSummary.h"
#include "cli/UnitLink.h"
#include "comms/KovaComms.h"
#include "settings/FileNameBytes.h"
#include "update/LineSpeeds.h"

namespace {

constexpr int ExitNoUnitFailed = 0;
constexpr int ExitUnitFailed = 1;
constexpr char Bell[] = "\a";
constexpr char FailureBells[] = "\a\a\a";

void PrintError(const QString& message) {
  std::fprintf(stderr, "bootload-cli: %s\n", FileNameBytes(message).constData());
}

// Why the port does not open now, or nothing when it does.
std::optional<QString> OpenProblem(const StationPort& port) {
  const std::unique_ptr<TKovaComms> link = port.Unit().NewLink();
  auto problem = OpenUnitLink(*link, port.Unit().Settings().ComNumber, StartupBaudRate,
                              port.Unit().Settings().Echo);
  link->Close();
  return problem;
}

}  // namespace

StationRun::StationRun(std::vector<UnitUpdate::Setup> ports, LogPrinter& printer,
                       RecordFile* record, const std::atomic<int>& stopSignal, bool bells,
                       Done done)
    : setups_(std::move(ports)),
      printer_(printer),
      record_(record),
      stopSignal_(stopSignal),
      bells_(bells),
      done_(std::move(done)) {}

StationRun::~StationRun() {
  for (Port& port : ports_) {
    if (port.Thread) port.Thread->wait();
  }
}

bool StationRun::Start() {
  // Each thread refers to its port, which must not move.
  ports_.resize(setups_.size());
  const bool statusInPlace = setups_.size() == 1 && bells_;
  for (std::size_t i = 0; i < setups_.size(); ++i) {
    Port& port = ports_[i];
    port.Name = setups_[i].Port;
    StationPort::Events events{[this, &port](const UnitRecord& record) {
                                 QMetaObject::invokeMethod(
                                     this, [this, &port, record] { UnitEnded(port, record); },
                                     Qt::QueuedConnection);
                               },
                               [this, &port](const QString& text) {
                                 QMetaObject::invokeMethod(
                                     this,
                                     [this, &port, text] {
                                       printer_.Finish(port.Name);
                                       printer_.PrintLine(port.Name + QStringLiteral(": ") + text);
                                     },
                                     Qt::QueuedConnection);
                               }};
    port.Station = std::make_unique<StationPort>(std::move(setups_[i]), printer_.SinkFor(port.Name),
                                                 statusInPlace, stopSignal_, std::move(events));
  }
  bool allOpened = true;
  for (const Port& port : ports_) {
    if (const auto problem = OpenProblem(*port.Station)) {
      PrintError(*problem);
      printer_.PrintLine(port.Name + QStringLiteral(": port not opened: ") + *problem);
      allOpened = false;
    }
  }
  if (!allOpened) return false;
  running_ = ports_.size();
  for (Port& port : ports_) {
    port.Thread.reset(QThread::create([&port] { port.Station->Run(); }));
    connect(port.Thread.get(), &QThread::finished, this, [this] { PortEnded(); });
    port.Thread->start();
  }
  return true;
}

void StationRun::UnitEnded(Port& port, const UnitRecord& record) {
  ++port.Units;
  switch (record.Outcome) {
    case UnitRecord::Result::Completed:
      ++tally_.Updated;
      break;
    case UnitRecord::Result::Current:
      ++tally_.Current;
      break;
    case UnitRecord::Result::Stopped:
      stopped_ = true;
      break;
    case UnitRecord::Result::Failed:
    case UnitRecord::Result::PortNotOpened:
      ++tally_.Failed;
      break;
  }
  if (record_ != nullptr) {
    const QString failure = record_->Append(UnitRecordJson(record) + '\n');
    if (!failure.isEmpty()) PrintError(failure);
    recordFailed_ = recordFailed_ || !failure.isEmpty();
  }
  printer_.Finish(port.Name);
  const bool failed = record.Outcome == UnitRecord::Result::Failed;
  const char* bells = !bells_ ? "" : failed ? FailureBells : Bell;
  printer_.PrintLine(SummaryLine(port, record) + QString::fromLatin1(bells));
}

QString StationRun::SummaryLine(const Port& port, const UnitRecord& record) const {
  QString what;
  if (record.Outcome == UnitRecord::Result::Completed) {
    const double seconds = static_cast<double>(record.Start.msecsTo(record.End)) / 1000.0;
    what = QStringLiteral("updated in %1 s").arg(seconds, 0, 'f', 1) + RowsNote(record.Image) +
           LateStopNote(record);
  } else if (record.Outcome == UnitRecord::Result::Current) {
    what = QStringLiteral("current (firmware version %1), left alone")
               .arg(record.UnitVersion.value_or(0));
  } else {
    what = SummaryText(record, stopSignal_.load());
  }
  // In one pass: a log line in what may hold a percent sign.
  return QStringLiteral("%1: unit %2 %3 (%4 updated, %5 failed, %6 current)")
      .arg(port.Name, QString::number(port.Units), what, QString::number(tally_.Updated),
           QString::number(tally_.Failed), QString::number(tally_.Current));
}

void StationRun::PortEnded() {
  if (--running_ > 0) return;
  for (Port& port : ports_) {
    port.Thread->wait();
    printer_.Finish(port.Name);
  }
  // A unit whose update was stopped is left unfinished: that counts as failed.
  const bool unitFailed = tally_.Failed > 0 || stopped_ || recordFailed_;
  done_(unitFailed ? ExitUnitFailed : ExitNoUnitFailed);
}
