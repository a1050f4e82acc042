#include "cli/SettingsRestore.h"

#include <QObject>

#include "cli/CliView.h"
#include "cli/EchoNotes.h"
#include "cli/UnitLink.h"
#include "comms/KovaComms.h"
#include "update/KeptSettingsStore.h"
#include "update/LineSpeeds.h"
#include "update/UpgradeSteps.h"

namespace {

constexpr int Written = 0;
constexpr int NotWritten = 1;
constexpr int BadCommandLine = 2;
constexpr int PortNotOpened = 3;

}  // namespace

SettingsRestoreResult RestoreSettingsByHand(const QString& file, const QString& port,
                                            const std::string& device, int comNumber,
                                            EchoMode echo) {
  KeptSettings kept;
  if (const QString problem = LoadKeptSettings(file, kept); !problem.isEmpty()) {
    return {BadCommandLine, QStringLiteral("%1: %2").arg(file, problem)};
  }
  TKovaComms link([device](int) { return device; });
  SayWhenEchoFound(link, port);
  if (const auto detail = OpenUnitLink(link, comNumber, UnitSpeed(kept.UnitModel), echo)) {
    return {PortNotOpened, *detail};
  }
  ProductIdentity identity;
  identity.ExpectedModel = kept.UnitModel;
  const FirmwareImage image;
  QObject stateTarget;
  CliView view(
      link, device, identity, image, 1, [](const LogEvent&) {}, stateTarget);
  UpgradeSteps steps(view);
  if (steps.ReadUpgradeInfo() != 1) {
    // An echo setting that does not fit the line is the likelier cause.
    const QString echoNote = EchoProblemNote(port, link.Echo());
    if (!echoNote.isEmpty()) return {NotWritten, echoNote + QStringLiteral("; nothing written")};
    return {NotWritten, QStringLiteral("%1: the unit does not answer as a running unit; nothing "
                                       "written: check the line, or complete its update first")
                            .arg(port)};
  }
  if (steps.UnitModel != kept.UnitModel) {
    return {
        NotWritten,
        QStringLiteral("%1: the unit is model %2, the settings are of model %3; nothing written")
            .arg(port)
            .arg(steps.UnitModel)
            .arg(kept.UnitModel)};
  }
  steps.SettingsSlave17 = kept.Slave17;
  steps.SettingsSlave19 = kept.Slave19;
  steps.SettingsSlave20 = kept.Slave20;
  if (const int32_t result = steps.WriteBackSettings(); result != 1) {
    return {NotWritten, QStringLiteral("%1: writing the settings failed (result %2) and the unit "
                                       "may hold part of them: run this again")
                            .arg(port)
                            .arg(result)};
  }
  return {Written, QStringLiteral("%1: the settings of %2 written into the unit and committed; the "
                                  "file can be deleted")
                       .arg(port, file)};
}
