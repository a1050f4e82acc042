#include <gtest/gtest.h>

#include "settings/FileNameBytes.h"

namespace {

TEST(FileNameBytes, EveryNameComesBackAsTheSameBytes) {
  const QByteArray names[] = {
      "/plain/ascii",
      "/caf\xC3\xA9/\xF0\x9F\x98\x80",  // two- and four-byte characters
      "/not-utf8-\xFF\xC0/x",
      "/cut-short-\xE2\x82",
      "/encoded-surrogate-\xED\xB2\x80",  // reads as three escaped bytes
      "/overlong-\xC0\xAF",
      "\x80\xFF",
  };
  for (const QByteArray& bytes : names) {
    EXPECT_EQ(FileNameBytes(FileNameFromBytes(bytes)), bytes) << bytes.toHex().toStdString();
  }
}

TEST(FileNameBytes, ValidUtf8ReadsAsItsTextAndOtherBytesAsReplacements) {
  EXPECT_EQ(FileNameFromBytes("/caf\xC3\xA9"), QStringLiteral("/caf\u00E9"));
  const QString escaped = FileNameFromBytes("a\xFF");
  ASSERT_EQ(escaped.size(), 2);
  EXPECT_EQ(escaped[1].unicode(), 0xDCFF);
}

}  // namespace
