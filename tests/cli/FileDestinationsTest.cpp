#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QFile>
#include <QRegularExpression>
#include <vector>

#include "cli/CliRun.h"
#include "support/UnitSimProcess.h"

namespace {

// A trace that cannot go where it is asked is a bad command line, found
// before any unit is touched, as the record's destination is.
TEST_F(BootloadCli, ATraceWithNowhereToGoIsRefusedFirstAndOneNotWrittenIsSaid) {
  UnitSimProcess unit;
  const QString port = QString::fromStdString(unit.SlavePath());
  const QString fifo = folder.filePath("fifo");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const QString record = JsonPath();
  QFile kept(record);
  ASSERT_TRUE(kept.open(QIODevice::WriteOnly));
  kept.write("{\"earlier\":1}\n");
  kept.close();
  // Files the run reads: a trace named after one would empty it.
  const QString image = folder.filePath("firmware.hex");
  const QString settings = folder.filePath("kept-settings.json");
  for (const QString& input : {image, settings}) {
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("input\n");
  }
  const std::vector<std::pair<QStringList, QString>> cases{
      {{"--trace", fifo}, "no program is reading that FIFO"},
      {{"--trace", folder.filePath("missing/unit.trace")}, "No such file or directory"},
      {{"--trace", record, "--json", record}, "it is the file --json writes the record to"},
      {{"--trace", folder.filePath("./units.json"), "--json", record},
       "it is the file --json writes the record to"},
      {{"--trace", image, "--image", image, "--processor", "4680", "--rm", "4001"},
       "it is the firmware file --image reads"},
      {{"--trace", settings, "--restore-settings", settings},
       "it is the kept-settings file --restore-settings reads"},
  };
  for (const auto& [options, cause] : cases) {
    const CliRun run = RunCli(QStringList{"--port", port} + options, folder.path());
    EXPECT_EQ(run.exitCode, 2) << cause.toStdString();
    EXPECT_TRUE(run.err.startsWith("bootload-cli: cannot write the trace to " + options[1] + ": " +
                                   cause + "; "))
        << run.err.toStdString();
  }
  EXPECT_TRUE(unit.HeardFrames().isEmpty());
  kept.open(QIODevice::ReadOnly);
  EXPECT_EQ(kept.readAll(), "{\"earlier\":1}\n") << "the record's file is left as it was";
  for (const QString& input : {image, settings}) {
    QFile file(input);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "input\n") << input.toStdString() << " is left as it was";
  }

  const CliRun full = RunCli({"--port", port, "--trace", "/dev/full"}, folder.path());
  EXPECT_EQ(full.exitCode, 1) << "the run completed, but its trace is lost";
  EXPECT_TRUE(full.out.contains(port + ": updated"));
  EXPECT_TRUE(
      full.err.contains("bootload-cli: the trace in /dev/full is incomplete: No space "
                        "left on device"))
      << full.err.toStdString();
}

}  // namespace
