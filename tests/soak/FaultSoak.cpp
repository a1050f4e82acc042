// Runs whole updates in a row in one process, each in the real main window
// (offscreen) against its own unit-sim with faults drawn from a seed, and
// checks after every run: the last log line is the one its faults call for,
// a run that logged success left the unit's memory equal to the image, the
// deciding fault did happen, and open descriptors, threads and heap have not
// grown since the first run.
// Usage: fault_soak [RUNS [SEED]]: 100 runs and seed 1 unless told.
#include <QListWidget>
#include <QRegularExpression>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "ProcessResources.h"
#include "SoakPlan.h"
#include "app/BootloadApplication.h"
#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "support/UnitSimProcess.h"

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

struct RunOutcome {
  QString lastLine;
  bool memoryEqualsImage = false;
  // The unit's transcript lines of the faults it applied.
  QStringList faults;
  UpdateShape requests;
  double seconds = 0;
};

int CountLines(const QStringList& transcript, const QString& pattern) {
  return static_cast<int>(transcript.filter(QRegularExpression(pattern)).size());
}

RunOutcome RunUpdate(const QStringList& unitOptions) {
  UnitSimProcess unit(unitOptions);
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  RunOutcome outcome;
  std::vector<uint8_t> image;
  {
    TMainForm form;
    if (!form.CommsLink || !form.CommsLink->IsOpen()) {
      throw std::runtime_error("the window did not open the unit's port");
    }
    const Clock::time_point start = Clock::now();
    form.Button6Click();
    if (!ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs)) {
      throw std::runtime_error("the update did not end within 5 minutes");
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const int lines = form.ListBox1->count();
    outcome.lastLine = lines > 0 ? form.ListBox1->item(lines - 1)->text() : QString();
    image.assign(form.Image.Bytes.begin(), form.Image.Bytes.end());
  }
  const std::vector<uint8_t> memory = unit.StopAndReadMemory();
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
    const RunOutcome outcome = RunUpdate(plan.UnitOptions());
    const ProcessResources now = MeasureProcessResources();
    last_ = now;
    peakHeap_ = std::max(peakHeap_, now.heapBytes);
    peakResident_ = std::max(peakResident_, now.residentBytes);
    const bool success = plan.lastLine == SuccessLine;
    Check(outcome.lastLine == plan.lastLine,
          QString("run %1 (%2) ended with \"%3\", not \"%4\"")
              .arg(number)
              .arg(plan.Description(), outcome.lastLine, plan.lastLine));
    Check(!success || outcome.memoryEqualsImage,
          QString("run %1 (%2) logged success but the memory differs from the image")
              .arg(number)
              .arg(plan.Description()));
    if (plan.deciding) {
      const FaultSwitch& fault = *plan.deciding;
      Check(outcome.faults.contains(
                QString("fault %1 %2 %3").arg(fault.kind, fault.what).arg(fault.occurrence)),
            QString("run %1: the unit never applied %2").arg(number).arg(fault.Text()));
    }
    Check(now.openFiles <= first_.openFiles && now.threads <= first_.threads &&
              now.heapBytes <= first_.heapBytes + HeapSlack,
          QString("run %1 (%2) left %3, after the first run %4")
              .arg(number)
              .arg(plan.Description(), Describe(now), Describe(first_)));
    faults_ += static_cast<int>(plan.harmless.size()) + (plan.deciding ? 1 : 0);
    Tally(outcome.lastLine, success);
    std::printf("run %d: %s -> %s, %.1f s; %s\n", number, qUtf8Printable(plan.Description()),
                qUtf8Printable(outcome.lastLine), outcome.seconds, qUtf8Printable(Describe(now)));
    std::fflush(stdout);
  }

  // Prints the summary; true when every check held.
  bool Summarise(int runs) const {
    std::printf("\n%d runs, seed %u, %d faults injected after the fault-free first run\n", runs,
                seed_, faults_);
    for (const auto& [line, count] : lastLines_) {
      std::printf("  %3d ended \"%s\"\n", count, qUtf8Printable(line));
    }
    std::printf("success logged %d times, the memory equal to the image every time: %s\n",
                successes_, failures_.isEmpty() ? "yes" : "see below");
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
    if (success) ++successes_;
  }

  uint32_t seed_;
  ProcessResources first_;
  ProcessResources last_;
  std::size_t peakHeap_ = 0;
  std::size_t peakResident_ = 0;
  int faults_ = 0;
  int successes_ = 0;
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
