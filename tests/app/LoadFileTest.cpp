#include <gtest/gtest.h>
#include <sys/file.h>

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <deque>
#include <functional>
#include <optional>
#include <stdexcept>
#include <vector>

#include "app/Beep.h"
#include "app/BootloadApplication.h"
#include "app/LinkedFolder.h"
#include "app/Main1.h"
#include "image/ImageFile.h"
#include "support/ModalBoxCloser.h"
#include "support/SparseFirmware.h"
#include "support/UnitSimProcess.h"
#include "update/ScriptedCommands.h"

namespace {

using Answer = std::optional<QString>;  // nothing: press Cancel
const Answer Cancel = std::nullopt;

// Answers the Load File dialogs as they show: the file dialog with a typed
// file name, each input box with the next answer, and notes what it saw.
class LoadFileAnswers : public QObject {
 public:
  struct SeenInput {
    QString title;
    QString label;
    QString initialText;
    int maxLength;
    QPoint centre;
  };

  LoadFileAnswers(Answer fileName, std::deque<Answer> inputs)
      : fileName_(std::move(fileName)), inputs_(std::move(inputs)) {
    connect(&timer_, &QTimer::timeout, this, [this] { AnswerVisibleDialog(); });
    timer_.start(10);
  }

  std::vector<QPointer<QFileDialog>> FileDialogs;
  std::vector<SeenInput> Inputs;
  // Runs when the first input box shows, before it is answered.
  std::function<void()> WhileFirstInputShows;

 private:
  void AnswerVisibleDialog() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal == answered_) return;
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      answered_ = modal;
      FileDialogs.emplace_back(files);
      if (fileName_) files->findChild<QLineEdit*>("fileNameEdit")->setText(*fileName_);
      Close(files, fileName_.has_value());
    } else if (auto* input = qobject_cast<QInputDialog*>(modal)) {
      answered_ = modal;
      const auto* edit = input->findChild<QLineEdit*>();
      Inputs.push_back({input->windowTitle(), input->labelText(), input->textValue(),
                        edit->maxLength(), input->frameGeometry().center()});
      if (Inputs.size() == 1 && WhileFirstInputShows) WhileFirstInputShows();
      const Answer answer = inputs_.empty() ? Cancel : inputs_.front();
      if (!inputs_.empty()) inputs_.pop_front();
      // Text typed before Cancel must not count.
      input->setTextValue(answer.value_or(QStringLiteral("4321")));
      Close(input, answer.has_value());
    }
  }

  // Through a queued call, so that the dialog's own loop ends it.
  static void Close(QDialog* dialog, bool accept) {
    QMetaObject::invokeMethod(dialog, accept ? &QDialog::accept : &QDialog::reject,
                              Qt::QueuedConnection);
  }

  Answer fileName_;
  std::deque<Answer> inputs_;
  QTimer timer_;
  QPointer<QWidget> answered_;
};

// Chooses File > Load File as the menu does and returns once the handler
// has ended: it has shown the file dialog and no dialog of it is open any
// more (the check runs only between events, never inside the handler).
void ChooseLoadFile(TMainForm& form, const LoadFileAnswers& answers) {
  QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  const std::size_t shown = answers.FileDialogs.size();
  form.LoadFile1->trigger();
  ASSERT_TRUE(ProcessEventsUntil([&answers, shown] {
    return answers.FileDialogs.size() > shown && QApplication::activeModalWidget() == nullptr;
  }));
}

constexpr qsizetype ImageSize = FirmwareImage::Size;

QByteArray Counting(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) % 253);
  return bytes;
}

QStringList LogOf(const TMainForm& form) {
  QStringList lines;
  for (int i = 0; i < form.ListBox1->count(); ++i) lines.append(form.ListBox1->item(i)->text());
  return lines;
}

bool AllBlocksPresent(const FirmwareImage& image) {
  return std::ranges::all_of(image.BlockPresent, [](bool present) { return present; });
}

bool SameIdentity(const ProductIdentity& a, const ProductIdentity& b) {
  return a.ProcessorNumber == b.ProcessorNumber && a.RmNumber == b.RmNumber &&
         a.ExpectedModel == b.ExpectedModel && a.FirmwareVersion == b.FirmwareVersion &&
         a.ProgramEndAddress == b.ProgramEndAddress && a.ModelReadDelay == b.ModelReadDelay &&
         a.ProductTitle == b.ProductTitle;
}

class LoadFile : public testing::Test {
 protected:
  LoadFile() : form(std::make_unique<TMainForm>()) {}

  // The file's first bytes in the image, and only those.
  void ExpectImageHolds(const QByteArray& file, uint8_t rest) const {
    const auto& bytes = form->Image.Bytes;
    const std::size_t loaded = std::min<std::size_t>(file.size(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + loaded, file.begin(),
                           [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }));
    EXPECT_TRUE(
        std::all_of(bytes.begin() + loaded, bytes.end(), [rest](uint8_t b) { return b == rest; }));
  }

  LinkedFolder folder;
  std::unique_ptr<TMainForm> form;
  ModalBoxCloser boxes;
};

TEST_F(LoadFile, CancellingTheFileDialogChangesNothing) {
  const auto image = form->Image;
  const ProductIdentity identity = form->Identity;
  form->Button6->setEnabled(false);
  LoadFileAnswers answers(Cancel, {});
  ChooseLoadFile(*form, answers);

  EXPECT_EQ(answers.FileDialogs.size(), 1u);
  EXPECT_TRUE(answers.Inputs.empty());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(form->Image.Bytes, image.Bytes);
  EXPECT_EQ(form->Image.BlockPresent, image.BlockPresent);
  EXPECT_TRUE(SameIdentity(form->Identity, identity));
  EXPECT_TRUE(LogOf(*form).isEmpty());
  EXPECT_FALSE(form->Button6->isEnabled());
}

TEST_F(LoadFile, FileDialogOpensWithoutFilterExtensionFolderOrTitleOfItsOwn) {
  const QFileDialog plain;
  LoadFileAnswers answers(Cancel, {});
  ChooseLoadFile(*form, answers);

  ASSERT_EQ(answers.FileDialogs.size(), 1u);
  const QFileDialog& dialog = *answers.FileDialogs[0];
  EXPECT_EQ(dialog.windowTitle(), plain.windowTitle());
  EXPECT_EQ(dialog.nameFilters(), plain.nameFilters());
  EXPECT_TRUE(dialog.defaultSuffix().isEmpty());
  EXPECT_EQ(dialog.directory(), plain.directory());
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(dialog.fileMode(), QFileDialog::AnyFile);
  EXPECT_FALSE(form->LoadFile1->isVisible());
}

TEST_F(LoadFile, FileOfTheImageSizeOrLongerFillsTheImageAndEveryBlockIsPresent) {
  for (const qsizetype size : {ImageSize, ImageSize + 4464}) {
    SCOPED_TRACE(size);
    const QByteArray file = Counting(size);
    folder.Write("image.bin", file);
    form->Image.Bytes.fill(0x5A);
    form->Image.BlockPresent.fill(false);
    LoadFileAnswers answers(folder.Path("image.bin"), {"4680", "4001"});
    ChooseLoadFile(*form, answers);

    EXPECT_TRUE(boxes.Boxes().empty());
    ExpectImageHolds(file, 0x5A);
    EXPECT_TRUE(AllBlocksPresent(form->Image));
  }
}

TEST_F(LoadFile, MissingFileIsRefusedBeforeAnyPrompt) {
  const auto image = form->Image;
  const ProductIdentity identity = form->Identity;
  LoadFileAnswers answers(folder.Path("no-such-image.bin"), {"4321", "1101"});
  ChooseLoadFile(*form, answers);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Cannot open file " + folder.Path("no-such-image.bin") + ".");
  EXPECT_EQ(boxes.Boxes()[0].title, TBootloadApplication::Title());
  EXPECT_EQ(boxes.Boxes()[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(answers.Inputs.empty());
  EXPECT_EQ(form->Image.Bytes, image.Bytes);
  EXPECT_TRUE(SameIdentity(form->Identity, identity));
  EXPECT_TRUE(LogOf(*form).isEmpty());
}

// Its bytes over the built-in image would send the unit a mix of two images.
TEST_F(LoadFile, FileShorterThanTheImageIsRefusedBeforeAnyPrompt) {
  form->Image.Bytes.fill(0x5A);
  const auto image = form->Image;
  const ProductIdentity identity = form->Identity;
  for (const qsizetype size : {qsizetype{0}, qsizetype{100}, ImageSize - 1}) {
    SCOPED_TRACE(size);
    folder.Write("short.bin", Counting(size));
    const std::size_t boxesBefore = boxes.Boxes().size();
    LoadFileAnswers answers(folder.Path("short.bin"), {"4321", "1101"});
    ChooseLoadFile(*form, answers);

    ASSERT_EQ(boxes.Boxes().size(), boxesBefore + 1);
    EXPECT_EQ(boxes.Boxes().back().text,
              QString("Cannot use file %1: it holds %2 bytes; a firmware image is 65536 bytes.")
                  .arg(folder.Path("short.bin"))
                  .arg(size));
    EXPECT_EQ(boxes.Boxes().back().title, TBootloadApplication::Title());
    EXPECT_EQ(boxes.Boxes().back().icon, QMessageBox::Critical);
    EXPECT_TRUE(answers.Inputs.empty());
    EXPECT_EQ(form->Image.Bytes, image.Bytes);
    EXPECT_TRUE(SameIdentity(form->Identity, identity));
    EXPECT_TRUE(LogOf(*form).isEmpty());
  }
}

TEST_F(LoadFile, FileLockedByAnotherProgramIsRefusedUntilItLetsGo) {
  const QByteArray file = Counting(ImageSize);
  folder.Write("locked.bin", file);
  QProcess holder;
  holder.start("flock", {"--exclusive", folder.Path("locked.bin"), "sh", "-c", "echo held; cat"});
  ASSERT_TRUE(holder.waitForReadyRead(30000));
  ASSERT_EQ(holder.readLine().trimmed(), "held");
  form->Image.Bytes.fill(0x5A);
  const auto image = form->Image;
  {
    LoadFileAnswers answers(folder.Path("locked.bin"), {"4321", "1101"});
    ChooseLoadFile(*form, answers);
    ASSERT_EQ(boxes.Boxes().size(), 1u);
    EXPECT_EQ(boxes.Boxes()[0].text, "Cannot open file " + folder.Path("locked.bin") + ".");
    EXPECT_TRUE(answers.Inputs.empty());
    EXPECT_EQ(form->Image.Bytes, image.Bytes);
  }
  holder.closeWriteChannel();
  ASSERT_TRUE(holder.waitForFinished(30000));

  LoadFileAnswers answers(folder.Path("locked.bin"), {"4321", "1101"});
  ChooseLoadFile(*form, answers);
  EXPECT_EQ(boxes.Boxes().size(), 1u);
  ExpectImageHolds(file, 0x5A);
}

TEST_F(LoadFile, FileIsReadUnchangedAndClosedBeforeThePrompts) {
  const QByteArray file = Counting(ImageSize);
  folder.Write("image.bin", file);
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "1101"});
  bool lockableDuringPrompt = false;
  answers.WhileFirstInputShows = [&] {
    QFile again(folder.Path("image.bin"));
    lockableDuringPrompt =
        again.open(QIODevice::ReadOnly) && ::flock(again.handle(), LOCK_EX | LOCK_NB) == 0;
  };
  ChooseLoadFile(*form, answers);

  EXPECT_TRUE(lockableDuringPrompt);
  EXPECT_EQ(folder.Read("image.bin"), file);
}

struct RefusedFileCase {
  QString path;
  QString message;
};

// Files the dialog does not hand over (a folder) or that open but cannot be
// read (this process's memory from address 0): the reader still refuses.
TEST(LoadImageFromFile, RefusesFilesItCannotReadAndLeavesTheImageUnchanged) {
  WorkingFolder folder;
  QDir().mkdir(folder.Path("images"));
  const RefusedFileCase cases[] = {
      {folder.Path("images"), "Cannot open file " + folder.Path("images")},
      {"/proc/self/mem", "Cannot read file /proc/self/mem"},
  };
  for (const RefusedFileCase& c : cases) {
    SCOPED_TRACE(c.path.toStdString());
    FirmwareImage image;
    image.Bytes.fill(0x5A);
    try {
      LoadImageFromFile(image, c.path, 0xFFFF);
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& error) {
      EXPECT_EQ(QString::fromUtf8(error.what()), c.message);
    }
    EXPECT_TRUE(std::ranges::all_of(image.Bytes, [](uint8_t b) { return b == 0x5A; }));
    EXPECT_FALSE(AllBlocksPresent(image));
  }
}

struct ProcessorCase {
  const char* typed;
  uint16_t processorNumber;
  uint32_t programEndAddress;
};

TEST_F(LoadFile, ProcessorNumberKeepsItsLow16BitsAndLooksUpTheEndAddress) {
  constexpr uint32_t Before = 0x3FFF;
  const ProcessorCase cases[] = {
      {"4321", 4321, 0x1FFF}, {"1234", 1234, Before},  {"69857", 4321, 0x1FFF},
      {"-1", 65535, Before},  {"+2525", 2525, 0xBFFF}, {"$10E1", 4321, 0x1FFF},
  };
  folder.Write("image.bin", Counting(ImageSize));
  for (const ProcessorCase& c : cases) {
    SCOPED_TRACE(c.typed);
    form->Identity.ProgramEndAddress = Before;
    LoadFileAnswers answers(folder.Path("image.bin"), {c.typed, "4001"});
    ChooseLoadFile(*form, answers);
    EXPECT_EQ(form->Identity.ProcessorNumber, c.processorNumber);
    EXPECT_EQ(form->Identity.ProgramEndAddress, c.programEndAddress);
  }
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(LoadFile, RmNumberKeepsItsLow16BitsAndIsLogged) {
  folder.Write("image.bin", Counting(ImageSize));
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "65537"});
  ChooseLoadFile(*form, answers);

  EXPECT_EQ(form->Identity.RmNumber, 1);
  EXPECT_EQ(form->Identity.ExpectedModel, 1);
  EXPECT_EQ(LogOf(*form), QStringList{"New File Loaded...RM1"});
}

TEST_F(LoadFile, FamilyRmNumberIsExpectedAsTypedAndTheTitleStays) {
  const QString title = TBootloadApplication::Title();
  const ProductIdentity before = form->Identity;
  const bool groupShown = form->SlvAdd_GroupBox->isVisibleTo(form.get());
  folder.Write("image.bin", Counting(ImageSize));
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "2005"});
  ChooseLoadFile(*form, answers);

  EXPECT_EQ(form->Identity.RmNumber, 2005);
  EXPECT_EQ(form->Identity.ExpectedModel, 2005);
  EXPECT_EQ(form->Identity.FirmwareVersion, before.FirmwareVersion);
  EXPECT_EQ(form->Identity.ModelReadDelay, before.ModelReadDelay);
  EXPECT_EQ(form->Identity.ProductTitle, before.ProductTitle);
  EXPECT_EQ(TBootloadApplication::Title(), title);
  EXPECT_EQ(form->windowTitle(), title);
  EXPECT_EQ(form->SlvAdd_GroupBox->isVisibleTo(form.get()), groupShown);
  EXPECT_EQ(LogOf(*form), QStringList{"New File Loaded...RM2005"});
}

TEST_F(LoadFile, LogLineIsAddedWithoutScrollingToItOrSelectingIt) {
  for (int i = 0; i < 30; ++i) form->ListBox1->addItem(QString::number(i));
  form->ListBox1->setCurrentRow(0);
  form->ListBox1->scrollToTop();
  folder.Write("image.bin", Counting(ImageSize));
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "4001"});
  ChooseLoadFile(*form, answers);

  ASSERT_EQ(form->ListBox1->count(), 31);
  QListWidgetItem* last = form->ListBox1->item(30);
  EXPECT_EQ(last->text(), "New File Loaded...RM4001");
  EXPECT_EQ(form->ListBox1->currentRow(), 0);
  EXPECT_FALSE(last->isSelected());
  const QRect viewport = form->ListBox1->viewport()->rect();
  EXPECT_TRUE(viewport.intersects(form->ListBox1->visualItemRect(form->ListBox1->item(0))));
  EXPECT_FALSE(viewport.intersects(form->ListBox1->visualItemRect(last)));
}

TEST_F(LoadFile, InputBoxesAskForTheProcessorThenTheRmNumber) {
  folder.Write("image.bin", Counting(ImageSize));
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "4001"});
  ChooseLoadFile(*form, answers);

  ASSERT_EQ(answers.Inputs.size(), 2u);
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  const char* const titles[] = {"Enter Processor No.", "Enter RM No."};
  const char* const labels[] = {"Processor No.", "RM No."};
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(answers.Inputs[i].title, titles[i]);
    EXPECT_EQ(answers.Inputs[i].label, labels[i]);
    EXPECT_TRUE(answers.Inputs[i].initialText.isEmpty());
    EXPECT_EQ(answers.Inputs[i].maxLength, 255);
    // Within the frame the toolkit adds once the box shows.
    EXPECT_LE(std::abs(answers.Inputs[i].centre.x() - screenCentre.x()), 3);
    EXPECT_LE(std::abs(answers.Inputs[i].centre.y() - screenCentre.y()), 3);
  }
}

struct BadAnswerCase {
  Answer typed;
  const char* shownAs = nullptr;
};

const BadAnswerCase BadAnswers[] = {
    {"abc", "abc"},
    {"12.5", "12.5"},
    {" 12", " 12"},
    {"", ""},
    {Cancel, ""},
    {"0x", "0x"},
    {"99999999999", "99999999999"},
};

TEST_F(LoadFile, BadProcessorNumberKeepsTheNewImageAndTheOldIdentity) {
  const QByteArray file = Counting(ImageSize);
  folder.Write("image.bin", file);
  form->Button6->setEnabled(false);
  const ProductIdentity identity = form->Identity;
  for (const BadAnswerCase& c : BadAnswers) {
    SCOPED_TRACE(c.shownAs);
    form->Image.Bytes.fill(0x11);
    const std::size_t boxesBefore = boxes.Boxes().size();
    LoadFileAnswers answers(folder.Path("image.bin"), {c.typed, "4001"});
    ChooseLoadFile(*form, answers);

    ASSERT_EQ(boxes.Boxes().size(), boxesBefore + 1);
    EXPECT_EQ(boxes.Boxes().back().text,
              QString("'%1' is not a valid integer value.").arg(c.shownAs));
    EXPECT_EQ(boxes.Boxes().back().title, TBootloadApplication::Title());
    EXPECT_EQ(answers.Inputs.size(), 1u);
    ExpectImageHolds(file, 0x11);
    EXPECT_TRUE(SameIdentity(form->Identity, identity));
    EXPECT_TRUE(LogOf(*form).isEmpty());
    EXPECT_FALSE(form->Button6->isEnabled());
  }
}

TEST_F(LoadFile, BadRmNumberKeepsTheNewProcessorAndTheOldRmNumber) {
  folder.Write("image.bin", Counting(ImageSize));
  form->Button6->setEnabled(false);
  for (const BadAnswerCase& c : BadAnswers) {
    SCOPED_TRACE(c.shownAs);
    form->Identity.ProcessorNumber = 4680;
    form->Identity.ProgramEndAddress = 0xFFFF;
    const std::size_t boxesBefore = boxes.Boxes().size();
    LoadFileAnswers answers(folder.Path("image.bin"), {"4321", c.typed});
    ChooseLoadFile(*form, answers);

    ASSERT_EQ(boxes.Boxes().size(), boxesBefore + 1);
    EXPECT_EQ(boxes.Boxes().back().text,
              QString("'%1' is not a valid integer value.").arg(c.shownAs));
    EXPECT_EQ(answers.Inputs.size(), 2u);
    EXPECT_EQ(form->Identity.ProcessorNumber, 4321);
    EXPECT_EQ(form->Identity.ProgramEndAddress, 0x1FFFu);
    EXPECT_EQ(form->Identity.RmNumber, 4001);
    EXPECT_EQ(form->Identity.ExpectedModel, 4001);
    EXPECT_TRUE(LogOf(*form).isEmpty());
    EXPECT_FALSE(form->Button6->isEnabled());
  }
}

TEST_F(LoadFile, StartIsEnabledOnlyWhenTheLinkExists) {
  folder.Write("image.bin", Counting(ImageSize));
  form->Button6->setEnabled(false);
  {
    LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "4001"});
    ChooseLoadFile(*form, answers);
    EXPECT_TRUE(form->Button6->isEnabled());
  }
  form->CommsLink.reset();
  form->Button6->setEnabled(false);
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "4001"});
  ChooseLoadFile(*form, answers);
  EXPECT_EQ(LogOf(*form).size(), 2);
  EXPECT_FALSE(form->Button6->isEnabled());
}

TEST(LoadFileDuringARun, IsRefusedWithTheDefaultBeep) {
  LinkedFolder folder;
  ScriptedCommands* commands = nullptr;
  TMainForm form(ResourceStore(), [&commands](UpdateView&) {
    auto scripted = std::make_unique<ScriptedCommands>();
    scripted->ModelNumberResults = {4001, 4001};
    commands = scripted.get();
    return scripted;
  });
  std::vector<uint32_t> beeps;
  SetBeepListener([&beeps](uint32_t sound) { beeps.push_back(sound); });
  folder.Write("image.bin", Counting(ImageSize));
  LoadFileAnswers answers(folder.Path("image.bin"), {"4321", "1101"});
  const auto image = form.Image;
  commands->During = [&form](const QString& command) {
    if (command == "EraseProgramMemory") form.LoadFile1Click();
  };
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&form] { return !form.IsRunInProgress(); }));
  SetBeepListener(nullptr);

  EXPECT_EQ(beeps, std::vector<uint32_t>{BeepSound::Default});
  EXPECT_TRUE(answers.FileDialogs.empty());
  EXPECT_EQ(form.Image.Bytes, image.Bytes);
  EXPECT_FALSE(LogOf(form).contains("New File Loaded...RM1101"));
}

TEST(LoadFileThenUpdate, WholeUpdateWritesTheLoadedFileIntoTheUnit) {
  UnitSimProcess unit;
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  TMainForm form;
  ASSERT_TRUE(form.CommsLink->IsOpen());
  const QByteArray file = Counting(65536);
  folder.Write("new-firmware.bin", file);
  {
    LoadFileAnswers answers(folder.Path("new-firmware.bin"), {"4680", "4001"});
    ChooseLoadFile(form, answers);
  }
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&form] { return !form.IsRunInProgress(); }, 120000));
  const std::vector<uint8_t> memory = unit.StopAndReadMemory();

  EXPECT_EQ(LogOf(form).filter("Sending New Program Data").value(0),
            "Sending New Program Data......100%");
  EXPECT_EQ(LogOf(form).last(), "Finalising Upgrade.....Done");
  ASSERT_EQ(memory.size(), 65536u);
  constexpr std::size_t ProgramStart = 0x0800;
  EXPECT_TRUE(std::equal(memory.begin() + ProgramStart, memory.end(), file.begin() + ProgramStart,
                         [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }));
}

// The range is checked against the processor entered, before anything changes.
TEST_F(LoadFile, HexFileWithDataInTheBootLoaderAreaIsRefusedAndChangesNothing) {
  const auto image = form->Image;
  const ProductIdentity identity = form->Identity;
  folder.Write("combined.hex", ":10000000000102030405060708090A0B0C0D0E0F78\n:00000001FF\n");
  LoadFileAnswers answers(folder.Path("combined.hex"), {"4321", "1101"});
  ChooseLoadFile(*form, answers);

  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_TRUE(boxes.Boxes()[0].text.startsWith(
      "Cannot use file " + folder.Path("combined.hex") +
      ": line 1: data at 0x0000 lies below 0x0800, in the boot loader's own area"));
  EXPECT_EQ(answers.Inputs.size(), 1u);
  EXPECT_EQ(form->Image.Bytes, image.Bytes);
  EXPECT_EQ(form->Image.BlockPresent, image.BlockPresent);
  EXPECT_TRUE(SameIdentity(form->Identity, identity));
}

TEST(LoadFileThenUpdate, HexFileSendsOnlyItsRowsAndTheUnitHoldsSrecCatsImage) {
  UnitSimProcess unit;
  WorkingFolder folder;
  const SparseFirmware sparse(QStringLiteral(BOOTLOAD_SHIPPED_IMAGE), folder.Path(""));
  ASSERT_TRUE(sparse.Error.isEmpty()) << sparse.Error.toStdString();
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  TMainForm form;
  ASSERT_TRUE(form.CommsLink->IsOpen());
  {
    LoadFileAnswers answers(sparse.Hex, {"4680", "4001"});
    ChooseLoadFile(form, answers);
  }
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&form] { return !form.IsRunInProgress(); }, 120000));

  EXPECT_EQ(LogOf(form).last(), "Finalising Upgrade.....Done");
  EXPECT_EQ(ProgrammedRows(unit.HeardFrames()), sparse.Rows);
  const std::vector<uint8_t> memory = unit.StopAndReadMemory();
  ASSERT_EQ(memory.size(), 65536u);
  EXPECT_TRUE(std::equal(memory.begin() + 0x0800, memory.end(), sparse.Binary.begin() + 0x0800,
                         [](uint8_t a, char b) { return a == static_cast<uint8_t>(b); }));
}

}  // namespace
