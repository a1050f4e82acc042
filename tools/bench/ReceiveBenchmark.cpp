// Measures the link's receive path on a pseudo-terminal: the time from the
// peer's write of a burst to the end of the UI thread's handling of it, and
// the processor time the program uses while it waits for a reply that never
// comes.
#include <QCoreApplication>
#include <QEventLoop>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include "comms/KovaComms.h"
#include "comms/RxCondition.h"
#include "support/PseudoTerminal.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int BurstCount = 1000;
constexpr uint16_t NeverAnsweredTicks = 99;  // about 10 s

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Milliseconds from each write until the chunk holding its last byte has
// been handled on the UI thread.
std::vector<double> MeasureBursts(TKovaComms& link, PseudoTerminal& peer, std::size_t size) {
  std::vector<double> latencies;
  const std::vector<uint8_t> burst(size, 0x55);
  std::size_t received = 0;
  QEventLoop loop;
  link.OnReceiveData = [&](std::span<const uint8_t> chunk) {
    received += chunk.size();
    if (received >= size) loop.quit();
  };
  for (int i = 0; i < BurstCount; ++i) {
    received = 0;
    const Clock::time_point written = Clock::now();
    peer.Write(burst);
    loop.exec();
    latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - written).count());
  }
  link.OnReceiveData = nullptr;
  std::sort(latencies.begin(), latencies.end());
  return latencies;
}

double WaitCpuSeconds(TKovaComms& link) {
  TRxCondition condition;
  const std::array<uint8_t, 1> start{0x01};
  condition.AddItem(1, start, false, 0, {}, false, 0, 1, 7);
  link.SetRxCondition(condition);
  link.ResetRxMatch();
  const std::array<uint8_t, 8> request{0x01, 0x03, 0x00, 0x14, 0x00, 0x02, 0x84, 0x0F};
  const double before = CpuSeconds();
  link.SendData(request, NeverAnsweredTicks);
  const int32_t result = link.WaitForResult();
  const double used = CpuSeconds() - before;
  link.ClearRxCondition();
  if (result != 0) std::fprintf(stderr, "unexpected result %d of the unanswered wait\n", result);
  return used;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  PseudoTerminal peer;
  peer.KeepSlaveOpen();
  TKovaComms link([&peer](int) { return peer.SlavePath(); });
  link.BaudRate = 115200;
  link.RxBufferSize = 500;
  if (!link.Open()) {
    std::fprintf(stderr, "cannot open %s\n", peer.SlavePath().c_str());
    return 1;
  }
  std::printf("receive path, %d bursts each (write to end of handling on the UI thread):\n",
              BurstCount);
  for (std::size_t size : {8u, 140u}) {
    const std::vector<double> latencies = MeasureBursts(link, peer, size);
    std::printf("  %3zu bytes: median %.3f ms, 99th percentile %.3f ms\n", size,
                latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100]);
  }
  const double cpu = WaitCpuSeconds(link);
  std::printf("processor time while waiting about 10 s for a reply that never comes: %.3f s\n",
              cpu);
  link.Close();
  return 0;
}
