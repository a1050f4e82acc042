#include <gtest/gtest.h>

#include "Faults.h"

using unitsim::Exchange;
using unitsim::FaultKind;

TEST(UnitSimFaultSwitch, NamesKindExchangeAndOccurrence) {
  const unitsim::FaultSwitch fault = unitsim::ParseFault("no-reply:erase:3");
  EXPECT_EQ(fault.kind, FaultKind::NoReply);
  EXPECT_EQ(fault.what, Exchange::Erase);
  EXPECT_EQ(fault.occurrence, 3u);
  EXPECT_FALSE(unitsim::ParseFault("split:any:*").occurrence);
}

TEST(UnitSimFaultSwitch, RefusesWhatCannotBeMeant) {
  for (const char* text :
       {"no-reply:erase", "nothing:read:1", "late:reed:1", "late:read:0", "late:read:x",
        "exception:erase:1", "wrong-echo:read:1", "short:restart:*", "other-model:info:1"}) {
    EXPECT_THROW(unitsim::ParseFault(text), std::invalid_argument) << text;
  }
}

TEST(UnitSimFaultPlan, CountsEachExchangeOnItsOwn) {
  unitsim::FaultPlan plan({unitsim::ParseFault("late:read:2"), unitsim::ParseFault("noise:any:3")});
  EXPECT_TRUE(plan.Next(Exchange::Read).empty());
  EXPECT_TRUE(plan.Next(Exchange::Write).empty());
  EXPECT_EQ(plan.Next(Exchange::Read), (std::vector{FaultKind::Late, FaultKind::Noise}));
  EXPECT_TRUE(plan.Next(Exchange::Read).empty());
  EXPECT_EQ(plan.Count(Exchange::Read), 3u);
}

TEST(UnitSimFaultPlan, AppliesAnAnyFaultOnlyWhereItMeansSomething) {
  unitsim::FaultPlan plan({unitsim::ParseFault("exception:any:*")});
  EXPECT_TRUE(plan.Next(Exchange::Info).empty());
  EXPECT_EQ(plan.Next(Exchange::Write), std::vector{FaultKind::Exception});
}
