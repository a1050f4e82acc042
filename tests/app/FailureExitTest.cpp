#include <gtest/gtest.h>

#include <QListWidget>
#include <QRegularExpression>

#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "support/UnitSimProcess.h"

namespace {

constexpr int RunLimitMs = 300000;

struct ExitCase {
  const char* name;
  QStringList unitOptions;
  int logLines;
  QString lastLine;
  // Frames the unit must not have heard after the failure, as a pattern.
  QString neverHeard;
};

class FailureExit : public testing::TestWithParam<ExitCase> {};

TEST_P(FailureExit, EndsTheRunWithItsLineAndSendsNothingAfterIt) {
  const ExitCase& c = GetParam();
  UnitSimProcess unit(c.unitOptions);
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  TMainForm form;
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs));

  ASSERT_EQ(form.ListBox1->count(), c.logLines);
  EXPECT_EQ(form.ListBox1->item(c.logLines - 1)->text(), c.lastLine);
  EXPECT_FALSE(form.LastRunOutcome.Completed);
  EXPECT_GE(form.LastRunOutcome.FailedState, 0);
  EXPECT_TRUE(unit.HeardFrames().filter(QRegularExpression(c.neverHeard)).isEmpty())
      << c.neverHeard.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    UnitFaults, FailureExit,
    testing::Values(ExitCase{"IncompatibleModel",
                             {"--fault", "other-model:model:*"},
                             4,
                             "Retrieving Model Number......Error (Incompatible Model)",
                             "^rx 115200 10 02 03 "},
                    ExitCase{"SettingsThatCannotBeRead",
                             {"--model", "1105", "--version", "109", "--fault", "no-reply:read:2",
                              "--fault", "no-reply:read:3"},
                             1,
                             "Initialising Upgrade.....Error",
                             "^rx 115200 "},
                    ExitCase{"ThirdEraseTimesOut",
                             {"--fault", "no-reply:erase:3"},
                             5,
                             "Erasing Program Memory......Error Detected",
                             "^rx 115200 10 02 (03 08 00 0E|02 02) "},
                    ExitCase{"Row200NoReply",
                             {"--fault", "no-reply:program:185"},
                             6,
                             "Sending New Program Data......Error Detected",
                             "^rx 115200 10 02 (02 02 80 64|05 01) "},
                    ExitCase{"Row200BadChecksum",
                             {"--fault", "bad-check:program:185"},
                             6,
                             "Sending New Program Data......Error Detected",
                             "^rx 115200 10 02 (02 02 80 64|05 01) "},
                    ExitCase{"HangUpDuringProgramming",
                             {"--fault", "hangup:program:100"},
                             6,
                             "Sending New Program Data......Error Detected",
                             "^rx 115200 10 02 05 01 "}),
    [](const testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

TEST(ReplyShapes, SplitNoisyAndTrailingRepliesAreHandledAsFramesShouldBe) {
  // The trailing byte follows a Modbus reply: after a boot reply it would
  // fall inside the checksum and fail the reply, as it must.
  UnitSimProcess unit(
      {"--fault", "split:model:2", "--fault", "noise:info:2", "--fault", "trailing:read:1"});
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  TMainForm form;
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs));
  ASSERT_EQ(form.ListBox1->count(), 9);
  EXPECT_EQ(form.ListBox1->item(0)->text(), "Initialising Upgrade.....Done (1)");
  EXPECT_EQ(form.ListBox1->item(2)->text(), "Retrieving Bootloader Info......RM9001 v1.03");
  EXPECT_EQ(form.ListBox1->item(3)->text(), "Retrieving Model Number......OK");
  EXPECT_EQ(form.ListBox1->item(8)->text(), "Finalising Upgrade.....Done");
  EXPECT_EQ(unit.Transcript().filter(QRegularExpression("^tx 9600 .* A5$")).size(), 1)
      << "the model read's reply went out with its trailing byte";
}

}  // namespace
