#include <gtest/gtest.h>

#include <sys/resource.h>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <vector>

#include "app/Beep.h"
#include "app/CommSel.h"
#include "app/LinkedFolder.h"
#include "app/Main1.h"
#include "support/ModalBoxCloser.h"

namespace {

// Answers the comm port dialog when it shows: notes the selection it opened
// with, selects the given item and presses the given button.
class CommSelAnswer : public QObject {
 public:
  CommSelAnswer(int selectIndex, bool pressOk) : selectIndex_(selectIndex), pressOk_(pressOk) {
    connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
    timer_.start(10);
  }

  int OpenedWithIndex = -2;
  int Shown = 0;
  // The device line as the dialog opened, and once the answer was selected.
  QString OpenedWithDevice;
  QString SelectedDevice;
  QStringList Tooltips;

 private:
  void Answer() {
    auto* dialog = qobject_cast<TCommSelFrm*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible() || dialog == answered_) return;
    answered_ = dialog;
    ++Shown;
    OpenedWithIndex = dialog->ComboBox1->currentIndex();
    OpenedWithDevice = dialog->Label2->text();
    dialog->ComboBox1->setCurrentIndex(selectIndex_);
    SelectedDevice = dialog->Label2->text();
    for (int i = 0; i < dialog->ComboBox1->count(); ++i) {
      Tooltips.append(dialog->ComboBox1->itemData(i, Qt::ToolTipRole).toString());
    }
    QPushButton* button = pressOk_ ? dialog->Button1 : dialog->Button2;
    QMetaObject::invokeMethod(button, &QPushButton::click, Qt::QueuedConnection);
  }

  int selectIndex_;
  bool pressOk_;
  QTimer timer_;
  QPointer<TCommSelFrm> answered_;
};

class CommsPortChoice : public testing::Test {
 protected:
  CommsPortChoice() {
    second.KeepSlaveOpen();
    folder.WriteSettings(1,
                         {{1, folder.pty.SlavePath()}, {2, second.SlavePath()}, {3, "/dev/none"}});
    form = std::make_unique<TMainForm>();
    dialog = std::make_unique<TCommSelFrm>();
    form->CommSelFrm = dialog.get();
    SetBeepListener([this](uint32_t sound) { beeps.push_back(sound); });
  }
  void TearDown() override {
    SetBeepListener(nullptr);
    dialog.reset();
  }

  LinkedFolder folder;
  PseudoTerminal second;
  std::unique_ptr<TMainForm> form;
  std::unique_ptr<TCommSelFrm> dialog;
  std::vector<uint32_t> beeps;
};

TEST_F(CommsPortChoice, DialogListsThirtyTwoPortsWithCancelAsDefault) {
  EXPECT_EQ(dialog->windowTitle(), "Comm Port Selection");
  ASSERT_EQ(dialog->ComboBox1->count(), 32);
  EXPECT_EQ(dialog->ComboBox1->itemText(0), "COM1");
  EXPECT_EQ(dialog->ComboBox1->itemText(31), "COM32");
  EXPECT_TRUE(dialog->Button2->isDefault());
  EXPECT_EQ(dialog->Button1->text(), "&Ok");
  EXPECT_EQ(dialog->Button2->text(), "&Cancel");
  EXPECT_EQ(dialog->Label1->text(), "Comm Port");
}

TEST_F(CommsPortChoice, CancelChangesNothing) {
  const QByteArray before = folder.Read("Bootload.Ini");
  CommSelAnswer answer(1, false);
  form->CommsPort1Click();
  EXPECT_EQ(answer.OpenedWithIndex, 0);
  EXPECT_EQ(form->CommPortNumber, 1);
  EXPECT_TRUE(form->CommsLink->IsOpen());
  EXPECT_EQ(form->CommsLink->CommPort, 0);
  EXPECT_EQ(folder.Read("Bootload.Ini"), before);
}

TEST_F(CommsPortChoice, WorkingPortIsTakenRememberedAndNamed) {
  CommSelAnswer answer(1, true);
  form->CommsPort1Click();
  EXPECT_EQ(form->CommPortNumber, 2);
  EXPECT_EQ(form->CommsLink->CommPort, 1);
  EXPECT_TRUE(form->CommsLink->IsOpen());
  EXPECT_EQ(second.SlaveBaudRate(), 115200u);
  EXPECT_EQ(form->StatusPanel0->text(), " Port: COM2");
  EXPECT_TRUE(folder.Read("Bootload.Ini").contains("Comms_Port=2\r\n"));
  EXPECT_TRUE(beeps.empty());
}

TEST_F(CommsPortChoice, SamePortIsReopenedAndTheFileRewritten) {
  folder.Write("Bootload.Ini", folder.Read("Bootload.Ini").replace("Comms_Port=1", "Comms_Port=7"));
  CommSelAnswer answer(0, true);
  form->CommsPort1Click();
  EXPECT_EQ(form->CommPortNumber, 1);
  EXPECT_TRUE(form->CommsLink->IsOpen());
  EXPECT_EQ(form->StatusPanel0->text(), " Port: COM1");
  EXPECT_TRUE(folder.Read("Bootload.Ini").contains("Comms_Port=1\r\n"));
}

TEST_F(CommsPortChoice, DialogNamesTheDeviceEachNumberMapsToNow) {
  CommSelAnswer answer(2, false);
  form->CommsPort1Click();

  const QString pty = QString::fromStdString(folder.pty.SlavePath());
  EXPECT_EQ(answer.OpenedWithDevice, pty);
  EXPECT_EQ(answer.SelectedDevice, "no device (/dev/none)");
  ASSERT_EQ(answer.Tooltips.size(), 32);
  EXPECT_EQ(answer.Tooltips[1], QString::fromStdString(second.SlavePath()));
  EXPECT_EQ(answer.Tooltips[2], "no device (/dev/none)");
  EXPECT_EQ(form->StatusPanel0->toolTip(), pty);
}

TEST_F(CommsPortChoice, PortThatDoesNotOpenIsRefusedAndThePreviousOneReopened) {
  const QByteArray before = folder.Read("Bootload.Ini");
  ModalBoxCloser boxes;
  CommSelAnswer answer(2, true);
  form->CommsPort1Click();

  EXPECT_EQ(beeps, std::vector<uint32_t>{BeepSound::Hand});
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Unable To Open Comm Port.");
  EXPECT_TRUE(boxes.Boxes()[0].detail.startsWith("/dev/none: no such device (not connected)"));
  EXPECT_EQ(boxes.Boxes()[0].title, "Error");
  EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Critical);
  EXPECT_EQ(form->CommPortNumber, 1);
  EXPECT_EQ(form->CommsLink->CommPort, 0);
  EXPECT_TRUE(form->CommsLink->IsOpen());
  EXPECT_EQ(form->StatusPanel0->text(), " Port: COM1");
  EXPECT_EQ(folder.Read("Bootload.Ini"), before);
}

TEST_F(CommsPortChoice, RememberedPortOutsideTheListSelectsNothingAndAsksForIndex255) {
  folder.WriteSettings(40, {{40, folder.pty.SlavePath()}});
  form.reset();
  form = std::make_unique<TMainForm>();
  form->CommSelFrm = dialog.get();
  ASSERT_EQ(form->StatusPanel0->text(), " Port: COM40");
  ModalBoxCloser boxes;
  CommSelAnswer answer(-1, true);
  form->CommsPort1Click();
  EXPECT_EQ(answer.OpenedWithIndex, -1);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Unable To Open Comm Port.");
  EXPECT_TRUE(boxes.Boxes()[0].detail.startsWith("COM256: no device (not connected)"));
  EXPECT_EQ(form->CommPortNumber, 40);
  EXPECT_TRUE(form->CommsLink->IsOpen());
}

TEST_F(CommsPortChoice, SettingsWriteFailingAfterAGoodChangeKeepsTheOldStatus) {
  ModalBoxCloser boxes;
  CommSelAnswer answer(1, true);
  // A file size limit makes the write fail even for root.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = saved;
  tiny.rlim_cur = 8;
  setrlimit(RLIMIT_FSIZE, &tiny);
  // Through the event queue, as a menu click comes, so that the error
  // reaches the application's handler.
  QMetaObject::invokeMethod(form.get(), &TMainForm::CommsPort1Click, Qt::QueuedConnection);
  ProcessEventsUntil([&boxes] { return !boxes.Boxes().empty(); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text,
            "Unable to write to " + form->StartupDirectory + "Bootload.Ini.");
  EXPECT_EQ(form->CommPortNumber, 2);
  EXPECT_TRUE(form->CommsLink->IsOpen());
  EXPECT_EQ(form->CommsLink->CommPort, 1);
  EXPECT_EQ(form->StatusPanel0->text(), " Port: COM1");
  EXPECT_TRUE(folder.Read("Bootload.Ini").startsWith("[Options]\r\nComms_Port=1\r\n[Ports]"));
}

}  // namespace
