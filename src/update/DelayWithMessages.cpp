#include "update/DelayWithMessages.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>

void DelayWithMessages(int32_t milliseconds) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  constexpr int Elapsed = 1;
  for (Clock::time_point now = Clock::now(); now < deadline; now = Clock::now()) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&loop] { loop.exit(Elapsed); });
    const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    timer.start(remaining);
    // Any other result means the application is ending and every event loop
    // was told to stop: waiting on would only spin.
    if (loop.exec() != Elapsed) return;
  }
}
