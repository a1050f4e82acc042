#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "Options.h"

namespace {

unitsim::Options Parse(std::vector<std::string_view> args) {
  return unitsim::ParseOptions(args);
}

}  // namespace

TEST(UnitSimOptions, DefaultsToTheShippedAddressedModel) {
  const unitsim::Options options = Parse({});
  EXPECT_EQ(options.model, 4001);
  EXPECT_EQ(options.slaveAddress, 1);
  EXPECT_EQ(options.lateTime, std::chrono::milliseconds(3500));
  EXPECT_FALSE(options.device);
  EXPECT_FALSE(options.pace);
  EXPECT_FALSE(options.timestamps);
}

TEST(UnitSimOptions, TakesValuesSeparateOrAfterEquals) {
  const unitsim::Options options =
      Parse({"--model=1121", "--entry-request", "first", "--erase-ms", "20", "--pace", "--fault",
             "late:erase:1", "--fault=split:any:*", "--boot-rm", "0x1010", "--timestamps"});
  EXPECT_EQ(options.model, 1121);
  EXPECT_EQ(options.entryRequest, unitsim::EntryRequestChoice::First);
  EXPECT_EQ(options.eraseTime, std::chrono::milliseconds(20));
  EXPECT_TRUE(options.pace);
  EXPECT_TRUE(options.timestamps);
  EXPECT_EQ(options.faults.size(), 2u);
  EXPECT_EQ(options.bootRmNumber, 0x1010);
}

TEST(UnitSimOptions, RefusesWhatItCannotFollow) {
  const std::vector<std::vector<std::string_view>> wrong{
      {"--modle", "1"},
      {"--model"},
      {"--model", "70000"},
      {"--slave-address", "0"},
      {"--slave-address", "248"},
      {"--entry-request", "third"},
      {"--entry-request", "first"},  // 4001 takes one request
      {"--fault", "late"},
      {"--pace=yes"},
      {"--timestamps=1"},
      {"--row-ms", "-1"},
  };
  for (const auto& args : wrong) {
    EXPECT_THROW(Parse(args), unitsim::UsageError) << args.front();
  }
}
