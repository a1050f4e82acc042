#include "cli/UnitInfo.h"

#include <QObject>
#include <QThread>
#include <memory>

#include "cli/CliView.h"
#include "cli/EchoNotes.h"
#include "cli/UnitLink.h"
#include "comms/KovaComms.h"
#include "update/LineSpeeds.h"
#include "update/ProductRoles.h"
#include "update/UpgradeSteps.h"

namespace {

constexpr int32_t ReadSucceeded = 1;

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

// The update's own first reads, on a link opened straight at the speed the
// unit's firmware listens at; nothing is written.
void ReadUnit(UpdateView& view, UnitInfoRecord& record) {
  UpgradeSteps steps(view);
  const int32_t info = steps.ReadUpgradeInfo();
  if (info != ReadSucceeded) {
    record.Problem = ReadProblem("model and firmware version", info);
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

UnitInfoRecord QueryUnit(const UnitUpdate::Setup& setup) {
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
  ReadUnit(view, record);
  link.Close();
  record.LineEchoes = link.Echo().EchoSeen();
  record.EchoTakenOut = link.Echo().EchoConfirmed();
  record.EchoProblem = EchoProblemNote(setup.Port, link.Echo());
  return record;
}

}  // namespace

std::vector<UnitInfoRecord> QueryUnits(const std::vector<UnitUpdate::Setup>& units) {
  std::vector<UnitInfoRecord> records(units.size());
  std::vector<std::unique_ptr<QThread>> threads;
  for (std::size_t i = 0; i < units.size(); ++i) {
    // Each record is written by its thread alone and read once all have ended.
    threads.emplace_back(
        QThread::create([&records, &units, i] { records[i] = QueryUnit(units[i]); }));
    threads.back()->start();
  }
  for (const auto& thread : threads) thread->wait();
  return records;
}
