#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <algorithm>
#include <functional>
#include <numeric>
#include <set>
#include <vector>

#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "image/ResourceStore.h"

namespace {

constexpr std::size_t FirstSentBlock = 0x800 / FirmwareImage::BlockSize;

QByteArray productFile(const char* name) {
  QFile file(QStringLiteral(BOOTLOAD_PRODUCT_DIR "/") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const FirmwareImage& shippedImage() {
  static const FirmwareImage image = [] {
    FirmwareImage loaded;
    LoadEmbeddedImage(loaded, ResourceStore());
    return loaded;
  }();
  return image;
}

using Row = std::span<const uint8_t, FirmwareImage::BlockSize>;

// Whether some block from address 0x800 on, the part of the image that is sent, passes test.
bool anySentRow(const std::function<bool(std::size_t, Row)>& test) {
  for (std::size_t n = FirstSentBlock; n < FirmwareImage::BlockCount; ++n) {
    if (test(n, shippedImage().Block(n))) {
      return true;
    }
  }
  return false;
}

bool isErased(Row row) {
  return std::ranges::all_of(row, [](uint8_t b) { return b == 0xFF; });
}

// The checksum byte of the program frame that sends block n: command 2, count 2,
// three address bytes low first, then the row.
uint8_t programFrameChecksum(std::size_t n, Row row) {
  const std::size_t address = n * FirmwareImage::BlockSize;
  const unsigned sum = 2 + 2 + (address & 0xFF) + ((address >> 8) & 0xFF) +
                       std::accumulate(row.begin(), row.end(), 0u);
  return static_cast<uint8_t>(0u - sum);
}

TEST(EmbeddedProduct, ResourcesAreStoredUnderUpperCaseNames) {
  QStringList names = QDir(QStringLiteral(":/product")).entryList(QDir::Files);
  names.sort();
  EXPECT_EQ(names, QStringList({"FW_VER", "HFILE", "PROC_NUM", "RM_NUM"}));
}

TEST(EmbeddedProduct, ResourcesEqualTheProductFiles) {
  const ResourceStore store;
  for (const char* name : {"PROC_NUM", "RM_NUM", "FW_VER", "HFile"}) {
    const QByteArray file = productFile(name);
    EXPECT_FALSE(file.isEmpty()) << name;
    EXPECT_EQ(store.Read(name, 1 << 20), file) << name;
  }
  const QByteArray hfile = productFile("HFile");
  ASSERT_EQ(hfile.size(), 65536);
  EXPECT_TRUE(std::ranges::equal(
      shippedImage().Bytes, std::span(reinterpret_cast<const uint8_t*>(hfile.constData()), 65536)));
}

TEST(ShippedProduct, IdentityIsTheAddressedMultiDropController) {
  ProductIdentity identity;
  EXPECT_EQ(BuildProductIdentity(identity, ResourceStore()), SlaveAddressGroup::Shown);
  EXPECT_EQ(identity.ProductTitle, "Multi-Drop Controller MD-5 v2.110");
  EXPECT_EQ(identity.ProcessorNumber, 4680);
  EXPECT_EQ(identity.ProgramEndAddress, 0xFFFFu);
  EXPECT_EQ(identity.ExpectedModel, 4001);
  EXPECT_EQ(identity.ModelReadDelay, 5);
}

TEST(ShippedProduct, ImageHasAnUnprogrammedSentRow) {
  EXPECT_TRUE(anySentRow([](std::size_t, Row row) { return isErased(row); }));
}

TEST(ShippedProduct, ImageHasDleEtxInsideASentRow) {
  const uint8_t dleEtx[] = {0x10, 0x03};
  EXPECT_TRUE(anySentRow([&](std::size_t, Row row) {
    return std::search(row.begin(), row.end(), std::begin(dleEtx), std::end(dleEtx)) != row.end();
  }));
}

TEST(ShippedProduct, ImageHasASentRowWhoseChecksumIsDle) {
  EXPECT_TRUE(anySentRow([](std::size_t n, Row row) {
    return !isErased(row) && programFrameChecksum(n, row) == 0x10;
  }));
}

TEST(ShippedProduct, SentRowsAllDiffer) {
  const FirmwareImage& image = shippedImage();
  std::set<std::vector<uint8_t>> rows;
  for (std::size_t n = FirstSentBlock; n < FirmwareImage::BlockCount; ++n) {
    const auto block = image.Block(n);
    EXPECT_TRUE(rows.emplace(block.begin(), block.end()).second) << "row " << n << " repeats";
  }
}

}  // namespace
