#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <fstream>

#include "app/BootloadApplication.h"
#include "app/LinkedFolder.h"
#include "app/Main1.h"
#include "support/ModalBoxCloser.h"

namespace {

const QString ShippedTitle = QStringLiteral("Multi-Drop Controller MD-5 v2.110");

QByteArray Word(uint16_t value) {
  return QByteArray(1, static_cast<char>(value & 0xFF)) +
         QByteArray(1, static_cast<char>(value >> 8));
}

// A product folder on disk holding the named identity resources and, when
// asked, an image.
void WriteProduct(const WorkingFolder& folder, uint16_t processor, uint16_t rm, bool withVersion) {
  QDir().mkpath(folder.Path("product"));
  folder.Write("product/PROC_NUM", Word(processor));
  folder.Write("product/RM_NUM", Word(rm));
  if (withVersion) {
    folder.Write("product/FW_VER", Word(105));
    folder.Write("product/HFILE", QByteArray(100, '\x5A'));
  }
}

TEST(MainFormStartUp, WithoutSettingsFileStartsOnPortOneAndCreatesTheFile) {
  WorkingFolder folder;
  ModalBoxCloser boxes;
  TMainForm form;

  // COM1 is whatever this machine has at /dev/ttyS0: it opens or it does not.
  const bool opened = form.CommsLink->IsOpen();
  if (opened) {
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_EQ(form.StatusPanel0->text(), " Port: COM1");
  } else {
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Unable To Open Comms Port. Please Select Another.");
    EXPECT_TRUE(form.StatusPanel0->text().isEmpty());
  }
  EXPECT_EQ(folder.Read("Bootload.Ini"), QByteArray("[Options]\r\nComms_Port=1\r\n"));
  EXPECT_EQ(form.CommPortNumber, 1);
  EXPECT_EQ(form.StartupDirectory, QDir::currentPath() + "/");
  EXPECT_EQ(TBootloadApplication::Title(), ShippedTitle);
  EXPECT_EQ(form.windowTitle(), ShippedTitle);
  EXPECT_TRUE(form.isVisible());
  EXPECT_TRUE(form.SlvAdd_GroupBox->isVisibleTo(&form));
  EXPECT_EQ(form.SlaveAddress, 1);
  EXPECT_EQ(form.SlaveAddressOffset, 0);
  EXPECT_TRUE(form.Button6->isEnabled());
  EXPECT_TRUE(form.Button1->isEnabled());
  EXPECT_FALSE(form.LoadFile1->isVisible());
  EXPECT_FALSE(form.CloseConnection1->isEnabled());
  EXPECT_TRUE(form.Exit1->isEnabled());
  EXPECT_EQ(form.ListBox1->count(), 0);
}

TEST(MainFormStartUp, OpensTheRememberedPortAtStartUpSpeedAndNamesIt) {
  LinkedFolder folder;
  ModalBoxCloser boxes;
  TMainForm form;
  EXPECT_TRUE(boxes.Boxes().empty());
  ASSERT_TRUE(form.CommsLink->IsOpen());
  EXPECT_EQ(folder.pty.SlaveBaudRate(), 115200u);
  EXPECT_EQ(form.CommsLink->RxBufferSize, 500);
  EXPECT_EQ(form.StatusPanel0->text(), " Port: COM1");
}

TEST(MainFormStartUp, MissingPortIsReportedOverTheWindowAndStartStaysEnabled) {
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, "/dev/no-such-serial-device"}});
  const QByteArray before = folder.Read("Bootload.Ini");
  ModalBoxCloser boxes;
  TMainForm form;

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  const ModalBoxCloser::SeenBox& box = boxes.Boxes()[0];
  EXPECT_EQ(box.text, "Unable To Open Comms Port. Please Select Another.");
  EXPECT_EQ(box.detail,
            "/dev/no-such-serial-device: no such device (not connected); plug the adapter in "
            "or choose another port");
  EXPECT_EQ(box.icon, QMessageBox::NoIcon);
  EXPECT_EQ(box.title, ShippedTitle);
  EXPECT_TRUE(box.windowsBehind.contains(ShippedTitle));
  EXPECT_TRUE(form.StatusPanel0->text().isEmpty());
  EXPECT_TRUE(form.Button6->isEnabled());
  EXPECT_FALSE(form.CommsLink->IsOpen());
  EXPECT_EQ(folder.Read("Bootload.Ini"), before);
}

TEST(MainFormStartUp, LoadsTheEmbeddedIdentityAndImage) {
  LinkedFolder folder;
  TMainForm form;
  EXPECT_EQ(form.Identity.ProcessorNumber, 4680);
  EXPECT_EQ(form.Identity.RmNumber, 4001);
  EXPECT_EQ(form.Identity.ExpectedModel, 4001);
  EXPECT_EQ(form.Identity.FirmwareVersion, 2110);
  EXPECT_EQ(form.Identity.ProgramEndAddress, 0xFFFFu);
  EXPECT_EQ(form.Identity.ModelReadDelay, 5);
  QFile shipped(":/product/HFILE");
  ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
  const QByteArray bytes = shipped.readAll();
  ASSERT_EQ(bytes.size(), 65536);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), form.Image.Bytes.begin(),
                         [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; }));
  EXPECT_TRUE(std::all_of(form.Image.BlockPresent.begin(), form.Image.BlockPresent.end(),
                          [](bool present) { return present; }));
}

TEST(MainFormStartUp, HexadecimalPortNumberIsUsedAndWrittenBackInDecimal) {
  LinkedFolder folder;
  folder.Write("Bootload.Ini",
               "[Other]\r\nKey=x\r\n[options]\r\ncomms_port=0x0A\r\n[Ports]\r\nCOM10=" +
                   QByteArray::fromStdString(folder.pty.SlavePath()) + "\r\n");
  TMainForm form;
  EXPECT_EQ(form.CommPortNumber, 10);
  EXPECT_EQ(form.StatusPanel0->text(), " Port: COM10");
  EXPECT_EQ(folder.Read("Bootload.Ini"),
            "[Other]\r\nKey=x\r\n[options]\r\ncomms_port=10\r\n[Ports]\r\nCOM10=" +
                QByteArray::fromStdString(folder.pty.SlavePath()) + "\r\n");
}

TEST(MainFormStartUp, PortThatIsNoNumberReadsAsOneAndTheFileStaysUntilAPortOpens) {
  WorkingFolder folder;
  const QByteArray content =
      "[Options]\r\nComms_Port=abc\r\n[Ports]\r\nCOM1=/dev/no-such-device\r\n";
  folder.Write("Bootload.Ini", content);
  ModalBoxCloser boxes;
  TMainForm form;
  EXPECT_EQ(form.CommPortNumber, 1);
  EXPECT_EQ(form.CommsLink->CommPort, 0);
  EXPECT_EQ(folder.Read("Bootload.Ini"), content);
}

TEST(MainFormStartUp, UnwritableSettingsFileIsReportedAndStartUpGoesOnWithPortOne) {
  WorkingFolder folder;
  // A folder in the file's place cannot be written, even by root.
  ASSERT_TRUE(QDir().mkdir(folder.Path("Bootload.Ini")));
  ModalBoxCloser boxes;
  TMainForm form;

  // A second box may follow, from the port of this machine that COM1 falls
  // back to without a readable file.
  ASSERT_GE(boxes.Boxes().size(), 1u);
  const ModalBoxCloser::SeenBox& box = boxes.Boxes()[0];
  EXPECT_EQ(box.text, "Unable to write to " + form.StartupDirectory + "Bootload.Ini.");
  EXPECT_EQ(box.icon, QMessageBox::Critical);
  EXPECT_TRUE(box.windowsBehind.contains("Bootloader"));
  EXPECT_EQ(form.windowTitle(), ShippedTitle);
  EXPECT_TRUE(form.Button6->isEnabled());
  EXPECT_EQ(form.CommPortNumber, 1);
  EXPECT_EQ(form.CommsLink->CommPort, 0);
}

// A folder whose name is not valid UTF-8, made the working folder for the
// object's lifetime, holding a settings file that remembers COM7 on device.
class NonUtf8Folder {
 public:
  NonUtf8Folder(const WorkingFolder& parent, const std::string& device)
      : parent_(QFile::encodeName(parent.Path(""))), name_(parent_ + "/not-utf8-\xFF\xC0") {
    EXPECT_EQ(::mkdir(name_.constData(), 0700), 0);
    const QByteArray settings =
        "[Options]\r\nComms_Port=7\r\n[Ports]\r\nCOM7=" + QByteArray::fromStdString(device) +
        "\r\n";
    std::ofstream(name_.toStdString() + "/Bootload.Ini", std::ios::binary)
        << settings.toStdString();
    EXPECT_EQ(::chdir(name_.constData()), 0);
  }
  ~NonUtf8Folder() {
    EXPECT_EQ(::chdir(parent_.constData()), 0);
    ::unlink((name_ + "/Bootload.Ini").constData());
    ::rmdir(name_.constData());
  }
  NonUtf8Folder(const NonUtf8Folder&) = delete;
  NonUtf8Folder& operator=(const NonUtf8Folder&) = delete;

 private:
  QByteArray parent_;
  QByteArray name_;
};

TEST(MainFormStartUp, SettingsAreFoundInAFolderWhoseNameIsNotUtf8) {
  LinkedFolder folder;
  const NonUtf8Folder working(folder, folder.pty.SlavePath());
  ModalBoxCloser boxes;
  TMainForm form;
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(form.CommPortNumber, 7);
  EXPECT_TRUE(form.CommsLink->IsOpen());
  EXPECT_EQ(form.StatusPanel0->text(), " Port: COM7");
}

TEST(MainFormStartUp, MissingResourceSkipsTheRemainingStepsAndLeavesStartDisabled) {
  WorkingFolder folder;
  WriteProduct(folder, 2525, 4001, false);
  ModalBoxCloser boxes;
  TMainForm form(ResourceStore(folder.Path("product")));

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Resource FW_VER not found.");
  EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Critical);
  EXPECT_FALSE(form.Button6->isEnabled());
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.windowTitle(), "Bootloader");
  EXPECT_EQ(form.Identity.ProcessorNumber, 2525);
  EXPECT_EQ(form.Identity.ProgramEndAddress, 0xBFFFu);
  EXPECT_FALSE(form.SlvAdd_GroupBox->isVisibleTo(&form));
  EXPECT_TRUE(std::all_of(form.Image.Bytes.begin(), form.Image.Bytes.end(),
                          [](uint8_t b) { return b == 0; }));
}

TEST(MainFormStartUp, UnknownProductIsUnsupportedFirmwareButUsable) {
  LinkedFolder folder;
  WriteProduct(folder, 1, 9999, true);
  TMainForm form(ResourceStore(folder.Path("product")));
  EXPECT_EQ(form.windowTitle(), "Unsupported Firmware");
  EXPECT_EQ(TBootloadApplication::Title(), "Unsupported Firmware");
  EXPECT_EQ(form.Identity.ExpectedModel, 9999);
  EXPECT_EQ(form.Identity.ModelReadDelay, -1);
  EXPECT_EQ(form.Identity.ProgramEndAddress, 0u);
  EXPECT_FALSE(form.SlvAdd_GroupBox->isVisibleTo(&form));
  EXPECT_TRUE(form.Button6->isEnabled());
  EXPECT_EQ(form.Image.Bytes[99], 0x5A);
  EXPECT_EQ(form.Image.Bytes[100], 0);
}

TEST(MainFormStartUp, FamilyProductShowsItsOwnTitleAndExpectsTheFamilyModel) {
  LinkedFolder folder;
  WriteProduct(folder, 4321, 2005, true);
  TMainForm form(ResourceStore(folder.Path("product")));
  EXPECT_EQ(form.windowTitle(), "Sensor Node SN-05 v1.05");
  EXPECT_EQ(form.Identity.ExpectedModel, 2000);
  EXPECT_EQ(form.Identity.ProgramEndAddress, 0x1FFFu);
  EXPECT_FALSE(form.SlvAdd_GroupBox->isVisibleTo(&form));
}

}  // namespace
