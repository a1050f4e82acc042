#include <gtest/gtest.h>

#include <QRegularExpression>

#include "support/UnitSimProcess.h"
#include "update/BootLoaderCommands.h"
#include "update/LinkedView.h"
#include "update/ProgramTransfer.h"

namespace {

struct RangeCase {
  uint32_t endAddress;
  int eraseRequests;
  int rowRequests;
};

class ProgramRange : public testing::TestWithParam<RangeCase> {};

// Erases and programs a unit already in its boot loader, as state 2 and 3 do.
TEST_P(ProgramRange, CoversTheApplicationAreaUpToTheEndAddress) {
  const RangeCase& c = GetParam();
  UnitSimProcess unit({"--model", "3001"});
  LinkedView view(unit.SlavePath());
  view.Product.ExpectedModel = 3001;
  view.Product.ProgramEndAddress = c.endAddress;
  for (std::size_t i = 0; i < view.Firmware.Bytes.size(); ++i) {
    view.Firmware.Bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 7));
  }
  view.Firmware.BlockPresent.fill(true);
  // A row whose flag is clear is passed over without a request.
  view.Firmware.BlockPresent[20] = false;
  ASSERT_EQ(BootLoaderCommands(view).EnableBootLoader(), 1);

  ProgramTransfer transfer(view);
  view.Log = QStringList{"Erasing Program Memory......"};
  EXPECT_TRUE(transfer.EraseProgramMemory());
  EXPECT_EQ(view.Log.last(), "Erasing Program Memory......100%");
  view.Log = QStringList{"Sending New Program Data......"};
  EXPECT_TRUE(transfer.SendProgramData());
  EXPECT_EQ(view.Log.last(), "Sending New Program Data......100%");

  const QStringList heard = unit.HeardFrames();
  EXPECT_EQ(heard.filter(QRegularExpression("^rx 115200 10 02 03 08 ")).size(), c.eraseRequests);
  EXPECT_EQ(heard.filter(QRegularExpression("^rx 115200 10 02 02 02 ")).size(), c.rowRequests - 1);
  const std::vector<uint8_t> memory = unit.StopAndReadMemory();
  ASSERT_EQ(memory.size(), 65536u);
  for (uint32_t address = 0x800; address <= c.endAddress; ++address) {
    const bool skipped = address / 128 == 20;
    ASSERT_EQ(memory[address], skipped ? 0xFF : view.Firmware.Bytes[address]) << address;
  }
  if (c.endAddress < 0xFFFF) {
    EXPECT_EQ(memory[c.endAddress + 1], 0xFF) << "nothing is written beyond the end address";
  }
}

INSTANTIATE_TEST_SUITE_P(EveryProcessorSize, ProgramRange,
                         testing::Values(RangeCase{0x1FFF, 12, 48}, RangeCase{0xBFFF, 92, 368},
                                         RangeCase{0xFFFF, 124, 496}));

TEST(ProgramRangeRefused, EndAddressWithoutWholeBlocksErasesNothing) {
  UnitSimProcess unit({"--model", "3001"});
  LinkedView view(unit.SlavePath());
  view.Product.ExpectedModel = 3001;
  view.Product.ProgramEndAddress = 0;
  ASSERT_EQ(BootLoaderCommands(view).EnableBootLoader(), 1);
  view.Log = QStringList{"Erasing Program Memory......"};
  EXPECT_FALSE(ProgramTransfer(view).EraseProgramMemory());
  EXPECT_TRUE(unit.HeardFrames().filter(QRegularExpression("^rx 115200 ")).isEmpty());
}

}  // namespace
