#include <gtest/gtest.h>

#include <QListWidget>
#include <QTemporaryDir>

#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "support/UnitSimProcess.h"
#include "support/WholeUpdateLog.h"
#include "update/ProductRoles.h"

namespace {

constexpr int RunLimitMs = 300000;

QStringList LogOf(const TMainForm& form) {
  QStringList lines;
  for (int i = 0; i < form.ListBox1->count(); ++i) lines.append(form.ListBox1->item(i)->text());
  return lines;
}

TEST(FullUpdate, ShippedProductIsWrittenIntoTheUnitWithEveryStepLogged) {
  UnitSimProcess unit;
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  TMainForm form;
  ASSERT_TRUE(form.CommsLink->IsOpen());
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs));

  EXPECT_EQ(LogOf(form), WholeUpdateLog);
  EXPECT_TRUE(form.LastRunOutcome.Completed);
  const std::vector<uint8_t> memory = unit.StopAndReadMemory();
  ASSERT_EQ(memory.size(), 65536u);
  EXPECT_TRUE(std::equal(memory.begin() + 0x800, memory.end(), form.Image.Bytes.begin() + 0x800))
      << "the unit's memory from 0x0800 on equals the image";
}

// The settings-keeping model at version 109, updated by the shipped image's
// firmware 21.10 as Load File of a file of that model would: a run that goes
// to plan shows the sequence's lines alone; one that ends early says where
// the settings stay.
class KeptSettingsWindowRun : public testing::Test {
 protected:
  KeptSettingsWindowRun() { qputenv("XDG_STATE_HOME", state.path().toUtf8()); }

  QStringList Run(const QStringList& unitOptions) {
    UnitSimProcess unit(QStringList{"--model", "1105", "--version", "109"} + unitOptions);
    WorkingFolder folder;
    folder.WriteSettings(1, {{1, unit.SlavePath()}});
    TMainForm form;
    form.Identity.RmNumber = SettingsCarryModel;
    form.Identity.ExpectedModel = SettingsCarryModel;
    form.Button6Click();
    EXPECT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs));
    return LogOf(form);
  }

  QTemporaryDir state;
};

TEST_F(KeptSettingsWindowRun, ARunThatGoesToPlanShowsTheSequencesLinesAlone) {
  EXPECT_EQ(Run({}), WholeUpdateLog);
}

TEST_F(KeptSettingsWindowRun, ARunThatEndsEarlySaysWhereTheSettingsStay) {
  const QStringList log = Run({"--fault", "no-reply:erase:3"});
  ASSERT_EQ(log.size(), 6) << log.join('\n').toStdString();
  EXPECT_EQ(log[4], "Erasing Program Memory......Error Detected");
  EXPECT_TRUE(
      log[5].startsWith("Kept settings not written back, as the run ended first: they "
                        "stay in " +
                        state.path() + "/bootload/char-"))
      << log[5].toStdString();
}

}  // namespace
