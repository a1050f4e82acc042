#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "app/About.h"
#include "app/LinkedFolder.h"
#include "app/Main1.h"
#include "app/VersionInfo.h"

namespace {

enum Key { CompanyName, FileDescription, FileVersion, LegalCopyright = 4, ProductVersion = 8 };

// A version-information block written to a file of its own.
struct VersionBlock {
  QJsonArray translations{QJsonArray{0x0809, 0x04E4}};
  QString table = "080904E4";
  QJsonObject strings{{"FileDescription", "Boot Loader"},
                      {"FileVersion", "1.18.2.597"},
                      {"LegalCopyright", "Copyright (C) them"}};
  std::optional<QJsonObject> fixed = QJsonObject{{"FileFlagsMask", 63}, {"FileFlags", 0}};

  QString WriteTo(const WorkingFolder& folder) const {
    QJsonObject root{{"StringFileInfo", QJsonObject{{table, strings}}}};
    if (!translations.isEmpty()) {
      root["VarFileInfo"] = QJsonObject{{"Translation", translations}};
    }
    if (fixed) root["FixedFileInfo"] = *fixed;
    folder.Write("version.json", QJsonDocument(root).toJson());
    return folder.Path("version.json");
  }
};

// Runs show while a queued call does whatever answer says to the box that
// shows modally; returns what show returned.
int ExecAnswering(const std::function<int()>& show, const std::function<void(TAboutBox&)>& answer) {
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    poll.stop();
    QMetaObject::invokeMethod(
        box, [box, &answer] { answer(*box); }, Qt::QueuedConnection);
  });
  poll.start(10);
  return show();
}

void PressOk(TAboutBox& box) {
  box.OKButton->click();
}

TEST(AboutBox, ShowsTheShippedVersionInformation) {
  const TAboutBox box;
  EXPECT_EQ(box.Label1->text(), "Boot Loader");
  EXPECT_EQ(box.Label2->text(), "Version 1.18.2  Build 597");
  EXPECT_EQ(box.VersionStrings[FileVersion], "1.18.2.597");
  EXPECT_EQ(box.VersionStrings[ProductVersion], "1.0.0.0");
  EXPECT_EQ(box.VersionStrings[CompanyName], "N/A");
  EXPECT_EQ(box.Label3->text(), box.VersionStrings[LegalCopyright]);
  EXPECT_NE(box.Label3->text(), "N/A");
  EXPECT_EQ(box.PreRelease, bool{BOOTLOAD_PRERELEASE_BUILD});
  EXPECT_EQ(box.Image2->isVisibleTo(&box), bool{BOOTLOAD_PRERELEASE_BUILD});

  const auto block = VersionInfoBlock::Read(":/version/VersionInfo.json");
  ASSERT_TRUE(block);
  const auto translation = block->QueryFirstTranslation();
  ASSERT_TRUE(translation);
  EXPECT_EQ(translation->Language, 0x0809);
  EXPECT_EQ(translation->CodePage, 0x04E4);
}

struct VersionLineCase {
  const char* fileVersion;
  const char* line;
};

TEST(AboutBox, VersionLineSplitsAtTheLastFullStop) {
  const VersionLineCase cases[] = {
      {"1.18.2.597", "Version 1.18.2  Build 597"},
      {"2.0", "Version 2  Build 0"},
      {"597", "Version   Build 597"},
      {"N/A", "Version   Build N/A"},
      {"1.2.", "Version 1.2  Build "},
      {".5", "Version   Build 5"},
      {"", "Version   Build "},
  };
  WorkingFolder folder;
  for (const VersionLineCase& c : cases) {
    SCOPED_TRACE(c.fileVersion);
    EXPECT_EQ(VersionLine(c.fileVersion), c.line);
    VersionBlock block;
    block.strings["FileVersion"] = c.fileVersion;
    const TAboutBox box(nullptr, block.WriteTo(folder));
    EXPECT_EQ(box.Label2->text(), c.line);
  }
}

struct TranslationCase {
  uint16_t language;
  uint16_t codePage;
  const char* table;
};

TEST(AboutBox, StringsComeFromTheTableOfTheFirstTranslation) {
  const TranslationCase cases[] = {
      {0x0809, 0x04E4, "080904E4"},
      {0x0409, 0xFDE9, "0409FDE9"},
      {0x0007, 0x0000, "00070000"},
  };
  WorkingFolder folder;
  for (const TranslationCase& c : cases) {
    SCOPED_TRACE(c.table);
    VersionBlock block;
    block.translations = {QJsonArray{c.language, c.codePage}, QJsonArray{0x0409, 0x04B0}};
    block.table = c.table;
    block.strings = {{"FileDescription", c.table}, {"Comments", "found"}};
    const TAboutBox box(nullptr, block.WriteTo(folder));
    EXPECT_EQ(box.Label1->text(), c.table);
    EXPECT_EQ(box.VersionStrings[9], "found");
  }
}

TEST(AboutBox, MissingKeysShowNotAvailable) {
  WorkingFolder folder;
  VersionBlock block;
  block.strings = {{"FileDescription", "Boot Loader"}};
  const TAboutBox box(nullptr, block.WriteTo(folder));
  EXPECT_EQ(box.Label1->text(), "Boot Loader");
  EXPECT_EQ(box.Label2->text(), "Version   Build N/A");
  EXPECT_EQ(box.Label3->text(), "N/A");
  for (std::size_t i = 0; i < TAboutBox::VersionKeyCount; ++i) {
    if (i == FileDescription) continue;
    EXPECT_EQ(box.VersionStrings[i], "N/A") << TAboutBox::VersionKeys[i];
  }
}

TEST(AboutBox, WithoutTranslationEveryValueIsNotAvailableButTheFlagsCount) {
  WorkingFolder folder;
  VersionBlock block;
  block.translations = {};
  block.fixed = QJsonObject{{"FileFlagsMask", 63}, {"FileFlags", 2}};
  const TAboutBox box(nullptr, block.WriteTo(folder));
  for (const QString& value : box.VersionStrings) EXPECT_EQ(value, "N/A");
  EXPECT_EQ(box.Label1->text(), "N/A");
  EXPECT_EQ(box.Label2->text(), "Version   Build N/A");
  EXPECT_TRUE(box.Image2->isVisibleTo(&box));
}

TEST(AboutBox, UnreadableVersionInformationShowsNotAvailable) {
  WorkingFolder folder;
  folder.Write("version.json", "{ not a version block");
  const TAboutBox box(nullptr, folder.Path("version.json"));
  EXPECT_EQ(box.Label1->text(), "N/A");
  EXPECT_EQ(box.Label2->text(), "Version   Build N/A");
  EXPECT_EQ(box.Label3->text(), "N/A");
  EXPECT_FALSE(box.Image2->isVisibleTo(&box));
}

TEST(AboutBox, WithoutVersionInformationTheLabelsStayEmpty) {
  WorkingFolder folder;
  folder.Write("empty.json", "");
  for (const QString& file : {folder.Path("missing.json"), folder.Path("empty.json")}) {
    SCOPED_TRACE(file.toStdString());
    const TAboutBox box(nullptr, file);
    EXPECT_TRUE(box.Label1->text().isEmpty());
    EXPECT_TRUE(box.Label2->text().isEmpty());
    EXPECT_TRUE(box.Label3->text().isEmpty());
    EXPECT_EQ(box.VersionStrings[FileVersion], "N/A");
    EXPECT_FALSE(box.PreRelease);
  }
}

struct FlagsCase {
  int flags;
  int mask;
  bool beta;
};

TEST(AboutBox, BetaShowsOnlyWhenThePreReleaseFlagIsInTheFlagsAndTheMask) {
  const FlagsCase cases[] = {
      {2, 63, true}, {2, 0, false}, {0, 63, false}, {63, 61, false}, {3, 2, true}, {1, 63, false},
  };
  WorkingFolder folder;
  for (const FlagsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "flags " << c.flags << " mask " << c.mask);
    VersionBlock block;
    block.fixed = QJsonObject{{"FileFlagsMask", c.mask}, {"FileFlags", c.flags}};
    const TAboutBox box(nullptr, block.WriteTo(folder));
    EXPECT_EQ(box.PreRelease, c.beta);
    EXPECT_EQ(box.Image2->isVisibleTo(&box), c.beta);
  }
  VersionBlock withoutFixedPart;
  withoutFixedPart.fixed.reset();
  const TAboutBox box(nullptr, withoutFixedPart.WriteTo(folder));
  EXPECT_FALSE(box.PreRelease);
  EXPECT_EQ(box.Label1->text(), "Boot Loader");
}

// The rows of the image that hold ink darker than the background.
std::vector<bool> InkRows(const QImage& image) {
  std::vector<bool> rows(image.height(), false);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) < 128) rows[y] = true;
    }
  }
  return rows;
}

TEST(AboutBox, LongDescriptionWrapsInsideItsArea) {
  WorkingFolder folder;
  VersionBlock block;
  block.strings["FileDescription"] =
      "Boot Loader for every unit of the family, with settings kept across the update";
  TAboutBox box(nullptr, block.WriteTo(folder));
  box.show();
  EXPECT_EQ(box.Label1->geometry(), QRect(99, 16, 222, 25));
  EXPECT_TRUE(box.Label1->wordWrap());
  EXPECT_GT(box.Label1->heightForWidth(222), 25);

  const QImage shot = box.Label1->grab().toImage();
  ASSERT_EQ(shot.size(), QSize(222, 25));
  const std::vector<bool> rows = InkRows(shot);
  // Two lines of text: ink, then a gap, then ink again.
  const auto firstInk = std::ranges::find(rows, true);
  const auto gap = std::find(firstInk, rows.end(), false);
  EXPECT_NE(std::find(gap, rows.end(), true), rows.end());
}

TEST(AboutBox, LayoutOfTheBox) {
  const TAboutBox box;
  EXPECT_EQ(box.windowTitle(), "About....");
  EXPECT_EQ(box.size(), QSize(337, 193));
  EXPECT_EQ(box.minimumSize(), box.maximumSize());
  EXPECT_EQ(box.Image2->geometry(), QRect(8, 8, 321, 137));
  EXPECT_EQ(box.Label1->geometry(), QRect(99, 16, 222, 25));
  EXPECT_EQ(box.Label2->pos(), QPoint(99, 48));
  EXPECT_EQ(box.Label2->size(), box.Label2->sizeHint());
  EXPECT_EQ(box.Label3->pos(), QPoint(99, 80));
  EXPECT_EQ(box.Label3->size(), box.Label3->sizeHint());
  EXPECT_EQ(box.Bevel2->geometry(), QRect(8, 8, 81, 81));
  EXPECT_EQ(box.Image1->geometry(), QRect(17, 24, 66, 52));
  EXPECT_EQ(box.OKButton->geometry(), QRect(136, 160, 65, 25));
  EXPECT_EQ(box.OKButton->text(), "OK");
  EXPECT_TRUE(box.OKButton->isDefault());
  EXPECT_EQ(box.font().pointSize(), 8);
  EXPECT_EQ(box.palette().color(QPalette::Window), box.palette().color(QPalette::Button));
  // The watermark lies behind every other control.
  EXPECT_EQ(box.children().indexOf(box.Image2), 0);
  EXPECT_GT(box.children().indexOf(box.Image1), box.children().indexOf(box.Bevel2));
  const Qt::WindowFlags flags = box.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
}

TEST(AboutBox, PicturesHaveTheirSizesAndTransparentBackgrounds) {
  const TAboutBox box;
  const QImage chip = box.Image1->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(chip.size(), QSize(66, 52));
  EXPECT_EQ(qAlpha(chip.pixel(0, 0)), 0);
  EXPECT_EQ(qAlpha(chip.pixel(33, 26)), 255);

  const QImage beta = box.Image2->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(beta.size(), QSize(130, 66));
  EXPECT_EQ(qAlpha(beta.pixel(0, 0)), 0);
  int red = 0;
  for (int y = 0; y < beta.height(); ++y) {
    for (int x = 0; x < beta.width(); ++x) {
      const QRgb pixel = beta.pixel(x, y);
      if (qAlpha(pixel) == 255 && qRed(pixel) > 150 && qGreen(pixel) < 80) ++red;
    }
  }
  EXPECT_GT(red, 130 * 66 / 10);
}

TEST(AboutBox, ReadsTheVersionInformationOnceAtCreation) {
  WorkingFolder folder;
  VersionBlock block;
  TAboutBox box(nullptr, block.WriteTo(folder));
  block.strings["FileDescription"] = "Changed";
  block.strings["FileVersion"] = "9.9";
  block.WriteTo(folder);
  for (int showing = 0; showing < 2; ++showing) {
    EXPECT_EQ(ExecAnswering([&box] { return box.exec(); }, PressOk), QDialog::Accepted);
    EXPECT_EQ(box.Label1->text(), "Boot Loader");
    EXPECT_EQ(box.Label2->text(), "Version 1.18.2  Build 597");
  }
}

TEST(AboutBox, HelpAboutShowsItModallyOverTheMainWindowAndEnterCloses) {
  LinkedFolder folder;
  TMainForm form;
  TAboutBox box(&form);
  form.AboutBox = &box;
  bool modal = false;
  QPoint centre;
  QWidget* focus = nullptr;
  bool ended = false;
  QTimer::singleShot(0, &form, [&] {
    form.About1->trigger();
    ended = true;
  });
  ExecAnswering(
      [&] {
        EXPECT_TRUE(ProcessEventsUntil([&ended] { return ended; }));
        return 0;
      },
      [&](TAboutBox& shown) {
        modal = &shown == &box && shown.isModal();
        centre = shown.frameGeometry().center();
        focus = shown.focusWidget();
        QTest::keyClick(&shown, Qt::Key_Return);
      });

  EXPECT_TRUE(modal);
  EXPECT_LE((centre - form.frameGeometry().center()).manhattanLength(), 2);
  EXPECT_EQ(focus, box.OKButton);
  EXPECT_EQ(box.result(), QDialog::Accepted);
  EXPECT_FALSE(box.isVisible());
}

TEST(AboutBox, ClosingOnlyHidesIt) {
  TAboutBox box;
  EXPECT_EQ(ExecAnswering([&box] { return box.exec(); }, [](TAboutBox& shown) { shown.close(); }),
            QDialog::Rejected);
  EXPECT_FALSE(box.isVisible());
  EXPECT_EQ(ExecAnswering([&box] { return box.exec(); }, PressOk), QDialog::Accepted);
  EXPECT_EQ(box.Label1->text(), "Boot Loader");
}

}  // namespace
