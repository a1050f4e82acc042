#include <gtest/gtest.h>

#include <vector>

#include "ProductFolder.h"

namespace {

QByteArray bytesOf(const std::vector<uint8_t>& values) {
  return QByteArray(reinterpret_cast<const char*>(values.data()),
                    static_cast<qsizetype>(values.size()));
}

TEST(ResourceStore, WordIsReadLittleEndianFromUpToTwoBytes) {
  struct Case {
    std::vector<uint8_t> bytes;
    uint16_t word;
  };
  const Case cases[] = {
      {{}, 0},
      {{0x7F}, 0x007F},
      {{0xFF}, 0x00FF},
      {{0x48, 0x12}, 4680},
      {{0xFF, 0xFF}, 65535},
      {{0x01, 0x02, 0x03}, 0x0201},
  };
  for (const Case& c : cases) {
    ProductFolder folder;
    folder.write("FW_VER", bytesOf(c.bytes));
    EXPECT_EQ(folder.store().ReadResourceWord("FW_VER"), c.word) << "bytes: " << c.bytes.size();
  }
}

TEST(ResourceStore, NameIsMatchedWithoutRegardToCase) {
  ProductFolder folder;
  folder.write("HFILE", "image");
  for (const char* asked : {"HFILE", "HFile", "hfile", "hFiLe"}) {
    EXPECT_EQ(folder.store().Read(asked, 100), "image") << asked;
  }
}

TEST(ResourceStore, ReadStopsAtMaxBytes) {
  ProductFolder folder;
  folder.write("HFile", "0123456789");
  EXPECT_EQ(folder.store().Read("HFile", 4), "0123");
}

TEST(ResourceStore, MissingResourceIsNamedAsAsked) {
  ProductFolder folder;
  folder.write("HFile.bin", "near miss");
  folder.write("XHFile", "near miss");
  const ResourceStore store = folder.store();
  EXPECT_EQ(errorOf([&] { store.Read("HFile", 10); }), "Resource HFile not found");
  EXPECT_EQ(errorOf([&] { store.ReadResourceWord("rm_num"); }), "Resource rm_num not found");
}

TEST(ResourceStore, MissingFolderReportsTheResource) {
  const ResourceStore store(QStringLiteral("/nonexistent/product"));
  EXPECT_EQ(errorOf([&] { store.Read("PROC_NUM", 2); }), "Resource PROC_NUM not found");
}

}  // namespace
