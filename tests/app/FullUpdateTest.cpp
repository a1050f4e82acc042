#include <gtest/gtest.h>

#include <QListWidget>

#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "support/UnitSimProcess.h"
#include "support/WholeUpdateLog.h"

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

}  // namespace
