#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTemporaryDir>
#include <array>

#include "modbus/ModBusPro.h"
#include "support/UnitSimProcess.h"
#include "update/KeptSettingsStore.h"
#include "update/LinkedView.h"
#include "update/ProductRoles.h"
#include "update/UpdateEngine.h"
#include "update/UpdateStateMachine.h"
#include "update/UpgradeSteps.h"

namespace {

// A unit of the model that keeps its settings, on a link at its firmware's
// speed, with new firmware 21.10 to install.
struct CarryUnit {
  explicit CarryUnit(const QString& version, const QStringList& faults = {})
      : unit(QStringList{"--model", "1105", "--version", version} + faults),
        view(unit.SlavePath()) {
    view.Link->Close();
    view.Link->BaudRate = 9600;
    view.Link->Open();
    view.Product.FirmwareVersion = 2110;
  }

  std::array<uint16_t, 22> Read(uint8_t slave, uint16_t first, uint16_t count) {
    std::array<uint16_t, 22> values{};
    EXPECT_EQ(ReadRegistersRetry({*view.Link, 0}, slave, 3, first, count, values), 1);
    return values;
  }

  UnitSimProcess unit;
  LinkedView view;
};

TEST(SettingsCarry, SettingsReadBeforeTheUpdateAreWrittenBackAndCommitted) {
  CarryUnit carry("109");
  UpgradeSteps steps(carry.view);
  ASSERT_EQ(steps.ReadUpgradeInfo(), 1);
  EXPECT_EQ(steps.UnitModel, 1105);
  EXPECT_EQ(steps.UnitVersion, 109);
  ASSERT_EQ(steps.SaveUnitSettings(), 1);
  EXPECT_EQ(steps.SettingsSlave17[0], 1724);
  EXPECT_EQ(steps.SettingsSlave19[0], 1922);
  EXPECT_EQ(steps.SettingsSlave19[7], 0) << "the command register is kept as 0";
  EXPECT_EQ(steps.SettingsSlave20[21], 2028);

  // Stands in for the new firmware's defaults.
  EXPECT_EQ(WriteRegister(*carry.view.Link, 19, 103, 22, 0xFFFF, ModbusTimeoutTicks), 1);
  EXPECT_EQ(WriteRegister(*carry.view.Link, 20, 103, 28, 0xFFFF, ModbusTimeoutTicks), 1);
  EXPECT_EQ(steps.RestoreUnitSettings(), 1);
  EXPECT_EQ(carry.view.Delays, 2) << "the 5 s wait before and the 3 s wait after the commit";

  EXPECT_EQ(carry.Read(19, 22, 1)[0], 1922);
  EXPECT_EQ(carry.Read(20, 7, 22)[21], 2028);
  EXPECT_EQ(carry.Read(17, 24, 1)[0], 1724);
  EXPECT_EQ(carry.Read(19, 29, 1)[0], 0x7E59) << "register 29 ends with the commit key";
  const QStringList writes =
      carry.unit.HeardFrames().filter(QRegularExpression("^rx 9600 (11 67|13 68|14 68) "));
  ASSERT_EQ(writes.size(), 4);
  EXPECT_TRUE(writes[1].startsWith("rx 9600 13 68 00 16 00 0B 16 "));
  EXPECT_TRUE(writes[1].contains(" 07 88 00 00 07 8A")) << "register 29 is written as 0";
  EXPECT_TRUE(writes[2].startsWith("rx 9600 14 68 00 07 00 0B 16 "));
  EXPECT_TRUE(writes[3].startsWith("rx 9600 14 68 00 12 00 0B 16 "));
  EXPECT_EQ(carry.unit.Transcript().filter("commit").size(), 1);
}

TEST(SettingsCarry, UnitAlreadyAtTheNewLayoutKeepsNothingButStillWaits) {
  CarryUnit carry("110");
  UpgradeSteps steps(carry.view);
  ASSERT_EQ(steps.ReadUpgradeInfo(), 1);
  const int heardBefore = static_cast<int>(carry.unit.HeardFrames().size());
  EXPECT_EQ(steps.SaveUnitSettings(), 99);
  EXPECT_EQ(steps.RestoreUnitSettings(), 99);
  EXPECT_EQ(carry.view.Delays, 1);
  EXPECT_EQ(carry.unit.HeardFrames().size(), heardBefore);
}

TEST(SettingsCarry, SettingsThatCannotBeWrittenBackEndTheRunWithAnErrorAfterTheCommit) {
  CarryUnit carry("109", {"--fault", "exception:write-many:*"});
  carry.view.Product.ExpectedModel = SettingsCarryModel;
  UpdateEngine engine(carry.view);
  UpdateStateMachine machine(carry.view, engine);
  machine.Dispatch(UpdateState::InitialiseUpgrade);
  machine.Dispatch(UpdateState::FinaliseUpgrade);

  EXPECT_EQ(carry.view.Log,
            QStringList({"Initialising Upgrade.....Done (1)", "Finalising Upgrade.....Error"}));
  EXPECT_EQ(carry.unit.Transcript().filter("commit").size(), 1)
      << "the commit is written all the same";
}

TEST(SettingsCarry, KeptSettingsOfAnotherModelAreSetAsideAndNeverWritten) {
  const QTemporaryDir state;
  qputenv("XDG_STATE_HOME", state.path().toUtf8());
  UnitSimProcess unit({"--model", "1104", "--start-in-boot-loader"});
  LinkedView view(unit.SlavePath());
  view.Product.ExpectedModel = 1104;
  view.Product.FirmwareVersion = 2110;
  view.Product.ProgramEndAddress = 0x1FFF;
  view.Firmware.BlockPresent.fill(true);
  const KeptSettingsStore store(unit.SlavePath());
  KeptSettings kept;
  kept.UnitModel = SettingsCarryModel;
  kept.UnitVersion = 109;
  ASSERT_EQ(store.Save(kept), QString());

  UpdateEngine engine(view);
  UpdateStateMachine machine(view, engine);
  for (const int32_t step : {20, 0, 7, 1, 2, 3, 4, 5, 6, 21}) machine.Dispatch(step);

  ASSERT_GE(view.Log.size(), 3);
  EXPECT_EQ(view.Log[1], "Kept settings of an interrupted run on this port found in " +
                             store.Path() +
                             ": they go back if the boot loader reports model 1105 and the "
                             "update completes");
  EXPECT_EQ(view.Log[view.Log.size() - 2], "Finalising Upgrade.....Done");
  EXPECT_TRUE(view.Log.last().startsWith(
      "Kept settings of an earlier run on this port not written back: the boot loader reports "
      "model 1104, they are of model 1105; they are set aside in " +
      state.path() + "/bootload/"))
      << view.Log.last().toStdString();
  EXPECT_FALSE(store.Exists());
  EXPECT_TRUE(unit.HeardFrames().filter(QRegularExpression("^rx 9600 .. (67|68) ")).isEmpty());
}

}  // namespace
