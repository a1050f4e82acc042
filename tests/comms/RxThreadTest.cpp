#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QObject>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "comms/RxThread.h"
#include "comms/SerialDevice.h"
#include "comms/StopSignal.h"
#include "support/ProcessUsage.h"
#include "support/PseudoTerminal.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr auto Generous = 10s;

// The message target: keeps every chunk the receive thread posts.
class ChunkCollector : public QObject {
 public:
  std::vector<Bytes> blocks;
  std::vector<Bytes> chunks;

  std::size_t TotalBytes() const {
    std::size_t total = 0;
    for (const Bytes& chunk : chunks) total += chunk.size();
    return total;
  }

  Bytes Concatenated() const {
    Bytes all;
    for (const Bytes& chunk : chunks) all.insert(all.end(), chunk.begin(), chunk.end());
    return all;
  }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != WM_RX_DATA) return QObject::event(event);
    const auto& data = static_cast<const TRxDataEvent&>(*event);
    blocks.push_back(data.Block());
    chunks.emplace_back(data.Bytes().begin(), data.Bytes().end());
    return true;
  }
};

// Delivers posted events until done holds or the limit passes.
bool ProcessEventsUntil(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + Generous;
  for (;;) {
    QCoreApplication::processEvents();
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(1ms);
  }
}

Bytes Pattern(std::size_t size, uint8_t seed) {
  Bytes bytes(size);
  // 251 is prime, so the pattern does not line up with any chunk size.
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i + seed) % 251);
  return bytes;
}

class RxThreadTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(device.Open(pty.SlavePath()), SerialDevice::OpenResult::Opened);
    device.Configure(LineSettings{115200});
    threadsBefore = ThreadCount();
    rx = std::make_unique<TRxThread>(device.Descriptor(), stop, collector);
  }

  // As the link does: the stop first, then the join.
  void TearDown() override {
    stop.Signal();
    rx.reset();
  }

  bool ThreadEnded() {
    return ProcessEventsUntil([this] { return ThreadCount() == threadsBefore; });
  }

  // The peer's side, so that a write tells when the line takes no more.
  int NonBlockingMaster() {
    const int master = pty.MasterFd();
    EXPECT_EQ(fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK), 0);
    return master;
  }

  bool Received(std::size_t total) {
    return ProcessEventsUntil([this, total] { return collector.TotalBytes() >= total; });
  }

  PseudoTerminal pty;
  SerialDevice device;
  StopSignal stop;
  ChunkCollector collector;
  std::size_t threadsBefore = 0;
  std::unique_ptr<TRxThread> rx;
};

TEST_F(RxThreadTest, BurstArrivesAsOneChunkFollowedByAZeroByte) {
  const Bytes reply = Pattern(8, 1);
  const Bytes longReply = Pattern(140, 2);

  pty.Write(reply);
  ASSERT_TRUE(Received(reply.size()));
  pty.Write(longReply);
  ASSERT_TRUE(Received(reply.size() + longReply.size()));

  ASSERT_EQ(collector.chunks.size(), 2u);
  EXPECT_EQ(collector.chunks[0], reply);
  EXPECT_EQ(collector.chunks[1], longReply);
  for (const Bytes& block : collector.blocks) {
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block.back(), 0);
  }
  EXPECT_EQ(collector.blocks[0].size(), reply.size() + 1);
  EXPECT_EQ(collector.blocks[1].size(), longReply.size() + 1);
}

TEST_F(RxThreadTest, BurstsWithPausesArriveAsSeparateChunksInOrder) {
  const std::vector<Bytes> bursts = {Pattern(5, 10), Pattern(17, 20), Pattern(33, 30)};
  std::size_t total = 0;
  for (const Bytes& burst : bursts) {
    pty.Write(burst);
    total += burst.size();
    std::this_thread::sleep_for(50ms);
  }

  ASSERT_TRUE(Received(total));
  EXPECT_EQ(collector.chunks, bursts);
}

TEST_F(RxThreadTest, FloodArrivesCompleteAndInOrderInChunksOfAtMost16384) {
  const Bytes flood = Pattern(100000, 0);
  pty.Write(flood);

  ASSERT_TRUE(Received(flood.size()));
  EXPECT_EQ(collector.Concatenated(), flood);
  EXPECT_GE(collector.chunks.size(), flood.size() / TRxThread::ReadBufferSize + 1);
  for (std::size_t i = 0; i < collector.chunks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_GE(collector.chunks[i].size(), 1u);
    EXPECT_LE(collector.chunks[i].size(), TRxThread::ReadBufferSize);
    EXPECT_EQ(collector.blocks[i].size(), collector.chunks[i].size() + 1);
    EXPECT_EQ(collector.blocks[i].back(), 0);
  }
}

// Writes bytes from written on without blocking until all are written or
// the line has taken nothing for quiet; returns the new count written.
std::size_t WriteUntilRefused(int fd, const Bytes& bytes, std::size_t written,
                              std::chrono::milliseconds quiet) {
  while (written < bytes.size()) {
    pollfd line{fd, POLLOUT, 0};
    if (poll(&line, 1, static_cast<int>(quiet.count())) == 0) break;
    const ssize_t n =
        write(fd, bytes.data() + written, std::min<std::size_t>(bytes.size() - written, 4096));
    if (n > 0) written += static_cast<std::size_t>(n);
  }
  return written;
}

TEST_F(RxThreadTest, FloodNobodyHandlesStopsReadingAtTheLimitAndGoesOnOnceHandled) {
  const int master = NonBlockingMaster();
  const Bytes flood = Pattern(3 * TRxThread::MaxPendingBytes, 4);

  // The UI thread handles nothing while it writes.
  std::size_t written = WriteUntilRefused(master, flood, 0, 1s);
  EXPECT_LT(written, flood.size()) << "the receive thread read on without limit";
  QCoreApplication::processEvents();
  EXPECT_LE(collector.TotalBytes(), TRxThread::MaxPendingBytes + TRxThread::ReadBufferSize);

  // Handled as it arrives, the rest comes through complete and in order.
  const auto deadline = std::chrono::steady_clock::now() + 6 * Generous;
  while (collector.TotalBytes() < flood.size() && std::chrono::steady_clock::now() < deadline) {
    written = WriteUntilRefused(master, flood, written, 1ms);
    QCoreApplication::processEvents();
  }
  EXPECT_EQ(collector.Concatenated(), flood);
}

TEST_F(RxThreadTest, StopEndsTheThreadWhileItWaitsForItsChunksToBeHandled) {
  WriteUntilRefused(NonBlockingMaster(), Pattern(2 * TRxThread::MaxPendingBytes, 5), 0, 1s);
  stop.Signal();
  // Nothing is handled meanwhile: the stop alone must end the thread.
  const auto deadline = std::chrono::steady_clock::now() + Generous;
  while (ThreadCount() != threadsBefore && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(ThreadCount(), threadsBefore);
}

TEST_F(RxThreadTest, StopEndsTheThreadWhileItWaitsForInput) {
  ASSERT_EQ(ThreadCount(), threadsBefore + 1);

  stop.Signal();
  EXPECT_TRUE(ThreadEnded());
  rx.reset();
}

TEST_F(RxThreadTest, DestructionEndsTheThreadEvenWithoutAStop) {
  auto destroyed = std::async(std::launch::async, [this] { rx.reset(); });
  const bool returned = destroyed.wait_for(Generous) == std::future_status::ready;
  // Lets a join that waits for ever finish, so that the test itself ends.
  if (!returned) stop.Signal();
  EXPECT_TRUE(returned);
}

TEST_F(RxThreadTest, PeerHangUpEndsTheThreadSilentlyWithoutSpinning) {
  const Bytes reply = Pattern(8, 3);
  pty.Write(reply);
  ASSERT_TRUE(Received(reply.size()));

  pty.CloseMaster();
  const double cpuBefore = ProcessCpuSeconds();
  std::this_thread::sleep_for(500ms);
  const double cpuUsed = ProcessCpuSeconds() - cpuBefore;

  EXPECT_LT(cpuUsed, 0.25) << "the receive thread spins on the hung-up port";
  EXPECT_TRUE(ThreadEnded());
  EXPECT_EQ(collector.chunks, std::vector<Bytes>{reply});
}

TEST(StopSignal, StaysSignalledOnceGiven) {
  StopSignal stop;
  EXPECT_FALSE(stop.IsSignalled());

  stop.Signal();
  EXPECT_TRUE(stop.IsSignalled());
  EXPECT_TRUE(stop.IsSignalled());
  pollfd watched{stop.Descriptor(), POLLIN, 0};
  EXPECT_EQ(poll(&watched, 1, 0), 1);

  stop.Signal();
  EXPECT_TRUE(stop.IsSignalled());
}

}  // namespace
