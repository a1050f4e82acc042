#include <gtest/gtest.h>

#include "support/Files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <stdexcept>

#include "settings/IniFile.h"

namespace {

class IniFileTest : public testing::Test {
 protected:
  QString path() const { return dir_.filePath("Test.ini"); }
  void writeFile(const QByteArray& bytes) const { WriteFileBytes(path(), bytes); }
  QByteArray readFile() const { return ReadFileBytes(path()); }
  // Writes key K = 9 into section S of a file holding before; returns the file.
  QByteArray afterWrite(const QByteArray& before) const {
    writeFile(before);
    IniFile(path()).WriteString("S", "K", "9");
    return readFile();
  }

  QTemporaryDir dir_;
};

TEST_F(IniFileTest, ReadsTrimmedValueIgnoringCaseOfNames) {
  writeFile("[ Other ]\nk=other\n[  s  ]\n  k  =  a value  \n");
  EXPECT_EQ(IniFile(path()).ReadString("S", "K"), "a value");
  EXPECT_EQ(IniFile(path()).ReadString("OTHER", "k"), "other");
}

TEST_F(IniFileTest, MissingSectionOrKeyReadsAsNothing) {
  writeFile("K=outside\n[S]\nJ=1\n[T]\nK=elsewhere\n");
  EXPECT_EQ(IniFile(path()).ReadString("S", "K"), std::nullopt);
  EXPECT_EQ(IniFile(path()).ReadString("U", "K"), std::nullopt);
}

TEST_F(IniFileTest, EmptyValueIsNotMissing) {
  writeFile("[S]\nK=\n");
  EXPECT_EQ(IniFile(path()).ReadString("S", "K"), "");
}

TEST_F(IniFileTest, FirstMatchingSectionAndKeyWin) {
  writeFile("[S]\nK=first\nk=second\n[s]\nK=third\nJ=only later\n");
  EXPECT_EQ(IniFile(path()).ReadString("S", "K"), "first");
  EXPECT_EQ(IniFile(path()).ReadString("S", "J"), std::nullopt);
}

TEST_F(IniFileTest, MissingFileReadsAsEmptyAndIsNotCreated) {
  EXPECT_EQ(IniFile(path()).ReadString("S", "K"), std::nullopt);
  EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(IniFileTest, EveryLineEndIsReadAndWrittenAsCrLf) {
  for (const QByteArray& end : {QByteArray("\n"), QByteArray("\r\n"), QByteArray("\r")}) {
    const QByteArray text = "; note" + end + "[S]" + end + "K=1" + end + "[T]" + end + "J=2" + end;
    writeFile(text);
    EXPECT_EQ(IniFile(path()).ReadString("T", "J"), "2") << end.toHex().toStdString();
    EXPECT_EQ(afterWrite(text), "; note\r\n[S]\r\nK=9\r\n[T]\r\nJ=2\r\n")
        << end.toHex().toStdString();
  }
}

TEST_F(IniFileTest, NoFinalNewlineIsNotGluedToTheNextLine) {
  EXPECT_EQ(afterWrite("[T]\r\nJ=2"), "[T]\r\nJ=2\r\n[S]\r\nK=9\r\n");
}

TEST_F(IniFileTest, ReplacesValueKeepingKeyTextAndSpacing) {
  EXPECT_EQ(afterWrite("[s]\r\n  k = 1  \r\nL=2\r\n"), "[s]\r\n  k = 9\r\nL=2\r\n");
  EXPECT_EQ(afterWrite("[s]\r\nk=\r\n"), "[s]\r\nk=9\r\n");
}

TEST_F(IniFileTest, AddsMissingKeyAfterLastLineOfFirstSection) {
  EXPECT_EQ(afterWrite("[S]\r\nJ=1\r\n\r\n\r\n[T]\r\n[S]\r\n"),
            "[S]\r\nJ=1\r\nK=9\r\n\r\n\r\n[T]\r\n[S]\r\n");
  EXPECT_EQ(afterWrite("[S]\r\n\r\n"), "[S]\r\nK=9\r\n\r\n");
}

TEST_F(IniFileTest, AddsMissingSectionAtTheEnd) {
  EXPECT_EQ(afterWrite("; top\r\nK=outside\r\n[T]\r\nK=1\r\n\r\n"),
            "; top\r\nK=outside\r\n[T]\r\nK=1\r\n\r\n[S]\r\nK=9\r\n");
}

TEST_F(IniFileTest, CreatesMissingFile) {
  IniFile(path()).WriteString("Sec", "Key", "Value");
  EXPECT_EQ(readFile(), "[Sec]\r\nKey=Value\r\n");
}

TEST_F(IniFileTest, KeepsGarbageLongLinesAndInvalidUtf8) {
  const QByteArray longLine(100000, 'x');
  const QByteArray kept = "garbage [ line\r\n=no key\r\n\xFF\xFE\x80 latin\r\n" + longLine + "\r\n";
  EXPECT_EQ(afterWrite(kept + "[S]\r\nK=1\r\n"), kept + "[S]\r\nK=9\r\n");
}

TEST_F(IniFileTest, ByteOrderMarkIsSkippedForReadingAndKept) {
  const QByteArray text = "\xEF\xBB\xBF[S]\r\nK=1\r\n";
  writeFile(text);
  EXPECT_EQ(IniFile(path()).ReadString("S", "K"), "1");
  EXPECT_EQ(afterWrite(text), "\xEF\xBB\xBF[S]\r\nK=9\r\n");
}

TEST_F(IniFileTest, SecondWriteKeepsTheFirst) {
  IniFile file(path());
  file.WriteString("S", "A", "1");
  file.WriteString("S", "B", "2");
  EXPECT_EQ(readFile(), "[S]\r\nA=1\r\nB=2\r\n");
}

TEST_F(IniFileTest, FailedWriteThrowsWithTheFullPath) {
  const QString missingFolder = dir_.filePath("missing/Test.ini");
  ASSERT_TRUE(QDir(dir_.path()).mkdir("Test.ini"));
  for (const QString& target : {missingFolder, path()}) {
    try {
      IniFile(target).WriteString("S", "K", "1");
      ADD_FAILURE() << "no exception for " << target.toStdString();
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), "Unable to write to " + target.toStdString());
    }
  }
}

}  // namespace
