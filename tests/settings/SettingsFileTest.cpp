#include <gtest/gtest.h>

#include "support/Files.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <stdexcept>
#include <utility>

#include "settings/IniFile.h"
#include "settings/LineEchoSetting.h"
#include "settings/SettingsFile.h"

namespace {

using namespace std::chrono_literals;

// A user the tests give files and links to, when run as root.
constexpr uid_t OtherUser = 65534;

// Makes a folder read-only for its lifetime.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(QString path)
      : path_(std::move(path)), permissions_(QFile::permissions(path_)) {
    QFile::setPermissions(path_, QFile::ReadOwner | QFile::ExeOwner);
  }
  ~ReadOnlyFolder() { QFile::setPermissions(path_, permissions_); }
  ReadOnlyFolder(const ReadOnlyFolder&) = delete;
  ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

 private:
  QString path_;
  QFile::Permissions permissions_;
};

class SettingsFile : public testing::Test {
 protected:
  QString folder() const { return dir_.path() + '/'; }
  QString path() const { return folder() + "Bootload.Ini"; }
  void writeFile(const QByteArray& bytes) const { WriteFileBytes(path(), bytes); }
  QByteArray readFile() const { return ReadFileBytes(path()); }
  static void expectWriteFailure(const QString& startupDirectory) {
    try {
      WriteCommPortSetting(startupDirectory, 1);
      ADD_FAILURE() << "no exception for " << startupDirectory.toStdString();
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(e.what(), "Unable to write to " + startupDirectory.toStdString() + "Bootload.Ini");
    }
  }

  QTemporaryDir dir_;
};

TEST_F(SettingsFile, PathIsBootloadIniInTheFolder) {
  EXPECT_EQ(SettingsFilePath("/some/where/"), "/some/where/Bootload.Ini");
}

TEST_F(SettingsFile, MissingFileReadsAsPortOneAndIsCreatedOnlyByAWrite) {
  EXPECT_FALSE(SettingsFileExists(folder()));
  EXPECT_EQ(ReadCommPortSetting(folder()), 1);
  EXPECT_FALSE(QFileInfo::exists(path()));
  WriteCommPortSetting(folder(), 1);
  EXPECT_TRUE(SettingsFileExists(folder()));
  EXPECT_EQ(readFile(), "[Options]\r\nComms_Port=1\r\n");
}

TEST_F(SettingsFile, LineEchoIsReadFromItsKeyAutoWhenMissingAndAnyOtherValueRefused) {
  EXPECT_EQ(ReadLineEchoSetting(folder()), EchoMode::Auto);
  EXPECT_FALSE(QFileInfo::exists(path())) << "reading writes nothing";
  const std::pair<QByteArray, EchoMode> values[] = {
      {"[Options]\r\nComms_Port=1\r\n", EchoMode::Auto},
      {"[line]\r\necho=ON\r\n", EchoMode::On},
      {"[Line]\r\nEcho= off \r\n", EchoMode::Off},
      {"[Line]\r\nEcho=auto\r\n", EchoMode::Auto},
      {"[Line]\r\nEcho=\r\n", EchoMode::Auto},
  };
  for (const auto& [content, mode] : values) {
    writeFile(content);
    EXPECT_EQ(ReadLineEchoSetting(folder()), mode) << content.toStdString();
    EXPECT_EQ(readFile(), content);
  }
  writeFile("[Line]\r\nEcho=yes\r\n");
  try {
    ReadLineEchoSetting(folder());
    ADD_FAILURE() << "no exception for Echo=yes";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(e.what(), path().toStdString() +
                            ": key Echo of section [Line] is 'yes'; it takes auto, on or off");
  }
}

struct StoredValue {
  const char* text;
  int32_t port;
};

void PrintTo(const StoredValue& value, std::ostream* out) {
  *out << '"' << value.text << '"';
}

class SettingsFileValue : public SettingsFile, public testing::WithParamInterface<StoredValue> {};

TEST_P(SettingsFileValue, ReadsPortAndLeavesFileUnchanged) {
  const QByteArray text = QByteArray("[Options]\r\nComms_Port=") + GetParam().text + "\r\n";
  writeFile(text);
  EXPECT_EQ(ReadCommPortSetting(folder()), GetParam().port);
  EXPECT_EQ(readFile(), text);
}

INSTANTIATE_TEST_SUITE_P(SettingsFile, SettingsFileValue,
                         testing::Values(StoredValue{"3", 3}, StoredValue{" 4 ", 4},
                                         StoredValue{"0x0A", 10}, StoredValue{"$1f", 31},
                                         StoredValue{"-3", -3}, StoredValue{"0X", 1},
                                         StoredValue{"abc", 1}, StoredValue{"", 1},
                                         StoredValue{"99999999999", 1},
                                         StoredValue{"0xFFFFFFFF", 1}));

TEST_F(SettingsFile, MissingKeyOrSectionReadsAsOneWithoutWriting) {
  for (const QByteArray& text : {QByteArray(""), QByteArray("[Options]\nOther=5\n"),
                                 QByteArray("[Other]\nComms_Port=5\n")}) {
    writeFile(text);
    EXPECT_EQ(ReadCommPortSetting(folder()), 1) << text.toStdString();
    EXPECT_EQ(readFile(), text);
  }
}

TEST_F(SettingsFile, NamesMatchWithoutRegardToCase) {
  writeFile("[OPTIONS]\r\ncomms_port=7\r\n");
  EXPECT_EQ(ReadCommPortSetting(folder()), 7);
  WriteCommPortSetting(folder(), 8);
  EXPECT_EQ(readFile(), "[OPTIONS]\r\ncomms_port=8\r\n");
}

TEST_F(SettingsFile, WrittenPortReadsBack) {
  WriteCommPortSetting(folder(), 12);
  EXPECT_EQ(ReadCommPortSetting(folder()), 12);
  WriteCommPortSetting(folder(), -5);
  EXPECT_EQ(readFile(), "[Options]\r\nComms_Port=-5\r\n");
}

TEST_F(SettingsFile, WriteKeepsEverythingElse) {
  writeFile(
      "; comment\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n[Options]\r\nOther=x\r\n"
      "Comms_Port=2\r\nnot a key\r\n[Last]\r\nA=1");
  WriteCommPortSetting(folder(), 5);
  EXPECT_EQ(readFile(),
            "; comment\r\n[Ports]\r\nCOM3=/dev/ttyUSB0\r\n\r\n[Options]\r\nOther=x\r\n"
            "Comms_Port=5\r\nnot a key\r\n[Last]\r\nA=1\r\n");
}

TEST_F(SettingsFile, ByteOrderMarkBeforeOptionsIsReadAndKept) {
  writeFile("\xEF\xBB\xBF[Options]\r\nComms_Port=6\r\n");
  EXPECT_EQ(ReadCommPortSetting(folder()), 6);
  WriteCommPortSetting(folder(), 7);
  EXPECT_EQ(readFile(), "\xEF\xBB\xBF[Options]\r\nComms_Port=7\r\n");
}

TEST_F(SettingsFile, WriteCutShortByTheFileSystemFailsAndKeepsTheFile) {
  const QByteArray content = "[Options]\r\nComms_Port=3\r\n[Other]\r\nKey=some longer value\r\n";
  writeFile(content);
  // A file size limit cuts the write short, even for root.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit tiny = saved;
  tiny.rlim_cur = 16;
  setrlimit(RLIMIT_FSIZE, &tiny);
  EXPECT_THROW(WriteCommPortSetting(folder(), 4), std::runtime_error);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_EQ(readFile(), content);
}

TEST_F(SettingsFile, MissingFolderGivesWriteError) {
  expectWriteFailure(folder() + "missing/");
}

TEST_F(SettingsFile, FolderInPlaceOfTheFileGivesWriteError) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("Bootload.Ini"));
  expectWriteFailure(folder());
}

TEST_F(SettingsFile, ReadOnlyFolderWithoutFileGivesWriteError) {
  const ReadOnlyFolder readOnly(dir_.path());
  if (QFile probe(folder() + "probe"); probe.open(QIODevice::WriteOnly)) {
    probe.remove();
    GTEST_SKIP() << "this user writes into read-only folders (root), so no write fails";
  }
  expectWriteFailure(folder());
}

TEST_F(SettingsFile, ExistingFileInReadOnlyFolderIsWritten) {
  writeFile("[Options]\r\nComms_Port=1\r\n");
  {
    const ReadOnlyFolder readOnly(dir_.path());
    WriteCommPortSetting(folder(), 4);
  }
  EXPECT_EQ(readFile(), "[Options]\r\nComms_Port=4\r\n");
}

// Runs call on a thread of its own; when it has not returned within a
// generous limit it waits on the FIFO for ever, nothing can end it, and the
// test fails by ending the whole test program.
void RunWithoutWaitingOnAFifo(const std::function<void()>& call) {
  auto returned = std::async(std::launch::async, call);
  if (returned.wait_for(10s) == std::future_status::ready) return;
  std::fputs("FAILED: the settings file's FIFO was waited on\n", stderr);
  std::_Exit(EXIT_FAILURE);
}

TEST_F(SettingsFile, FifoOrLinkToOneReadsAsPortOneWithoutWaitingAndIsNeverWritten) {
  const auto expectNeitherReadNorWritten = [this] {
    int32_t port = 0;
    bool writeRefused = false;
    RunWithoutWaitingOnAFifo([&] {
      port = ReadCommPortSetting(folder());
      try {
        WriteCommPortSetting(folder(), 2);
      } catch (const std::runtime_error&) {
        writeRefused = true;
      }
    });
    EXPECT_EQ(port, 1);
    EXPECT_TRUE(writeRefused);
    EXPECT_FALSE(SettingsFileExists(folder()));
  };
  ASSERT_EQ(::mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
  expectNeitherReadNorWritten();

  const QString fifo = dir_.filePath("fifo");
  ASSERT_TRUE(QFile::rename(path(), fifo));
  ASSERT_TRUE(QFile::link(fifo, path()));
  expectNeitherReadNorWritten();
}

TEST_F(SettingsFile, FileAboveTheSizeLimitReadsAsPortOneAndIsNotWritten) {
  writeFile("[Options]\r\nComms_Port=7\r\n");
  ASSERT_TRUE(QFile::resize(path(), IniFile::MaxFileSize + 1));
  EXPECT_EQ(ReadCommPortSetting(folder()), 1);
  EXPECT_THROW(WriteCommPortSetting(folder(), 2), std::runtime_error);
  EXPECT_EQ(QFileInfo(path()).size(), IniFile::MaxFileSize + 1);
  EXPECT_TRUE(readFile().startsWith("[Options]\r\nComms_Port=7\r\n"));

  ASSERT_TRUE(QFile::resize(path(), IniFile::MaxFileSize));
  EXPECT_EQ(ReadCommPortSetting(folder()), 7) << "a file at the limit is read";
}

TEST_F(SettingsFile, LinkToAFileOfThisUserIsReadAndWrittenThrough) {
  const QString target = dir_.filePath("elsewhere.ini");
  WriteFileBytes(target, "[Options]\nComms_Port=3\n");
  ASSERT_TRUE(QFile::link(target, path()));
  EXPECT_TRUE(SettingsFileExists(folder()));
  EXPECT_EQ(ReadCommPortSetting(folder()), 3);
  WriteCommPortSetting(folder(), 4);
  EXPECT_TRUE(QFileInfo(path()).isSymLink());
  EXPECT_EQ(ReadFileBytes(target), "[Options]\r\nComms_Port=4\r\n");
}

TEST_F(SettingsFile, LinkToAnotherUsersFileOrToNothingIsNeverWrittenThrough) {
  const QString missing = dir_.filePath("missing.ini");
  ASSERT_TRUE(QFile::link(missing, path()));
  expectWriteFailure(folder());
  EXPECT_FALSE(QFileInfo::exists(missing)) << "a dangling link made a file";
  ASSERT_TRUE(QFile::remove(path()));

  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const QString target = dir_.filePath("theirs.ini");
  const QByteArray content = "[Options]\nComms_Port=3\n";
  WriteFileBytes(target, content);
  ASSERT_EQ(::chown(QFile::encodeName(target).constData(), OtherUser, OtherUser), 0);
  ASSERT_TRUE(QFile::link(target, path()));
  EXPECT_EQ(ReadCommPortSetting(folder()), 3);
  expectWriteFailure(folder());
  struct stat status {};
  ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &status), 0);
  EXPECT_EQ(status.st_uid, OtherUser);
  EXPECT_EQ(ReadFileBytes(target), content);
}

TEST_F(SettingsFile, LinkOfAnotherUserIsNeverWrittenThroughEvenToOurFile) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
  const QString target = dir_.filePath("ours.ini");
  const QByteArray content = "[Options]\nComms_Port=3\n";
  WriteFileBytes(target, content);
  ASSERT_TRUE(QFile::link(target, path()));
  ASSERT_EQ(::lchown(QFile::encodeName(path()).constData(), OtherUser, OtherUser), 0);
  EXPECT_EQ(ReadCommPortSetting(folder()), 3) << "a link is still followed for reading";
  expectWriteFailure(folder());
  EXPECT_EQ(ReadFileBytes(target), content);

  // Nor through a link of ours that leads through theirs.
  const QByteArray planted = QFile::encodeName(dir_.filePath("planted"));
  ASSERT_EQ(::rename(QFile::encodeName(path()).constData(), planted.constData()), 0);
  ASSERT_TRUE(QFile::link(dir_.filePath("planted"), path()));
  expectWriteFailure(folder());
  EXPECT_EQ(ReadFileBytes(target), content);
}

}  // namespace
