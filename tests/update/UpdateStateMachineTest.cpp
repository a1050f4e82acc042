#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <stdexcept>

#include "update/ProductRoles.h"
#include "update/RecordingView.h"
#include "update/ScriptedCommands.h"
#include "update/UpdateStateMachine.h"

namespace {

constexpr uint16_t Model = 4001;
constexpr uint32_t NoModel = 0xFFFF0000;

class UpdateSequenceTest : public testing::Test {
 protected:
  UpdateSequenceTest() : machine(view, commands) {
    view.Machine = &machine;
    view.Product.ExpectedModel = Model;
    view.Product.ModelReadDelay = -1;
    commands.ModelNumberResults = {Model, Model};
  }

  // Runs a whole sequence from Start and checks that it ended at state 99.
  void RunSequence() {
    machine.Start();
    EXPECT_FALSE(view.RunButtonsEnabled);
    ASSERT_TRUE(view.RunUntilIdle());
    ASSERT_FALSE(view.PostedStates.empty());
    EXPECT_EQ(view.PostedStates.back(), UpdateState::Finished);
    EXPECT_EQ(view.LastOutcome, UpdateStateMachine::Outcome::Finished);
    EXPECT_TRUE(view.RunButtonsEnabled);
  }

  RecordingView view;
  ScriptedCommands commands;
  UpdateStateMachine machine;
};

TEST_F(UpdateSequenceTest, SuccessfulRunLogsEveryStepInOrder) {
  commands.During = [this](const QString& command) {
    if (command == "EraseProgramMemory") view.SetLastLogLine("Erasing Program Memory......100%");
    if (command == "SendProgramData") view.SetLastLogLine("Sending New Program Data......100%");
  };
  commands.BootLoaderInfoResults = {0xFFFFFFFF, (1234u << 16) | 205};
  RunSequence();
  EXPECT_EQ(view.Log, QStringList({
                          "Initialising Upgrade.....Done (1)",
                          "Enabling BootLoader.....Done",
                          "Retrieving Bootloader Info......RM1234 v2.05",
                          "Retrieving Model Number......OK",
                          "Erasing Program Memory......100%",
                          "Sending New Program Data......100%",
                          "Disabling Boot Mode......Done",
                          "Restarting Unit......Done",
                          "Finalising Upgrade.....Done",
                      }));
  EXPECT_EQ(view.PostedStates, (std::vector<int32_t>{20, 0, 7, 1, 2, 3, 4, 5, 6, 21, 99}));
  EXPECT_EQ(commands.Calls,
            QStringList({"ReopenLink", "ReadUpgradeInfo", "SaveUnitSettings", "EnableBootLoader",
                         "ReadBootLoaderInfo", "ReadBootLoaderInfo", "ReadModelNumber",
                         "ReadModelNumber", "EraseProgramMemory", "SendProgramData",
                         "DisableBootMode", "RestartUnit", "ReopenLink", "RestoreUnitSettings"}));
  EXPECT_EQ(view.SelectedLine, 8);
}

TEST_F(UpdateSequenceTest, LinesOfTheCommandsFollowTheLineOfTheirStateRoutineOnesWhereWanted) {
  commands.During = [this](const QString& command) {
    if (command == "SaveUnitSettings") commands.Notes << LogNote{"kept before boot entry", true};
    if (command == "RestoreUnitSettings") commands.Notes << LogNote{"found and written back"};
  };
  commands.ModelNumberResults = {Model, Model, Model, Model};  // two runs
  RunSequence();
  ASSERT_EQ(view.Log.size(), 11);
  EXPECT_EQ(view.Log.mid(0, 3),
            QStringList({"Initialising Upgrade.....Done (1)", "kept before boot entry",
                         "Enabling BootLoader.....Done"}));
  EXPECT_EQ(view.Log.mid(9),
            QStringList({"Finalising Upgrade.....Done", "found and written back"}));

  view.RoutineNotesShown = false;
  RunSequence();
  ASSERT_EQ(view.Log.size(), 10) << "the routine note is left out";
  EXPECT_EQ(view.Log[1], "Enabling BootLoader.....Done");
}

TEST_F(UpdateSequenceTest, SettingsThatCannotBeKeptEndTheRunBeforeBootEntry) {
  commands.SaveSettingsResult = 1;
  commands.KeepSettingsResult = false;
  commands.During = [this](const QString& command) {
    if (command == "SaveUnitSettings") commands.Notes << LogNote{"could not be kept"};
  };
  RunSequence();
  EXPECT_EQ(view.Log, QStringList({"Initialising Upgrade.....Done (1)", "could not be kept"}));
  EXPECT_EQ(commands.Calls, QStringList({"ReopenLink", "ReadUpgradeInfo", "SaveUnitSettings"}));
  ASSERT_TRUE(view.Ended);
  EXPECT_FALSE(view.Ended->Completed);
  EXPECT_EQ(view.Ended->FailedState, UpdateState::KeepSettings);
}

TEST_F(UpdateSequenceTest, LinkReopensAtTheUnitSpeedOfTheModel) {
  RunSequence();
  EXPECT_EQ(commands.LinkSpeeds, (std::vector<uint32_t>{9600, 9600}));

  ScriptedCommands fast;
  UpdateStateMachine fastMachine(view, fast);
  view.Machine = &fastMachine;
  view.Product.ExpectedModel = HighSpeedModel;
  fast.ModelNumberResults = {HighSpeedModel, HighSpeedModel};
  fastMachine.Start();
  ASSERT_TRUE(view.RunUntilIdle());
  EXPECT_EQ(fast.LinkSpeeds, (std::vector<uint32_t>{800000, 800000}));
}

TEST_F(UpdateSequenceTest, InitialiseOutcomes) {
  struct Case {
    int32_t upgradeInfo;
    int32_t saveSettings;
    const char* line;
    bool saveCalled;
    int32_t next;
  };
  const Case cases[] = {
      {1, 1, "Initialising Upgrade.....Done (1)", true, UpdateState::EnableBootLoader},
      {1, 99, "Initialising Upgrade.....Done (1)", true, UpdateState::EnableBootLoader},
      {1, 0, "Initialising Upgrade.....Error", true, UpdateState::Finished},
      {1, 2, "Initialising Upgrade.....Error", true, UpdateState::Finished},
      {1, -1, "Initialising Upgrade.....Error", true, UpdateState::Finished},
      {0, 1, "Initialising Upgrade.....Done (0)", false, UpdateState::EnableBootLoader},
      {-2, 1, "Initialising Upgrade.....Done (0)", false, UpdateState::EnableBootLoader},
      {2, 1, "Initialising Upgrade.....Done (0)", false, UpdateState::EnableBootLoader},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    view.Log = QStringList{"left over from the last run"};
    view.PostedStates.clear();
    commands.Calls.clear();
    commands.UpgradeInfoResult = c.upgradeInfo;
    commands.SaveSettingsResult = c.saveSettings;
    EXPECT_EQ(machine.Dispatch(UpdateState::InitialiseUpgrade),
              UpdateStateMachine::Outcome::Continuing);
    EXPECT_EQ(view.Log, QStringList{c.line});
    EXPECT_EQ(commands.Calls.contains("SaveUnitSettings"), c.saveCalled);
    EXPECT_EQ(view.PostedStates, std::vector<int32_t>{c.next});
    QCoreApplication::removePostedEvents(&view);
  }
}

TEST_F(UpdateSequenceTest, SettingsThatCannotBeSavedEndTheRunBeforeTheUnitIsTouched) {
  commands.SaveSettingsResult = 0;
  RunSequence();
  EXPECT_EQ(view.Log, QStringList{"Initialising Upgrade.....Error"});
  EXPECT_FALSE(commands.Calls.contains("EnableBootLoader"));
}

TEST_F(UpdateSequenceTest, UnitThatDoesNotAnswerStopsAtTheModelCheck) {
  commands.UpgradeInfoResult = 0;
  commands.ModelNumberResults = {NoModel, NoModel};
  RunSequence();
  EXPECT_EQ(view.Log,
            QStringList({"Initialising Upgrade.....Done (0)", "Enabling BootLoader.....Done",
                         "Retrieving Bootloader Info......Info Unavailable",
                         "Retrieving Model Number......Error (No Reply)"}));
  EXPECT_FALSE(commands.Calls.contains("EraseProgramMemory"));
}

TEST_F(UpdateSequenceTest, OnlyTheSecondBootLoaderInfoCounts) {
  struct Case {
    std::vector<uint32_t> results;
    const char* line;
  };
  const Case cases[] = {
      {{(1234u << 16) | 205, 0xFFFFFFFF}, "Retrieving Bootloader Info......Info Unavailable"},
      {{0xFFFFFFFF, (1234u << 16) | 205}, "Retrieving Bootloader Info......RM1234 v2.05"},
      {{0xFFFFFFFF, 0}, "Retrieving Bootloader Info......RM0 v0.00"},
      {{0xFFFFFFFF, 0xFFFF0000}, "Retrieving Bootloader Info......RM65535 v0.00"},
      {{0xFFFFFFFF, 0x0000FFFF}, "Retrieving Bootloader Info......RM0 v655.35"},
      {{0xFFFFFFFF, (4001u << 16) | 1210}, "Retrieving Bootloader Info......RM4001 v12.10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ScriptedCommands scripted;
    scripted.BootLoaderInfoResults = c.results;
    UpdateStateMachine local(view, scripted);
    view.Log.clear();
    view.PostedStates.clear();
    local.Dispatch(UpdateState::BootLoaderInfo);
    EXPECT_EQ(view.Log, QStringList{c.line});
    EXPECT_EQ(view.PostedStates, std::vector<int32_t>{UpdateState::ModelNumber});
    EXPECT_EQ(scripted.Calls.count("ReadBootLoaderInfo"), 2);
    QCoreApplication::removePostedEvents(&view);
  }
}

TEST_F(UpdateSequenceTest, ModelCheckOutcomes) {
  struct Case {
    uint32_t first;
    uint32_t second;
    const char* line;
    int32_t next;
  };
  const Case cases[] = {
      {NoModel, Model, "Retrieving Model Number......OK", UpdateState::EraseMemory},
      {Model, 4002, "Retrieving Model Number......Error (Incompatible Model)",
       UpdateState::Finished},
      {Model, 65535, "Retrieving Model Number......Error (Incompatible Model)",
       UpdateState::Finished},
      {Model, 0, "Retrieving Model Number......Error (Incompatible Model)", UpdateState::Finished},
      {Model, 65536, "Retrieving Model Number......Error (No Reply)", UpdateState::Finished},
      {Model, NoModel, "Retrieving Model Number......Error (No Reply)", UpdateState::Finished},
      {Model, 0xFFFFFFFF, "Retrieving Model Number......Error (No Reply)", UpdateState::Finished},
      {Model, 0x10000 | Model, "Retrieving Model Number......Error (No Reply)",
       UpdateState::Finished},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line + std::to_string(c.second));
    ScriptedCommands scripted;
    scripted.ModelNumberResults = {c.first, c.second};
    UpdateStateMachine local(view, scripted);
    view.Log.clear();
    view.PostedStates.clear();
    local.Dispatch(UpdateState::ModelNumber);
    EXPECT_EQ(view.Log, QStringList{c.line});
    EXPECT_EQ(view.PostedStates, std::vector<int32_t>{c.next});
    EXPECT_EQ(scripted.Calls.count("ReadModelNumber"), 2);
    QCoreApplication::removePostedEvents(&view);
  }
}

TEST_F(UpdateSequenceTest, ModelReadDelaySeparatesTheTwoModelReads) {
  view.Product.ModelReadDelay = 5;
  machine.Dispatch(UpdateState::ModelNumber);
  ASSERT_EQ(commands.ModelReadTimes.size(), 2u);
  EXPECT_GE(commands.ModelReadTimes[1] - commands.ModelReadTimes[0], std::chrono::milliseconds(5));
  QCoreApplication::removePostedEvents(&view);
}

TEST_F(UpdateSequenceTest, FailedEraseStopsBeforeSending) {
  commands.EraseResult = false;
  commands.During = [this](const QString& command) {
    if (command == "EraseProgramMemory") view.SetLastLogLine("Erasing Program Memory......1%");
  };
  RunSequence();
  EXPECT_EQ(view.Log.last(), "Erasing Program Memory......Error Detected");
  EXPECT_EQ(view.Log.size(), 5);
  EXPECT_FALSE(commands.Calls.contains("SendProgramData"));
}

TEST_F(UpdateSequenceTest, FailedSendStopsBeforeLeavingBootMode) {
  commands.SendResult = false;
  RunSequence();
  EXPECT_EQ(view.Log.last(), "Sending New Program Data......Error Detected");
  EXPECT_EQ(view.Log.size(), 6);
  EXPECT_FALSE(commands.Calls.contains("DisableBootMode"));
  EXPECT_FALSE(commands.Calls.contains("RestoreUnitSettings"));
}

TEST_F(UpdateSequenceTest, UnknownStatesDoNothing) {
  view.Log = QStringList{"untouched"};
  view.RunButtonsEnabled = false;
  for (int32_t state : {8, 19, 100, -1, 22, 98}) {
    EXPECT_EQ(machine.Dispatch(state), UpdateStateMachine::Outcome::Ignored) << state;
  }
  EXPECT_TRUE(view.PostedStates.empty());
  EXPECT_TRUE(commands.Calls.isEmpty());
  EXPECT_EQ(view.Log, QStringList{"untouched"});
  EXPECT_FALSE(view.RunButtonsEnabled);
}

TEST_F(UpdateSequenceTest, ExceptionInAStatePostsNothing) {
  commands.During = [](const QString& command) {
    if (command == "EnableBootLoader") throw std::runtime_error("Port gone");
  };
  view.Log = QStringList{"Initialising Upgrade.....Done (0)"};
  EXPECT_THROW(machine.Dispatch(UpdateState::EnableBootLoader), std::runtime_error);
  EXPECT_TRUE(view.PostedStates.empty());
  EXPECT_EQ(view.Log.last(), "Enabling BootLoader.....");
}

TEST_F(UpdateSequenceTest, NewRunStartsWithAnEmptyLog) {
  RunSequence();
  commands.UpgradeInfoResult = 0;
  commands.Calls.clear();
  view.PostedStates.clear();
  RunSequence();
  EXPECT_EQ(view.Log.first(), "Initialising Upgrade.....Done (0)");
  EXPECT_EQ(view.Log.size(), 4);
}

}  // namespace
