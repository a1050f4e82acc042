#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <variant>

#include "cli/CliOptions.h"
#include "cli/EchoNotes.h"
#include "cli/JsonReport.h"
#include "cli/LogPrinter.h"
#include "cli/PortList.h"
#include "cli/ProductLoad.h"
#include "cli/RecordFile.h"
#include "cli/ResolvePorts.h"
#include "cli/RunSummary.h"
#include "cli/SettingsRestore.h"
#include "cli/StationRun.h"
#include "cli/StopSignals.h"
#include "cli/TraceOutput.h"
#include "cli/UnitInfo.h"
#include "cli/UnitInfoReport.h"
#include "cli/UnitsRun.h"
#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "settings/FileNameBytes.h"
#include "settings/SettingsFile.h"
#include "update/UpdateStateMachine.h"

namespace {

constexpr int ExitCompleted = 0;
constexpr int ExitUnitFailed = 1;
constexpr int ExitBadCommandLine = 2;
constexpr int ExitPortNotOpened = 3;
constexpr int ExitBySignalBase = 128;

void PrintError(const QString& message) {
  std::fprintf(stderr, "bootload-cli: %s\n", FileNameBytes(message).constData());
}

// A closed pipe on standard output or error, or a lost terminal, must not
// end a run half way: the unit would stay in its boot loader.
void KeepRunningWhenOutputIsLost() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGHUP, SIG_IGN);
}

// The arguments as given: paths need not be UTF-8, so bytes that are not
// are kept (see FileNameBytes.h).
QStringList ArgumentsAsGiven(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << FileNameFromBytes(argv[i]);
  return arguments;
}

// The working folder, by its bytes, as the window finds it.
QString StartupDirectory() {
  return CurrentFolderName() + QLatin1Char('/');
}

// The files the run reads or records to, which the trace must never empty.
std::vector<TraceOutput::FileInUse> FilesInUse(const CliOptions& options) {
  std::vector<TraceOutput::FileInUse> files{
      {SettingsFilePath(StartupDirectory()), QStringLiteral("the settings file")}};
  if (options.JsonFile) {
    files.push_back({*options.JsonFile, QStringLiteral("the file --json writes the record to")});
  }
  if (options.Image) {
    files.push_back({options.Image->File, QStringLiteral("the firmware file --image reads")});
  }
  if (!options.SettingsFile.isEmpty()) {
    files.push_back(
        {options.SettingsFile, QStringLiteral("the kept-settings file --restore-settings reads")});
  }
  return files;
}

QString SummaryLine(const UnitRecord& record, int stopSignal) {
  return record.Port + QStringLiteral(": ") + SummaryText(record, stopSignal);
}

// 128 and the signal only when a signal stopped a unit; otherwise how the
// units ended.
int ExitStatus(const std::vector<UnitRecord>& records, int stopSignal) {
  for (const UnitRecord& record : records) {
    if (record.Outcome == UnitRecord::Result::Stopped) return ExitBySignalBase + stopSignal;
  }
  int status = ExitCompleted;
  for (const UnitRecord& record : records) {
    if (record.Outcome == UnitRecord::Result::PortNotOpened) return ExitPortNotOpened;
    if (record.Outcome != UnitRecord::Result::Completed) status = ExitUnitFailed;
  }
  return status;
}

int BadCommandLine(const CliUsageError& error) {
  PrintError(error.Message);
  std::fprintf(stderr, "\n%s", qPrintable(CliUsage()));
  return ExitBadCommandLine;
}

// What a run needs before any unit is touched: each unit on its resolved
// port with the product it gets, and the record's destination (none without
// --json), opened first so that the records have somewhere to go.
struct RunPlan {
  std::vector<UnitUpdate::Setup> Units;
  std::unique_ptr<RecordFile> Record;
};

// The plan, or the exit status when the product, a port or the record's
// destination is refused.
std::variant<RunPlan, int> PlanRun(const CliOptions& options, std::FILE* log) {
  ProductIdentity identity;
  const auto image = std::make_unique<FirmwareImage>();
  ImageOnRecord imageSource;
  try {
    imageSource = LoadProduct(options, identity, *image, log);
  } catch (const std::exception& error) {
    PrintError(QString::fromUtf8(error.what()));
    return options.Image ? ExitBadCommandLine : ExitUnitFailed;
  }
  auto resolved = ResolvePorts(options.Ports, StartupDirectory());
  if (const auto* error = std::get_if<CliUsageError>(&resolved)) return BadCommandLine(*error);
  RunPlan plan;
  try {
    if (options.JsonFile) plan.Record = std::make_unique<RecordFile>(*options.JsonFile);
  } catch (const std::exception& error) {
    PrintError(FileNameFromBytes(error.what()));
    return ExitBadCommandLine;
  }
  for (ResolvedPort& port : std::get<std::vector<ResolvedPort>>(resolved)) {
    plan.Units.push_back({std::move(port.Port), std::move(port.Device), port.ComNumber, identity,
                          *image, options.SlaveAddress, options.Echo, imageSource});
  }
  return plan;
}

// Writes the records where --json says; a record that cannot be written is
// said and turns a completed run's status into 1.
int WithRecordWritten(RecordFile* record, const QByteArray& text, int status) {
  if (record == nullptr) return status;
  const QString failure = record->Write(text);
  if (failure.isEmpty()) return status;
  PrintError(failure);
  return status == ExitCompleted ? ExitUnitFailed : status;
}

// Log lines leave standard output to the JSON when it goes there.
std::FILE* LogStreamFor(const CliOptions& options) {
  return options.JsonFile == QStringLiteral("-") ? stderr : stdout;
}

int RunUpdate(QCoreApplication& application, const CliOptions& options) {
  std::FILE* log = LogStreamFor(options);
  auto planned = PlanRun(options, log);
  if (const int* status = std::get_if<int>(&planned)) return *status;
  RunPlan& plan = std::get<RunPlan>(planned);

  StopSignals stopSignals([](int signal) {
    PrintError(QStringLiteral("%1: stopping after the exchange under way").arg(SignalName(signal)));
  });
  const bool several = plan.Units.size() > 1;
  LogPrinter printer(log, !several && isatty(fileno(log)) != 0, several, options.Quiet);
  int status = ExitCompleted;
  UnitsRun run(std::move(plan.Units), printer, stopSignals.Received(),
               [&](const std::vector<UnitRecord>& records) {
                 const int stopSignal = stopSignals.Received().load();
                 for (const UnitRecord& unit : records) {
                   if (unit.Outcome == UnitRecord::Result::PortNotOpened)
                     PrintError(unit.PortDetail);
                   if (!unit.EchoProblem.isEmpty()) PrintError(unit.EchoProblem);
                   printer.PrintLine(SummaryLine(unit, stopSignal));
                 }
                 status = WithRecordWritten(plan.Record.get(), JsonReportText(records),
                                            ExitStatus(records, stopSignal));
                 application.quit();
               });
  run.Start();
  application.exec();
  return status;
}

// Runs the station until SIGINT or SIGTERM; each unit's record is added to
// the --json file as the unit ends.
int RunStation(QCoreApplication& application, const CliOptions& options) {
  std::FILE* log = LogStreamFor(options);
  auto planned = PlanRun(options, log);
  if (const int* status = std::get_if<int>(&planned)) return *status;
  RunPlan& plan = std::get<RunPlan>(planned);

  StopSignals stopSignals([](int signal) {
    PrintError(QStringLiteral("%1: ending the station (an update under way stops after the "
                              "exchange under way)")
                   .arg(SignalName(signal)));
  });
  const bool terminal = isatty(fileno(log)) != 0;
  const bool several = plan.Units.size() > 1;
  LogPrinter printer(log, !several && terminal, several, options.Quiet);
  int status = ExitCompleted;
  StationRun station(std::move(plan.Units), printer, plan.Record.get(), stopSignals.Received(),
                     terminal, [&](int ended) {
                       status = ended;
                       application.quit();
                     });
  if (!station.Start()) return ExitPortNotOpened;
  application.exec();
  return status;
}

int RestoreByHand(const CliOptions& options) {
  auto resolved = ResolvePorts(options.Ports, StartupDirectory());
  if (const auto* error = std::get_if<CliUsageError>(&resolved)) return BadCommandLine(*error);
  const ResolvedPort& port = std::get<std::vector<ResolvedPort>>(resolved).front();
  const SettingsRestoreResult result = RestoreSettingsByHand(
      options.SettingsFile, port.Port, port.Device, port.ComNumber, options.Echo);
  if (result.Status == ExitCompleted) {
    std::printf("%s\n", qPrintable(result.Message));
  } else {
    PrintError(result.Message);
  }
  return result.Status;
}

// Reads each unit and prints what it read; the JSON records go where
// --json says.
int RunInfo(const CliOptions& options) {
  std::FILE* out = LogStreamFor(options);
  auto planned = PlanRun(options, out);
  if (const int* status = std::get_if<int>(&planned)) return *status;
  RunPlan& plan = std::get<RunPlan>(planned);
  const StopSignals stopSignals([](int signal) {
    PrintError(QStringLiteral("%1: stopping after the read under way").arg(SignalName(signal)));
  });
  const std::vector<UnitInfoRecord> records = QueryUnits(plan.Units, stopSignals.Received());
  QByteArray json;
  for (const UnitInfoRecord& record : records) {
    if (record.Outcome == UnitInfoRecord::Result::PortNotOpened) PrintError(record.Problem);
    if (!record.EchoProblem.isEmpty()) PrintError(record.EchoProblem);
    for (const QString& line : UnitInfoLines(record)) std::fprintf(out, "%s\n", qPrintable(line));
    json += UnitInfoJson(record) + '\n';
  }
  std::fflush(out);
  const bool stopped = std::any_of(records.begin(), records.end(), [](const UnitInfoRecord& unit) {
    return unit.Outcome == UnitInfoRecord::Result::Stopped;
  });
  const int status =
      stopped ? ExitBySignalBase + stopSignals.Received().load() : UnitInfoExitStatus(records);
  return WithRecordWritten(plan.Record.get(), json, status);
}

// The actions that talk to units: an update, --info or --restore-settings.
int RunOnUnits(QCoreApplication& application, const CliOptions& options) {
  switch (options.What) {
    case CliOptions::Action::Info:
      return RunInfo(options);
    case CliOptions::Action::RestoreSettings:
      return RestoreByHand(options);
    case CliOptions::Action::Station:
      return RunStation(application, options);
    default:
      return RunUpdate(application, options);
  }
}

}  // namespace

// NOLINTNEXTLINE(bugprone-exception-escape): std::get follows get_if, so it cannot throw
int main(int argc, char** argv) {
  KeepRunningWhenOutputIsLost();
  QCoreApplication application(argc, argv);
  const auto parsed = ParseCliOptions(ArgumentsAsGiven(argc, argv));
  if (const auto* error = std::get_if<CliUsageError>(&parsed)) return BadCommandLine(*error);
  const CliOptions& options = std::get<CliOptions>(parsed);
  switch (options.What) {
    case CliOptions::Action::Help:
      std::fputs(qPrintable(CliUsage()), stdout);
      return ExitCompleted;
    case CliOptions::Action::Version:
      std::printf("bootload-cli %s\n", BOOTLOAD_VERSION);
      return ExitCompleted;
    case CliOptions::Action::ListPorts:
      PrintPresentPorts(stdout, StartupDirectory());
      return ExitCompleted;
    case CliOptions::Action::Update:
    case CliOptions::Action::Station:
    case CliOptions::Action::Info:
    case CliOptions::Action::RestoreSettings:
      break;
  }
  std::optional<TraceOutput> trace;
  if (options.TraceFile) {
    trace.emplace(*options.TraceFile, FilesInUse(options));
    if (!trace->OpenError().isEmpty()) {
      PrintError(trace->OpenError());
      return ExitBadCommandLine;
    }
  }
  const int status = RunOnUnits(application, options);
  // As for the record: a trace that is lost in part is said, and a run
  // that went well then ends with 1.
  if (!trace || trace->WriteError().isEmpty()) return status;
  PrintError(trace->WriteError());
  return status == ExitCompleted ? ExitUnitFailed : status;
}
