#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "app/About.h"
#include "app/Beep.h"
#include "app/CommSel.h"
#include "app/LinkedFolder.h"
#include "app/Main1.h"
#include "support/ModalBoxCloser.h"
#include "update/ScriptedCommands.h"
#include "update/UpdateStateEvent.h"

namespace {

QStringList LogOf(const TMainForm& form) {
  QStringList lines;
  for (int i = 0; i < form.ListBox1->count(); ++i) lines.append(form.ListBox1->item(i)->text());
  return lines;
}

// Builds a window whose update commands are scripted; the returned pointer
// stays owned by the window.
TMainForm* MakeScriptedForm(std::unique_ptr<TMainForm>& form, ScriptedCommands*& commands) {
  form = std::make_unique<TMainForm>(ResourceStore(), [&commands](UpdateView&) {
    auto scripted = std::make_unique<ScriptedCommands>();
    scripted->ModelNumberResults = {4001, 4001};
    commands = scripted.get();
    return scripted;
  });
  return form.get();
}

TEST(MainFormRun, StartRunsTheSequenceOfAUnitThatDoesNotAnswer) {
  LinkedFolder folder;
  TMainForm form;
  form.ListBox1->addItem("from before");
  QTest::mouseClick(form.Button6, Qt::LeftButton);
  EXPECT_FALSE(form.Button6->isEnabled());
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_TRUE(form.IsRunInProgress());

  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }));
  EXPECT_EQ(LogOf(form),
            QStringList({"Initialising Upgrade.....Done (0)", "Enabling BootLoader.....Done",
                         "Retrieving Bootloader Info......Info Unavailable",
                         "Retrieving Model Number......Error (No Reply)"}));
  EXPECT_EQ(form.ListBox1->currentRow(), 3);
  EXPECT_TRUE(form.Button6->isEnabled());
  EXPECT_TRUE(form.Button1->isEnabled());
}

TEST(MainFormRun, UnknownStateMessagesDoNothing) {
  LinkedFolder folder;
  TMainForm form;
  form.ListBox1->addItem("untouched");
  for (int32_t state : {8, 19, 100}) {
    QCoreApplication::postEvent(&form, new TUpdateStateEvent(state));
  }
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_EQ(LogOf(form), QStringList{"untouched"});
  EXPECT_TRUE(form.Button6->isEnabled());
  EXPECT_FALSE(form.IsRunInProgress());
}

TEST(MainFormRun, ExceptionInAStateEndsTheRunButLeavesStartAndCloseDisabled) {
  LinkedFolder folder;
  std::unique_ptr<TMainForm> owner;
  ScriptedCommands* commands = nullptr;
  TMainForm& form = *MakeScriptedForm(owner, commands);
  commands->During = [](const QString& command) {
    if (command == "ReadUpgradeInfo") throw std::runtime_error("Write Error on Comm Port");
  };
  ModalBoxCloser boxes;
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !boxes.Boxes().empty(); }));

  EXPECT_EQ(boxes.Boxes()[0].text, "Write Error on Comm Port.");
  EXPECT_EQ(boxes.Boxes()[0].title, form.windowTitle());
  EXPECT_FALSE(form.IsRunInProgress());
  EXPECT_FALSE(form.Button6->isEnabled());
  EXPECT_FALSE(form.Button1->isEnabled());
  EXPECT_EQ(LogOf(form), QStringList{"Initialising Upgrade....."});

  // Nothing is waiting for state 99 any more: the close box works at once.
  form.close();
  EXPECT_FALSE(form.isVisible());
}

TEST(MainFormRun, CloseDuringARunWaitsForTheEndOfTheRun) {
  LinkedFolder folder;
  std::unique_ptr<TMainForm> owner;
  ScriptedCommands* commands = nullptr;
  TMainForm& form = *MakeScriptedForm(owner, commands);
  bool visibleAfterClose = false;
  commands->During = [&form, &visibleAfterClose](const QString& command) {
    if (command != "EnableBootLoader") return;
    form.close();
    visibleAfterClose = form.isVisible();
  };
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }));

  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(LogOf(form).last(), "Finalising Upgrade.....Done");
  EXPECT_FALSE(form.isVisible());
}

TEST(MainFormRun, PortChoiceAndAboutBoxAreRefusedWithTheDefaultBeepDuringARun) {
  LinkedFolder folder;
  std::unique_ptr<TMainForm> owner;
  ScriptedCommands* commands = nullptr;
  TMainForm& form = *MakeScriptedForm(owner, commands);
  TCommSelFrm dialog(&form);
  form.CommSelFrm = &dialog;
  TAboutBox box(&form);
  form.AboutBox = &box;
  std::vector<uint32_t> beeps;
  SetBeepListener([&beeps](uint32_t sound) { beeps.push_back(sound); });
  // Closes a dialog that does show, so that the run goes on and the test ends.
  QStringList shown;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    for (QDialog* modal : {static_cast<QDialog*>(&dialog), static_cast<QDialog*>(&box)}) {
      if (!modal->isVisible()) continue;
      shown.append(modal->windowTitle());
      modal->reject();
    }
  });
  closer.start(50);
  commands->During = [&form](const QString& command) {
    if (command != "EnableBootLoader") return;
    form.CommsPort1Click();
    form.About1Click();
  };
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }));
  SetBeepListener(nullptr);

  EXPECT_EQ(beeps, std::vector<uint32_t>(2, BeepSound::Default));
  EXPECT_TRUE(shown.isEmpty()) << shown.join(", ").toStdString();
  EXPECT_EQ(form.CommPortNumber, 1);
  EXPECT_TRUE(form.CommsLink->IsOpen());
  EXPECT_EQ(LogOf(form).last(), "Finalising Upgrade.....Done");
}

}  // namespace
