// Runs whole updates in a row in one process, each in the real main window
// (offscreen) against its own unit-sim with faults drawn from a seed, and
// checks after every run: the last log line is the one its faults call for,
// a run that logged success left the unit's memory equal to the image, the
// deciding fault did happen, and open descriptors, threads and heap have not
// grown since the first run. Some runs update the settings-keeping unit and
// are stopped mid-erase or mid-programming, then run again on a unit started
// from the memory left and in its boot loader, until one completes: it must
// leave the image in memory and the settings the unit had at the start.
// Usage: fault_soak [RUNS [SEED]]: 100 runs and seed 1 unless told.
#include <QFile>
#include <QListWidget>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProcessResources.h"
#include "SoakPlan.h"
#include "app/BootloadApplication.h"
#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "modbus/ModBusPro.h"
#include "support/UnitSimProcess.h"
#include "update/KeptSettingsStore.h"
#include "update/ProductRoles.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int DefaultRuns = 100;
constexpr uint32_t DefaultSeed = 1;
constexpr int RunLimitMs = 300000;
constexpr std::size_t ApplicationStart = 0x0800;
constexpr std::size_t MemorySize = 0x10000;
// Room for what the toolkit still takes for itself after the first run
// (caches filled on first use, some 30 KiB); 64 bytes lost on every one of
// an update's 628 exchanges outgrow it within seven runs.
constexpr std::size_t HeapSlack = std::size_t{256} * 1024;
constexpr std::size_t BytesPerKiB = 1024;
constexpr double BytesPerMiB = 1024.0 * 1024.0;
constexpr uint16_t CommandRegister = 29;
constexpr uint16_t CommitKey = 0x7E59;
const QString KeptSettingsNote = QStringLiteral("Kept settings ");

// The kept settings: slave 17 register 24, slave 19 registers 22 to 32 and
// slave 20 registers 7 to 28.
struct SettingsRange {
  uint8_t slave;
  uint16_t first;
  uint16_t count;
};
constexpr SettingsRange KeptRanges[] = {{17, 24, 1}, {19, 22, 11}, {20, 7, 22}};

// What unit-sim starts a unit's settings with, slave x 100 + register, and
// the command register as the commit leaves it.
std::vector<uint16_t> StartSettings() {
  std::vector<uint16_t> values;
  for (const SettingsRange& range : KeptRanges) {
    for (uint16_t reg = range.first; reg < range.first + range.count; ++reg) {
      const bool command = range.slave == 19 && reg == CommandRegister;
      values.push_back(command ? CommitKey : static_cast<uint16_t>(range.slave * 100 + reg));
    }
  }
  return values;
}

std::optional<std::vector<uint16_t>> ReadSettings(TKovaComms& link) {
  std::vector<uint16_t> values;
  for (const SettingsRange& range : KeptRanges) {
    std::vector<uint16_t> part(range.count);
    if (ReadRegistersRetry({link, 0}, range.slave, 3, range.first, range.count, part) != 1) {
      return std::nullopt;
    }
    values.insert(values.end(), part.begin(), part.end());
  }
  return values;
}

// Where a run's unit is: on the port COM1 names, a link to the unit's
// pseudo-terminal when given, and whether it is the settings-keeping model 1105 at version 109.
struct RunSetup {
  QString portLink;
  bool keepsSettings = false;
};

struct RunOutcome {
  QString lastLine;
  bool memoryEqualsImage = false;
  std::vector<uint8_t> memory;
  // The last line on the kept settings, if any.
  QString lastNote;
  // Read after a run that logged success, of the settings-keeping unit.
  std::optional<std::vector<uint16_t>> settings;
  // The unit's transcript lines of the faults it applied.
  QStringList faults;
  UpdateShape requests;
  double seconds = 0;
};

int CountLines(const QStringList& transcript, const QString& pattern) {
  return static_cast<int>(transcript.filter(QRegularExpression(pattern)).size());
}

RunOutcome RunUpdate(const QStringList& unitOptions, const RunSetup& setup = {}) {
  UnitSimProcess unit(unitOptions);
  WorkingFolder folder;
  std::string port = unit.SlavePath();
  if (!setup.portLink.isEmpty()) {
    QFile::remove(setup.portLink);
    if (!QFile::link(QString::fromStdString(port), setup.portLink)) {
      throw std::runtime_error("the link to the unit's port cannot be made");
    }
    port = setup.portLink.toStdString();
  }
  folder.WriteSettings(1, {{1, port}});
  RunOutcome outcome;
  std::vector<uint8_t> image;
  {
    TMainForm form;
    if (!form.CommsLink || !form.CommsLink->IsOpen()) {
      throw std::runtime_error("the window did not open the unit's port");
    }
    if (setup.keepsSettings) {
      // What Load File sets for a file of that model.
      form.Identity.RmNumber = SettingsCarryModel;
      form.Identity.ExpectedModel = SettingsCarryModel;
    }
    const Clock::time_point start = Clock::now();
    form.Button6Click();
    if (!ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs)) {
      throw std::runtime_error("the update did not end within 5 minutes");
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    // The update's own last line; the lines on the kept settings follow it.
    for (int line = 0; line < form.ListBox1->count(); ++line) {
      const QString text = form.ListBox1->item(line)->text();
      (text.startsWith(KeptSettingsNote) ? outcome.lastNote : outcome.lastLine) = text;
    }
    image.assign(form.Image.Bytes.begin(), form.Image.Bytes.end());
    // The link stays at the firmware's speed after a run that completed.
    if (setup.keepsSettings && outcome.lastLine == SuccessLine) {
      outcome.settings = ReadSettings(*form.CommsLink);
    }
  }
  outcome.memory = unit.StopAndReadMemory();
  const std::vector<uint8_t>& memory = outcome.memory;
  outcome.memoryEqualsImage =
      memory.size() == MemorySize && image.size() == MemorySize &&
      std::equal(memory.begin() + ApplicationStart, memory.end(), image.begin() + ApplicationStart);
  const QStringList transcript = unit.Transcript();
  outcome.faults = transcript.filter(QRegularExpression("^fault "));
  outcome.requests = {CountLines(transcript, "^rx 115200 10 02 03 08 "),
                      CountLines(transcript, "^rx 115200 10 02 02 02 ")};
  // Whatever the window left for later deletion goes before the count.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return outcome;
}

double MiB(std::size_t bytes) {
  return static_cast<double>(bytes) / BytesPerMiB;
}

class Soak {
 public:
  explicit Soak(uint32_t seed) : seed_(seed) {}

  // A run without faults: the reference for the update's shape and for the
  // resources every later run is compared with.
  UpdateShape Reference() {
    const RunOutcome outcome = RunUpdate({});
    first_ = MeasureProcessResources();
    Check(outcome.lastLine == SuccessLine, "the fault-free run ended with " + outcome.lastLine);
    Check(outcome.memoryEqualsImage, "the fault-free run left the memory unlike the image");
    const UpdateShape shape = outcome.requests;
    if (shape.erases < 2 || shape.rows < 2) {
      throw std::runtime_error("the fault-free run made too few erase or row requests");
    }
    std::printf("run 1: no faults -> %s, %.1f s; %d erase and %d row requests; %s\n",
                qUtf8Printable(outcome.lastLine), outcome.seconds, shape.erases, shape.rows,
                qUtf8Printable(Describe(first_)));
    Tally(outcome.lastLine, true);
    return shape;
  }

  void Run(int number, const RunPlan& plan) {
    const RunOutcome outcome =
        plan.KeepsSettings() ? RunKeptSettings(number, plan) : RunFaulted(number, plan);
    const ProcessResources now = MeasureProcessResources();
    last_ = now;
    peakHeap_ = std::max(peakHeap_, now.heapBytes);
    peakResident_ = std::max(peakResident_, now.residentBytes);
    Check(now.openFiles <= first_.openFiles && now.threads <= first_.threads &&
              now.heapBytes <= first_.heapBytes + HeapSlack,
          QString("run %1 (%2) left %3, after the first run %4")
              .arg(number)
              .arg(plan.Description(), Describe(now), Describe(first_)));
    std::printf("run %d: %s -> %s, %.1f s; %s\n", number, qUtf8Printable(plan.Description()),
                qUtf8Printable(outcome.lastLine), outcome.seconds, qUtf8Printable(Describe(now)));
    std::fflush(stdout);
  }

  // Prints the summary; true when every check held.
  bool Summarise(int runs) const {
    std::printf(
        "\n%d runs (%d updates in the window), seed %u, %d faults injected after the fault-free "
        "first run\n",
        runs, updates_, seed_, faults_);
    for (const auto& [line, count] : lastLines_) {
      std::printf("  %3d ended \"%s\"\n", count, qUtf8Printable(line));
    }
    std::printf("success logged %d times, the memory equal to the image every time: %s\n",
                successes_, failures_.isEmpty() ? "yes" : "see below");
    std::printf(
        "%d of the runs updated the settings-keeping unit, stopped %d times in all before the "
        "attempt that completed; every one left the settings the unit had: %s\n",
        keptRuns_, stops_, failures_.isEmpty() ? "yes" : "see below");
    std::printf(
        "after the last run: %d descriptors, %d threads (first run %d, %d); heap %zu KiB, at "
        "most %zu KiB (first run %zu KiB); resident %.1f MiB, at most %.1f MiB (first run "
        "%.1f MiB)\n",
        last_.openFiles, last_.threads, first_.openFiles, first_.threads,
        last_.heapBytes / BytesPerKiB, peakHeap_ / BytesPerKiB, first_.heapBytes / BytesPerKiB,
        MiB(last_.residentBytes), MiB(peakResident_), MiB(first_.residentBytes));
    for (const QString& failure : failures_) std::printf("FAILED: %s\n", qUtf8Printable(failure));
    std::printf("%s\n", failures_.isEmpty() ? "every run ended as its faults call for, nothing lost"
                                            : "the soak failed");
    return failures_.isEmpty();
  }

 private:
  RunOutcome RunFaulted(int number, const RunPlan& plan) {
    RunOutcome outcome = RunUpdate(plan.UnitOptions());
    const bool success = plan.lastLine == SuccessLine;
    Check(outcome.lastLine == plan.lastLine,
          QString("run %1 (%2) ended with \"%3\", not \"%4\"")
              .arg(number)
              .arg(plan.Description(), outcome.lastLine, plan.lastLine));
    Check(!success || outcome.memoryEqualsImage,
          QString("run %1 (%2) logged success but the memory differs from the image")
              .arg(number)
              .arg(plan.Description()));
    if (plan.deciding) CheckApplied(number, outcome, *plan.deciding);
    faults_ += static_cast<int>(plan.harmless.size()) + (plan.deciding ? 1 : 0);
    Tally(outcome.lastLine, success);
    return outcome;
  }

  // Attempts on the settings-keeping unit, each on a unit started from the
  // memory the one before left and in its boot loader, all on one port;
  // the outcome is the last attempt's, its time that of all of them.
  RunOutcome RunKeptSettings(int number, const RunPlan& plan) {
    const QString memoryFile = folder_.filePath("memory-left.bin");
    const RunSetup setup{folder_.filePath("bench-port"), true};
    // One device for every attempt, as the kept settings' file is named after it.
    const HeldPort port;
    QFile::remove(setup.portLink);
    QFile::link(QString::fromStdString(port.Path()), setup.portLink);
    const KeptSettingsStore store(setup.portLink.toStdString());
    RunOutcome outcome;
    double seconds = 0;
    for (std::size_t attempt = 0; attempt <= plan.interruptions.size(); ++attempt) {
      QStringList options = port.Options();
      options << "--model" << QString::number(SettingsCarryModel) << "--version"
              << "109";
      if (attempt > 0)
        options << "--start-in-boot-loader"
                << "--memory-in" << memoryFile;
      const bool stopped = attempt < plan.interruptions.size();
      if (stopped) options << "--fault" << plan.interruptions[attempt].Text();
      outcome = RunUpdate(options, setup);
      seconds += outcome.seconds;
      const QString expected = stopped ? StoppedLine(plan.interruptions[attempt]) : SuccessLine;
      const QString what =
          QString("run %1 (%2), attempt %3").arg(number).arg(plan.Description()).arg(attempt + 1);
      Check(outcome.lastLine == expected,
            QString("%1 ended with \"%2\", not \"%3\"").arg(what, outcome.lastLine, expected));
      if (stopped) {
        CheckApplied(number, outcome, plan.interruptions[attempt]);
        Check(store.Exists(), what + " left no kept settings in " + store.Path());
      } else {
        Check(outcome.memoryEqualsImage,
              what + " logged success but the memory differs from the image");
        Check(outcome.settings == StartSettings(),
              what + " logged success but the unit's settings are not those it had");
        Check(outcome.lastNote == "Kept settings written back; " + store.Path() + " removed" &&
                  !store.Exists(),
              what + " logged success but left " + store.Path() + ": " + outcome.lastNote);
      }
      QFile left(memoryFile);
      if (!left.open(QIODevice::WriteOnly) ||
          left.write(reinterpret_cast<const char*>(outcome.memory.data()),
                     static_cast<qint64>(outcome.memory.size())) !=
              static_cast<qint64>(outcome.memory.size())) {
        throw std::runtime_error("the memory left cannot be written to " +
                                 memoryFile.toStdString());
      }
      faults_ += stopped ? 1 : 0;
      stops_ += stopped ? 1 : 0;
      Tally(outcome.lastLine, !stopped);
    }
    ++keptRuns_;
    outcome.seconds = seconds;
    return outcome;
  }

  void CheckApplied(int number, const RunOutcome& outcome, const FaultSwitch& fault) {
    Check(outcome.faults.contains(
              QString("fault %1 %2 %3").arg(fault.kind, fault.what).arg(fault.occurrence)),
          QString("run %1: the unit never applied %2").arg(number).arg(fault.Text()));
  }

  static QString Describe(const ProcessResources& resources) {
    return QString("%1 fds, %2 threads, heap %3 KiB, resident %4 MiB")
        .arg(resources.openFiles)
        .arg(resources.threads)
        .arg(resources.heapBytes / BytesPerKiB)
        .arg(MiB(resources.residentBytes), 0, 'f', 1);
  }

  void Check(bool holds, const QString& failure) {
    if (holds) return;
    failures_.append(failure);
    std::printf("FAILED: %s\n", qUtf8Printable(failure));
  }

  void Tally(const QString& lastLine, bool success) {
    ++lastLines_[lastLine];
    ++updates_;
    if (success) ++successes_;
  }

  uint32_t seed_;
  // Holds the port link and the memory left between the attempts.
  QTemporaryDir folder_;
  ProcessResources first_;
  ProcessResources last_;
  std::size_t peakHeap_ = 0;
  std::size_t peakResident_ = 0;
  int faults_ = 0;
  int successes_ = 0;
  int updates_ = 0;
  int keptRuns_ = 0;
  int stops_ = 0;
  std::map<QString, int> lastLines_;
  QStringList failures_;
};

template <typename T>
T Argument(int argc, char** argv, int index, T fallback) {
  if (argc <= index) return fallback;
  char* end = nullptr;
  const long long value = std::strtoll(argv[index], &end, 10);
  if (*end != '\0' || value < 1) {
    throw std::invalid_argument("usage: fault_soak [RUNS [SEED]], both whole numbers from 1 up");
  }
  return static_cast<T>(value);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TBootloadApplication app(argc, argv);
  // The kept settings go to a folder of this soak, not the user's.
  const QTemporaryDir state;
  qputenv("XDG_STATE_HOME", state.path().toUtf8());
  try {
    const int runs = Argument(argc, argv, 1, DefaultRuns);
    const uint32_t seed = Argument(argc, argv, 2, DefaultSeed);
    std::printf("fault soak: %d whole updates in one process against unit-sim, seed %u\n", runs,
                seed);
    Soak soak(seed);
    SoakPlanner planner(seed, soak.Reference());
    for (int number = 2; number <= runs; ++number) soak.Run(number, planner.Next());
    return soak.Summarise(runs) ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fault_soak: %s\n", error.what());
    return 1;
  }
}
