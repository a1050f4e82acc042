// The firmware file readers on the records that srec_cat's files, used in the
// update tests, never hold: segment and start address records, S2 data, the
// 24-bit count and the S7 and S8 ends; and the refusals that the command
// line's tests of bad files leave out, each with its line.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "image/IntelHexReader.h"
#include "image/RecordLines.h"
#include "image/SRecordReader.h"

namespace {

std::span<const uint8_t> Bytes(std::string_view text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

TEST(RecordReaders, SegmentAndStartRecordsAndMixedLineEndsInIntelHex) {
  // Segment 0x1000 puts offset 0x0010 at 0x10010; the start addresses are
  // passed over; a blank line and both line ends are taken.
  const AddressedBytes read =
      ReadIntelHex(Bytes(":03080000010203EF\r\n\n:020000021000EC\n:02001000AABB89\r\n"
                         ":0400000300000800F1\n:0400000500000800EF\n:00000001FF\n"));
  ASSERT_EQ(read.Runs().size(), 2u);
  EXPECT_EQ(read.At(0x0802), 3);
  EXPECT_EQ(read.At(0x10010), 0xAA);
  EXPECT_EQ(read.At(0x10011), 0xBB);
  EXPECT_FALSE(read.At(0x0010).has_value());
}

TEST(RecordReaders, TwentyFourBitDataCountAndEndsInSRecords) {
  const AddressedBytes read = ReadSRecords(
      Bytes("S0060000686472BB\nS206012345AABB2B\r\nS10508000102EF\nS604000002F9\nS804000000FB\n"));
  ASSERT_EQ(read.Runs().size(), 2u);
  EXPECT_EQ(read.At(0x012346), 0xBB);
  EXPECT_EQ(read.At(0x0801), 2);
  EXPECT_NO_THROW(ReadSRecords(Bytes("S10508000102EF\nS70500000000FA\n")));
}

TEST(RecordReaders, RecordsAfterTheEndAMissingEndAndS4AreRefusedNamingTheirLine) {
  struct Case {
    const char* what;
    std::function<AddressedBytes(std::span<const uint8_t>)> read;
    std::string_view text;
    int line;
    std::string_view cause;
  };
  const Case cases[] = {
      {"hex after end", ReadIntelHex, ":00000001FF\n:03080000010203EF\n", 2, "follows the end"},
      {"s-record no end", ReadSRecords, "S10508000102EF\n", 1, "without an end record"},
      {"s-record after end", ReadSRecords, "S9030000FC\nS10508000102EF\n", 2, "follows the end"},
      {"s-record reserved", ReadSRecords, "S4030000FC\nS9030000FC\n", 1, "reserved"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      c.read(Bytes(c.text));
      ADD_FAILURE() << "read without a refusal";
    } catch (const ImageRecordError& error) {
      EXPECT_EQ(error.Line(), c.line);
      EXPECT_NE(std::string_view(error.what()).find(c.cause), std::string_view::npos)
          << error.what();
    }
  }
}

}  // namespace
