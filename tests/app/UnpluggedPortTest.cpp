#include <gtest/gtest.h>

#include <unistd.h>

#include <QEventLoop>
#include <QFile>
#include <QListWidget>
#include <QTimer>
#include <ctime>
#include <filesystem>

#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "support/ProcessUsage.h"
#include "support/UnitSimProcess.h"

namespace {

constexpr int RunLimitMs = 300000;

// Points the fixed path the settings name at the unit's pseudo-terminal, as
// a by-id link follows an adapter that is plugged in again.
void PointAt(const QString& link, const UnitSimProcess& unit) {
  QFile::remove(link);
  ASSERT_EQ(symlink(unit.SlavePath().c_str(), link.toLocal8Bit().constData()), 0);
}

QString LastLogLine(const TMainForm& form) {
  const int count = form.ListBox1->count();
  return count > 0 ? form.ListBox1->item(count - 1)->text() : QString();
}

TEST(UnpluggedPort, RunEndsOnItsFailureLineAndTheNextStartWorksOnceThePortIsBack) {
  WorkingFolder folder;
  const QString port = folder.Path("port");
  auto unit = std::make_unique<UnitSimProcess>();
  PointAt(port, *unit);
  folder.WriteSettings(1, {{1, port.toStdString()}});
  TMainForm form;
  ASSERT_TRUE(form.CommsLink->IsOpen());

  // Pulls the adapter a little way into the transfer, from inside the run.
  std::size_t threadsWhileReceiving = 0;
  QTimer unplug;
  QObject::connect(&unplug, &QTimer::timeout, [&] {
    if (!LastLogLine(form).startsWith("Sending New Program Data......1")) return;
    unplug.stop();
    threadsWhileReceiving = ThreadCount();
    unit->Unplug();
  });
  unplug.start(10);
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs));
  ASSERT_GT(threadsWhileReceiving, 0u) << "the unit was unplugged during the transfer";
  EXPECT_EQ(LastLogLine(form), "Sending New Program Data......Error Detected");
  EXPECT_LT(ThreadCount(), threadsWhileReceiving) << "the receive thread has ended";

  const double cpuBefore = ProcessCpuSeconds();
  QEventLoop idle;
  QTimer::singleShot(1000, &idle, &QEventLoop::quit);
  idle.exec();
  EXPECT_LT(ProcessCpuSeconds() - cpuBefore, 0.5) << "nothing spins on the dead port";

  unit = std::make_unique<UnitSimProcess>();
  PointAt(port, *unit);
  form.ListBox1->clear();
  form.Button6Click();
  ASSERT_TRUE(ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs));
  EXPECT_EQ(LastLogLine(form), "Finalising Upgrade.....Done");
  const std::vector<uint8_t> memory = unit->StopAndReadMemory();
  ASSERT_EQ(memory.size(), 65536u);
  EXPECT_TRUE(std::equal(memory.begin() + 0x800, memory.end(), form.Image.Bytes.begin() + 0x800));
}

}  // namespace
