#include <gtest/gtest.h>

#include <array>
#include <sstream>
#include <string>

#include "ControlFifo.h"
#include "Fixture.h"
#include "Options.h"
#include "ProgramMemory.h"
#include "TestFrames.h"
#include "Transcript.h"

namespace {

using testframes::Bytes;
using testframes::Request;

// Slave 19's model and version, the request the station polls with.
const Bytes ModelAndVersion = Request(0x13, 0x03, 0x14, 2);

class FixtureCommands : public testing::Test {
 protected:
  FixtureCommands()
      : fixture_(unitsim::ParseOptions(std::vector<std::string_view>{"--model", "1105"}), memory_,
                 transcript_, true) {}

  bool Answers() {
    const std::optional<unitsim::Reply> reply =
        fixture_.Hear(ModelAndVersion, fixture_.ListenSpeed());
    if (reply) fixture_.ReplyDone();
    return reply.has_value();
  }
  bool Apply(const std::string& line) { return unitsim::ApplyControl(line, fixture_, transcript_); }

  std::ostringstream out_;
  unitsim::Transcript transcript_{out_};
  unitsim::ProgramMemory memory_;
  unitsim::Fixture fixture_;
};

TEST_F(FixtureCommands, AUnitTakenOffAnswersNothingAndAFreshOneKeepsTheFirstUnitsModel) {
  ASSERT_TRUE(Answers());
  const std::array<uint8_t, unitsim::ProgramMemory::RowSize> zeros{};
  memory_.ProgramRow(0x800, zeros);
  EXPECT_TRUE(Apply("off"));
  EXPECT_FALSE(Answers());
  EXPECT_NE(out_.str().find("off-line 9600 13 03 00 14 00 02"), std::string::npos);

  EXPECT_TRUE(Apply("on --version 109 --start-in-boot-loader"));
  EXPECT_NE(out_.str().find("start model 1105 version 109 boot-entry B boot-loader 115200"),
            std::string::npos)
      << out_.str();
  EXPECT_FALSE(Answers()) << "in its boot loader it answers no Modbus read";
  EXPECT_EQ(memory_.Content()[0x800], 0xFF) << "a fresh unit's memory is its own";
}

TEST_F(FixtureCommands, CommandsThatCannotBeCarriedOutChangeNothing) {
  for (const std::string line : {"on --pace", "on --transcript x", "on --version", "dance"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(Apply(line));
    EXPECT_NE(out_.str().find("control refused: " + line + ": "), std::string::npos);
    EXPECT_TRUE(Answers()) << "the unit stays on";
  }
}

}  // namespace
