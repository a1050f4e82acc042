#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <cstdio>
#include <exception>
#include <variant>

#include "cli/CliOptions.h"
#include "cli/JsonReport.h"
#include "cli/LogPrinter.h"
#include "cli/PortList.h"
#include "cli/StopSignals.h"
#include "cli/UnitsRun.h"
#include "image/FirmwareImage.h"
#include "image/ImageFile.h"
#include "image/ProductIdentity.h"
#include "image/ResourceStore.h"
#include "settings/NetworkPortSettings.h"
#include "settings/PortMapping.h"
#include "update/UpdateStateMachine.h"

namespace {

constexpr int ExitCompleted = 0;
constexpr int ExitUnitFailed = 1;
constexpr int ExitBadCommandLine = 2;
constexpr int ExitPortNotOpened = 3;
constexpr int ExitBySignalBase = 128;
constexpr int HighestComNumber = 32;

void PrintError(const QString& message) {
  std::fprintf(stderr, "bootload-cli: %s\n", qPrintable(message));
}

// The built-in product, or the image file the command line names, with
// the identity Load File would give it.
void LoadProduct(const CliOptions& options, ProductIdentity& identity, FirmwareImage& image,
                 std::FILE* log) {
  const ResourceStore resources;
  (void)BuildProductIdentity(identity, resources);
  LoadEmbeddedImage(image, resources);
  if (!options.Image) return;
  LoadImageFromFile(image, options.Image->File);
  identity.ProcessorNumber = options.Image->ProcessorNumber;
  SetProgramEndAddress(identity);
  identity.RmNumber = options.Image->RmNumber;
  identity.ExpectedModel = options.Image->RmNumber;
  if (!options.Quiet) std::fprintf(log, "New File Loaded...RM%u\n", options.Image->RmNumber);
}

// PORT as a device path: itself, or what COMn maps to from the working
// folder (empty when nothing), with its COM number.
std::pair<std::string, int> ResolvePort(const QString& port, const QString& startupDirectory) {
  static const QRegularExpression comPort(QStringLiteral("^COM([1-9][0-9]?)$"),
                                          QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch match = comPort.match(port);
  const int comNumber = match.hasMatch() ? match.captured(1).toInt() : 0;
  if (comNumber < 1 || comNumber > HighestComNumber) return {port.toStdString(), 1};
  return {ComPortMap(startupDirectory).DevicePath(comNumber), comNumber};
}

QString SummaryLine(const UnitRecord& record, int stopSignal) {
  switch (record.Outcome) {
    case UnitRecord::Result::Completed:
      return record.Port + QStringLiteral(": updated");
    case UnitRecord::Result::Failed:
      return record.Port + QStringLiteral(": failed: ") + record.LastLogLine;
    case UnitRecord::Result::PortNotOpened:
      return record.Port + QStringLiteral(": port not opened: ") + record.PortDetail;
    case UnitRecord::Result::Stopped:
      break;
  }
  const QString where = QStringLiteral(": stopped by %1 at \"%2\"; ")
                            .arg(QString::fromLatin1(sigabbrev_np(stopSignal)), record.LastLogLine);
  const QString unit = record.FailedState == UpdateState::InitialiseUpgrade
                           ? QStringLiteral("the unit was not changed")
                           : QStringLiteral(
                                 "the unit is left in its boot loader: run the update "
                                 "again to complete it");
  return record.Port + where + unit;
}

int ExitStatus(const std::vector<UnitRecord>& records, int stopSignal) {
  if (stopSignal != 0) return ExitBySignalBase + stopSignal;
  int status = ExitCompleted;
  for (const UnitRecord& record : records) {
    if (record.Outcome == UnitRecord::Result::PortNotOpened) return ExitPortNotOpened;
    if (record.Outcome != UnitRecord::Result::Completed) status = ExitUnitFailed;
  }
  return status;
}

int RunUpdate(QCoreApplication& application, const CliOptions& options) {
  // Log lines leave standard output to the JSON when it goes there.
  std::FILE* log = options.JsonFile == QStringLiteral("-") ? stderr : stdout;
  ProductIdentity identity;
  FirmwareImage image;
  try {
    LoadProduct(options, identity, image, log);
  } catch (const std::exception& error) {
    PrintError(QString::fromUtf8(error.what()));
    return options.Image ? ExitBadCommandLine : ExitUnitFailed;
  }

  StopSignals stopSignals([](int signal) {
    PrintError(QStringLiteral("%1: stopping after the exchange under way")
                   .arg(QString::fromLatin1(sigabbrev_np(signal))));
  });
  const QString startupDirectory = QDir::currentPath() + QLatin1Char('/');
  std::vector<UnitUpdate::Setup> units;
  for (const QString& port : options.Ports) {
    const auto [device, comNumber] = ResolvePort(port, startupDirectory);
    units.push_back({port, WithSettingsCaFile(device, startupDirectory), comNumber, identity, image,
                     options.SlaveAddress});
  }
  const bool several = units.size() > 1;
  LogPrinter printer(log, !several && isatty(fileno(log)) != 0, several, options.Quiet);
  int status = ExitCompleted;
  UnitsRun run(std::move(units), printer, stopSignals.Received(),
               [&](const std::vector<UnitRecord>& records) {
                 const int stopSignal = stopSignals.Received().load();
                 for (const UnitRecord& record : records) {
                   if (record.Outcome == UnitRecord::Result::PortNotOpened)
                     PrintError(record.PortDetail);
                   std::fprintf(log, "%s\n", qPrintable(SummaryLine(record, stopSignal)));
                 }
                 std::fflush(log);
                 status = ExitStatus(records, stopSignal);
                 if (options.JsonFile && !WriteJsonReport(*options.JsonFile, records)) {
                   PrintError(QStringLiteral("Unable to write to %1").arg(*options.JsonFile));
                   if (status == ExitCompleted) status = ExitUnitFailed;
                 }
                 application.quit();
               });
  run.Start();
  application.exec();
  return status;
}

}  // namespace

// NOLINTNEXTLINE(bugprone-exception-escape): std::get follows get_if, so it cannot throw
int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  const auto parsed = ParseCliOptions(QCoreApplication::arguments());
  if (const auto* error = std::get_if<CliUsageError>(&parsed)) {
    PrintError(error->Message);
    std::fprintf(stderr, "\n%s", qPrintable(CliUsage()));
    return ExitBadCommandLine;
  }
  const CliOptions& options = std::get<CliOptions>(parsed);
  switch (options.What) {
    case CliOptions::Action::Help:
      std::fputs(qPrintable(CliUsage()), stdout);
      return ExitCompleted;
    case CliOptions::Action::Version:
      std::printf("bootload-cli %s\n", BOOTLOAD_VERSION);
      return ExitCompleted;
    case CliOptions::Action::ListPorts:
      PrintPresentPorts(stdout, QDir::currentPath() + QLatin1Char('/'));
      return ExitCompleted;
    case CliOptions::Action::Update:
      break;
  }
  return RunUpdate(application, options);
}
