#include "cli/UnitInfo.h"

#include <QEventLoop>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <memory>

#include "cli/CliView.h"
#include "cli/EchoNotes.h"
#include "cli/UnitLink.h"
#include "comms/KovaComms.h"
#include "update/BootLoaderCommands.h"
#include "update/EngineLink.h"
#include "update/KeptSettingsStore.h"
#include "update/LineSpeeds.h"
#include "update/ProductRoles.h"
#include "update/UpgradeSteps.h"

namespace {

constexpr int32_t ReadSucceeded = 1;
constexpr uint32_t NoBootLoaderInfo = 0xFFFFFFFF;
constexpr int StopPollMs = 50;

QString ReadProblem(const char* what, int32_t result) {
  const char* how = "the link refused to send";
  switch (result) {
    case 0:
      how = "no reply";
      break;
    case 2:
      how = "exception reply";
      break;
    case -1:
      how = "reply with a wrong CRC";
      break;
    default:
      break;
  }
  return QStringLiteral("%1: %2").arg(QLatin1String(what), QLatin1String(how));
}

UnitInfoRecord::KeptSettings Kept(const UpgradeSteps::KeptBlock& block,
                                  const UpgradeSteps::Settings& words) {
  return {block.Slave, block.FirstRegister,
          std::vector<uint16_t>(words.begin(), words.begin() + block.Count)};
}

// A unit whose firmware does not answer may sit in its boot loader, left
// there by an update that did not complete: its information request, a read
// too, tells.
QString BootLoaderNote(UpdateView& view) {
  ReopenLinkAt(view, BootLoaderSpeed(view.Identity().ExpectedModel));
  const uint32_t info = BootLoaderCommands(view).ReadBootLoaderInfo();
  if (info == NoBootLoaderInfo) return {};
  QString note = QStringLiteral(
                     "; its boot loader answers (RM%1, version %2): the unit sits in its boot "
                     "loader, probably left there by an interrupted update; run the update "
                     "again to complete it")
                     .arg(info >> 16)
                     .arg(info & 0xFFFF);
  if (const KeptSettingsStore store(view.PortDevice()); store.Exists()) {
    note += QStringLiteral(", and the kept settings in %1, which wait for this port, go back")
                .arg(store.Path());
  }
  return note;
}

// The update's own first reads, on a link opened straight at the speed the
// unit's firmware listens at; nothing is written.
void ReadUnit(UpdateView& view, UnitInfoRecord& record) {
  UpgradeSteps steps(view);
  const int32_t info = steps.ReadUpgradeInfo();
  if (info != ReadSucceeded) {
    record.Problem = ReadProblem("model and firmware version", info);
    if (info == 0) record.Problem += BootLoaderNote(view);
    return;
  }
  record.UnitModel = steps.UnitModel;
  record.UnitVersion = steps.UnitVersion;
  if (steps.UnitModel == SettingsCarryModel) {
    const int32_t kept = steps.ReadKeptSettings();
    if (kept != ReadSucceeded) {
      record.Problem = ReadProblem("kept settings", kept);
      return;
    }
    record.Settings = {Kept(UpgradeSteps::Slave17Block, steps.SettingsSlave17),
                       Kept(UpgradeSteps::Slave19Block, steps.SettingsSlave19),
                       Kept(UpgradeSteps::Slave20Block, steps.SettingsSlave20)};
  }
  record.Outcome = UnitInfoRecord::Result::Answered;
}

UnitInfoRecord QueryUnit(const UnitUpdate::Setup& setup, const std::atomic<int>& stopSignal) {
  UnitInfoRecord record;
  record.Port = setup.Port;
  record.Device = QString::fromStdString(setup.Device);
  const std::string device = setup.Device;
  // NOLINTNEXTLINE(performance-no-automatic-move): called at every open, so it keeps its copy
  TKovaComms link([device](int) { return device; });
  if (const auto detail = OpenUnitLink(link, setup.ComNumber,
                                       UnitSpeed(setup.Identity.ExpectedModel), setup.Echo)) {
    record.Outcome = UnitInfoRecord::Result::PortNotOpened;
    record.Problem = *detail;
    return record;
  }
  // The reads post no states and write no log lines.
  QObject noStates;
  CliView view(
      link, setup.Device, setup.Identity, setup.Image, setup.SlaveAddress, [](const LogEvent&) {},
      noStates);
  // Seen while a read waits for its reply, as that wait runs this thread's events.
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, [&] {
    if (stopSignal.load() != 0) link.StopAfterExchange();
  });
  stopWatch.start(StopPollMs);
  ReadUnit(view, record);
  stopWatch.stop();
  link.Close();
  record.LineEchoes = link.Echo().EchoSeen();
  record.EchoTakenOut = link.Echo().EchoConfirmed();
  record.EchoProblem = EchoProblemNote(setup.Port, link.Echo());
  if (stopSignal.load() != 0 && record.Outcome != UnitInfoRecord::Result::Answered)
    record.Outcome = UnitInfoRecord::Result::Stopped;
  return record;
}

}  // namespace

std::vector<UnitInfoRecord> QueryUnits(const std::vector<UnitUpdate::Setup>& units,
                                       const std::atomic<int>& stopSignal) {
  std::vector<UnitInfoRecord> records(units.size());
  std::vector<std::unique_ptr<QThread>> threads;
  // This thread's events run meanwhile: the stop signals arrive through them.
  QEventLoop loop;
  std::size_t running = units.size();
  for (std::size_t i = 0; i < units.size(); ++i) {
    // Each record is written by its thread alone and read once all have ended.
    threads.emplace_back(QThread::create(
        [&records, &units, &stopSignal, i] { records[i] = QueryUnit(units[i], stopSignal); }));
    QObject::connect(threads.back().get(), &QThread::finished, &loop, [&] {
      if (--running == 0) loop.quit();
    });
    threads.back()->start();
  }
  if (running > 0) loop.exec();
  for (const auto& thread : threads) thread->wait();
  return records;
}
