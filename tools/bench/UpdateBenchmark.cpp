// Runs whole updates of the shipped product in the real main window
// (offscreen) against unit-sim, which gives every byte its time on a
// 115200 bit/s line and needs no time of its own to erase or program.
// Prints the total time of each run, the lower bound that the line and the
// update's required pauses set, the program's overhead per exchange (from
// the end of a reply on the line to the program taking the link for the
// next request, less the required pause), and its processor time. With
// --echo the line gives back every byte the program sends, and the echoed
// bytes' own line time is shown beside the bound.
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <vector>

#include "ExchangeTiming.h"
#include "LinkTakingView.h"
#include "TimedTranscript.h"
#include "app/BootloadApplication.h"
#include "app/Main1.h"
#include "app/WorkingFolder.h"
#include "support/UnitSimProcess.h"
#include "update/UpdateEngine.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int DefaultRuns = 3;
constexpr int RunLimitMs = 300000;
constexpr double OverheadTargetMs = 1.5;
constexpr double CpuTargetShare = 0.10;
const QString FinalLogLine = QStringLiteral("Finalising Upgrade.....Done");

double ClockSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

struct RunFigures {
  double totalSeconds = 0;
  double cpuSeconds = 0;
  LineTraffic line;
  ExchangeTiming exchanges;
};

RunFigures RunOneUpdate(bool echo) {
  UnitSimProcess unit(echo ? QStringList{"--pace", "--timestamps", "--echo"}
                           : QStringList{"--pace", "--timestamps"});
  WorkingFolder folder;
  folder.WriteSettings(1, {{1, unit.SlavePath()}});
  // Read on the same clock as the unit's timestamps.
  ProgramMoments moments;
  LinkTakingView engineView(
      [&moments] { moments.linkTaken.push_back(ClockSeconds(CLOCK_MONOTONIC)); });
  TMainForm form(ResourceStore(), [&engineView](UpdateView& window) {
    engineView.Wrap(window);
    return std::make_unique<UpdateEngine>(engineView);
  });
  if (!form.CommsLink || !form.CommsLink->IsOpen()) {
    throw std::runtime_error("the window did not open the unit's port");
  }
  form.CommsLink->OnReceiveData = [&moments](std::span<const uint8_t>) {
    moments.replyHandled.push_back(ClockSeconds(CLOCK_MONOTONIC));
  };
  RunFigures figures;
  const double cpuBefore = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const Clock::time_point start = Clock::now();
  form.Button6Click();
  if (!ProcessEventsUntil([&] { return !form.IsRunInProgress(); }, RunLimitMs)) {
    throw std::runtime_error("the update did not end within 5 minutes");
  }
  figures.totalSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  figures.cpuSeconds = ClockSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore;
  const int lines = form.ListBox1->count();
  if (lines == 0 || form.ListBox1->item(lines - 1)->text() != FinalLogLine) {
    throw std::runtime_error("the update failed: " +
                             (lines == 0 ? std::string("empty log")
                                         : form.ListBox1->item(lines - 1)->text().toStdString()));
  }
  const std::vector<TranscriptRecord> records = ParseTimedTranscript(unit.Transcript());
  figures.line = CountLineTraffic(records);
  figures.exchanges = TimeExchanges(records, moments, form.Identity.ModelReadDelay);
  if (figures.exchanges.overheadMs.empty()) {
    throw std::runtime_error("the transcript shows no answered request followed by another");
  }
  return figures;
}

double Percentile(std::vector<double> values, double share) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

void PrintRun(int number, const RunFigures& run) {
  const double bound = run.line.seconds + run.exchanges.fixedPauseSeconds;
  std::printf(
      "run %d: total %.3f s, bound %.3f s, overhead %.3f s; per exchange median %.3f ms, "
      "99th percentile %.3f ms; CPU %.3f s (%.1f%%)\n",
      number, run.totalSeconds, bound, run.totalSeconds - bound,
      Percentile(run.exchanges.overheadMs, 0.5), Percentile(run.exchanges.overheadMs, 0.99),
      run.cpuSeconds, 100.0 * run.cpuSeconds / run.totalSeconds);
}

void PrintSummary(const std::vector<RunFigures>& runs) {
  const RunFigures& first = runs.front();
  std::printf("\neach run of \"%s\": %zu requests;",
              TBootloadApplication::Title().toUtf8().constData(), first.exchanges.requests);
  for (const auto& [speed, bytes] : first.line.bytesBySpeed) {
    std::printf(" %zu bytes at %u bit/s,", bytes, speed);
  }
  std::printf(" both directions\n");
  const std::string pauses = "fixed pauses (" + std::to_string(first.exchanges.phaseEnds) +
                             " phase ends, " + std::to_string(first.exchanges.readDelays) +
                             " read delays)";
  std::printf("  %-44s %8.3f s\n", "line time (10 bits a byte / bit rate)", first.line.seconds);
  std::printf("  %-44s %8.3f s\n", pauses.c_str(), first.exchanges.fixedPauseSeconds);
  std::printf("  %-44s %8.3f s\n", "lower bound",
              first.line.seconds + first.exchanges.fixedPauseSeconds);
  if (first.line.echoSeconds > 0) {
    std::printf("  %-44s %8.3f s\n", "echoed bytes' own line time (not in the bound)",
                first.line.echoSeconds);
  }

  std::vector<double> overheads;
  std::vector<double> receives;
  std::vector<double> turnarounds;
  std::vector<double> hearings;
  double total = 0;
  double cpu = 0;
  for (const RunFigures& run : runs) {
    const ExchangeTiming& timing = run.exchanges;
    overheads.insert(overheads.end(), timing.overheadMs.begin(), timing.overheadMs.end());
    receives.insert(receives.end(), timing.receiveMs.begin(), timing.receiveMs.end());
    turnarounds.insert(turnarounds.end(), timing.turnaroundMs.begin(), timing.turnaroundMs.end());
    hearings.insert(hearings.end(), timing.hearingMs.begin(), timing.hearingMs.end());
    total += run.totalSeconds;
    cpu += run.cpuSeconds;
  }
  const double median = Percentile(overheads, 0.5);
  const double share = cpu / total;
  std::printf("\nall %zu runs: mean total %.3f s; per exchange (%zu exchanges):\n", runs.size(),
              total / static_cast<double>(runs.size()), overheads.size());
  const auto printShare = [](const char* what, const std::vector<double>& values) {
    std::printf("  %-36s median %.3f ms, 99th percentile %.3f ms\n", what, Percentile(values, 0.5),
                Percentile(values, 0.99));
  };
  printShare("program's overhead", overheads);
  printShare("  receiving the reply's last bytes", receives);
  printShare("  turning round to the next request", turnarounds);
  printShare("then, the unit hearing the request", hearings);
  std::printf("  target: median overhead at most %.1f ms: %s\n", OverheadTargetMs,
              median <= OverheadTargetMs ? "met" : "missed");
  std::printf("program CPU time: %.3f s of %.3f s, %.1f%% (target under %.0f%%: %s)\n", cpu, total,
              100.0 * share, 100.0 * CpuTargetShare, share < CpuTargetShare ? "met" : "missed");
}

struct BenchOptions {
  int runs = DefaultRuns;
  bool echo = false;
};

BenchOptions OptionsAsked(int argc, char** argv) {
  BenchOptions options;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--echo") {
      options.echo = true;
      continue;
    }
    options.runs = std::atoi(argv[i]);
    if (options.runs < 1) {
      throw std::invalid_argument("usage: bench_update [RUNS] [--echo], RUNS at least 1");
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  TBootloadApplication app(argc, argv);
  try {
    const BenchOptions options = OptionsAsked(argc, argv);
    std::printf(
        "whole updates against unit-sim, paced at the line's rate both ways, zero device "
        "time%s\n",
        options.echo ? ", on a line that echoes" : "");
    std::vector<RunFigures> figures;
    for (int i = 1; i <= options.runs; ++i) {
      figures.push_back(RunOneUpdate(options.echo));
      PrintRun(i, figures.back());
      std::fflush(stdout);
    }
    PrintSummary(figures);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_update: %s\n", error.what());
    return 1;
  }
  return 0;
}
