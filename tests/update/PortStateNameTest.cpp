#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "support/PseudoTerminal.h"
#include "update/KeptSettingsStore.h"
#include "update/PortStateName.h"

namespace {

struct Spellings {
  std::string first;
  std::string second;
  bool samePort;
};

// Each pair gives one file exactly when it names one port: the spelling, a
// CA file, a relative path or a link never decide.
TEST(PortStateName, OnePortOneFileTwoPortsNeverShareOne) {
  const PseudoTerminal port;
  const PseudoTerminal other;
  const QTemporaryDir folder;
  const std::string link = folder.filePath("bench-port").toStdString();
  ASSERT_TRUE(QFile::link(QString::fromStdString(port.SlavePath()), QString::fromStdString(link)));
  const std::string relative =
      QDir::current().relativeFilePath(QString::fromStdString(port.SlavePath())).toStdString();
  const std::string pts = port.SlavePath().substr(port.SlavePath().rfind('/') + 1);
  const std::vector<Spellings> cases{
      {port.SlavePath(), link, true},
      {port.SlavePath(), relative, true},
      {port.SlavePath(), "/dev/pts/../pts//" + pts, true},
      {port.SlavePath(), other.SlavePath(), false},
      {port.SlavePath(), "rfc2217s://127.0.0.1:24302?ca=a/../../pts/" + pts, false},
      {"rfc2217s://127.0.0.1:24302?ca=a/../../pts/1", "/dev/pts/1", false},
      {"rfc2217://127.0.0.1:24301", "rfc2217://127.1:24301", true},
      {"rfc2217://127.0.0.1:24301", "RFC2217://127.0.0.1:24301", true},
      {"rfc2217://127.0.0.1:24301", "rfc2217://127.0.0.1:024301", true},
      {"rfc2217://127.0.0.1:24301", "rfc2217://localhost:24301", true},
      {"rfc2217s://localhost:4101?ca=a.pem", "rfc2217s://127.0.0.1:4101?ca=/etc/b.pem", true},
      {"rfc2217s://127.0.0.1:4101", "rfc2217s://127.0.0.1:4101?ca=a.pem", true},
      {"rfc2217://127.0.0.1:24301", "rfc2217://127.0.0.1:24302", false},
      {"rfc2217://127.0.0.1:4101", "rfc2217s://127.0.0.1:4101", false},
      {"rfc2217://127.0.0.1:24301", "rfc2217://127.0.0.2:24301", false},
  };
  for (const Spellings& c : cases) {
    const PortStateName first = StateNameOfPort(c.first);
    const PortStateName second = StateNameOfPort(c.second);
    if (c.first != "/dev/pts/1" && c.second != "/dev/pts/1") {
      EXPECT_FALSE(first.Name.isEmpty() || second.Name.isEmpty()) << c.first << " " << c.second;
    }
    EXPECT_EQ(first.Name == second.Name, c.samePort)
        << c.first << " (" << first.Name.toStdString() << ") and " << c.second << " ("
        << second.Name.toStdString() << ")";
  }
}

TEST(PortStateName, APortThatIsNoDeviceGetsNoFileAndSavingSaysWhy) {
  const QTemporaryDir folder;
  const KeptSettingsStore store(folder.filePath("missing").toStdString());
  EXPECT_TRUE(store.Path().isEmpty());
  EXPECT_FALSE(store.Exists());
  EXPECT_EQ(store.Save({}), "the port " + folder.filePath("missing") +
                                " cannot be named (No such file or directory)");
}

}  // namespace
