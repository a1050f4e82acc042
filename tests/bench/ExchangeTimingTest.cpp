#include <gtest/gtest.h>

#include <stdexcept>

#include "ExchangeTiming.h"
#include "TimedTranscript.h"

namespace {

// Two model reads, two erases, one row and leaving boot mode, each answered
// at the times given. The program handled each reply 0.1 to 0.5 ms after it
// went out, and took the link for each request 0.1 ms before the unit heard
// it.
const QStringList AnsweredRun{
    "99.990000 start model 4001 version 2100 boot-entry G firmware 9600",
    "99.995000 rx 9600 01 67 00 97 5C 3A 8E 4B",
    "99.996000 tx 9600 01 67 00 97 5C 3A 8E 4B",
    "99.997000 sent",
    "100.000000 rx 115200 10 02 00 02 FE 10 03",
    "100.000500 tx 115200 10 02 00 02 0F A1 50 10 03",
    "100.001000 sent",
    "100.007500 rx 115200 10 02 00 02 FE 10 03",
    "100.008000 tx 115200 10 02 00 02 0F A1 50 10 03",
    "100.009000 sent",
    "100.010000 rx 115200 10 02 03 08 00 08 00 00 00 00 00 00 ED 10 03",
    "100.010500 tx 115200 10 02 03 08 00 08 00 00 00 00 00 00 ED 10 03",
    "100.011000 sent",
    "100.017200 rx 115200 10 02 03 08 00 0A 00 00 00 00 00 00 EB 10 03",
    "100.017500 tx 115200 10 02 03 08 00 0A 00 00 00 00 00 00 EB 10 03",
    "100.018000 sent",
    "101.025000 rx 115200 10 02 02 02 00 08 00 55 10 03",
    "101.025500 tx 115200 10 02 02 02 00 08 F4 10 03",
    "101.026000 sent",
    "102.032000 rx 115200 10 02 05 01 FF 03 00 00 F8 10 03",
    "102.032500 tx 115200 10 02 05 01 00 FA 10 03",
    "102.033000 sent",
};
const ProgramMoments Moments{{99.9972, 100.0012, 100.0093, 100.0115, 100.0181, 101.0262, 102.0334},
                             {99.9949, 99.9999, 100.0074, 100.0099, 100.0171, 101.0249, 102.0319}};

TEST(ExchangeTiming, TakesTheRequiredPausesOutOfEachGap) {
  const ExchangeTiming timing = TimeExchanges(ParseTimedTranscript(AnsweredRun), Moments, 5);
  EXPECT_EQ(timing.requests, 7u);
  EXPECT_EQ(timing.readDelays, 4u);
  EXPECT_EQ(timing.phaseEnds, 2u);
  EXPECT_NEAR(timing.fixedPauseSeconds, 4 * 0.005 + 2 * 1.0, 1e-9);
  const std::vector<double> overhead{2.9, 1.4, 0.9, 1.1, 1.9, 0.9};
  const std::vector<double> receive{0.2, 0.2, 0.3, 0.5, 0.1, 0.2};
  ASSERT_EQ(timing.overheadMs.size(), overhead.size());
  ASSERT_EQ(timing.receiveMs.size(), receive.size());
  ASSERT_EQ(timing.turnaroundMs.size(), overhead.size());
  for (std::size_t i = 0; i < overhead.size(); ++i) {
    EXPECT_NEAR(timing.overheadMs[i], overhead[i], 1e-6) << "exchange " << i;
    EXPECT_NEAR(timing.receiveMs[i], receive[i], 1e-6) << "exchange " << i;
    EXPECT_NEAR(timing.turnaroundMs[i], overhead[i] - receive[i], 1e-6) << "exchange " << i;
    EXPECT_NEAR(timing.hearingMs[i], 0.1, 1e-6) << "exchange " << i;
  }
}

TEST(ExchangeTiming, WithoutAReadDelayOnlyThePhaseEndsArePauses) {
  const ExchangeTiming timing = TimeExchanges(ParseTimedTranscript(AnsweredRun), Moments, -1);
  EXPECT_EQ(timing.readDelays, 0u);
  EXPECT_NEAR(timing.fixedPauseSeconds, 2.0, 1e-9);
  EXPECT_NEAR(timing.overheadMs[1], 6.4, 1e-6);
}

TEST(ExchangeTiming, AnUnansweredRequestGivesNoExchange) {
  QStringList lines = AnsweredRun;
  lines.removeAt(9);  // the second model read's "sent"
  const ExchangeTiming timing = TimeExchanges(ParseTimedTranscript(lines), Moments, 5);
  EXPECT_EQ(timing.overheadMs.size(), 5u);
}

TEST(ExchangeTiming, ARequestSentBeforeTheReplyWasHandledGivesNoExchange) {
  ProgramMoments moments = Moments;
  moments.linkTaken.erase(moments.linkTaken.begin() + 2);  // before the second model read's
  const ExchangeTiming timing = TimeExchanges(ParseTimedTranscript(AnsweredRun), moments, 5);
  EXPECT_EQ(timing.overheadMs.size(), 5u);
}

TEST(TimedTranscript, CountsEveryByteOnTheLineAtItsSpeed) {
  QStringList lines = AnsweredRun;
  lines.append("102.100000 ignored 9600 01 02 03");
  const LineTraffic traffic = CountLineTraffic(ParseTimedTranscript(lines));
  ASSERT_EQ(traffic.bytesBySpeed.size(), 2u);
  EXPECT_EQ(traffic.bytesBySpeed[0], std::make_pair(9600u, std::size_t{19}));
  EXPECT_EQ(traffic.bytesBySpeed[1], std::make_pair(115200u, std::size_t{130}));
  EXPECT_NEAR(traffic.seconds, 190.0 / 9600 + 1300.0 / 115200, 1e-9);
}

TEST(TimedTranscript, RefusesALineWithoutATimestamp) {
  EXPECT_THROW(ParseTimedTranscript({"rx 9600 01 03 00 14 00 01 C4 0E"}), std::runtime_error);
}

}  // namespace
