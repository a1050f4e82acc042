#include "image/FirmwareImage.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "ProductFolder.h"

namespace {

QByteArray counting(qsizetype size) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(i % 251);
  }
  return bytes;
}

TEST(FirmwareImage, ClearImageZeroesBytesAndKeepsFlags) {
  FirmwareImage image;
  image.Bytes.fill(0x5A);
  image.BlockPresent[7] = true;
  image.ClearImage();
  EXPECT_TRUE(std::ranges::all_of(image.Bytes, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(std::ranges::count(image.BlockPresent, true), 1);
  EXPECT_TRUE(image.BlockPresent[7]);
}

TEST(FirmwareImage, BlockIsItsRowOfTheImage) {
  FirmwareImage image;
  for (const std::size_t n : {0u, 16u, 511u}) {
    const auto block = image.Block(n);
    EXPECT_EQ(block.data(), image.Bytes.data() + n * 128) << n;
  }
}

TEST(FirmwareImage, ShortImageLeavesRestZeroAndMarksEveryBlock) {
  ProductFolder folder;
  const QByteArray data(300, '\xAB');
  folder.write("HFile", data);
  FirmwareImage image;
  image.ClearImage();
  LoadEmbeddedImage(image, folder.store());
  EXPECT_TRUE(std::all_of(image.Bytes.begin(), image.Bytes.begin() + 300,
                          [](uint8_t b) { return b == 0xAB; }));
  EXPECT_TRUE(
      std::all_of(image.Bytes.begin() + 300, image.Bytes.end(), [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(std::ranges::count(image.BlockPresent, true), 512);
}

TEST(FirmwareImage, FillKeepsBytesBeyondTheData) {
  FirmwareImage image;
  image.Bytes.fill(0x5A);
  const uint8_t data[] = {1, 2, 3};
  image.Fill(data);
  EXPECT_EQ(image.Bytes[2], 3);
  EXPECT_EQ(image.Bytes[3], 0x5A);
  EXPECT_EQ(image.Bytes[65535], 0x5A);
}

TEST(FirmwareImage, LongImageIsIgnoredBeyond64KiB) {
  ProductFolder folder;
  const QByteArray data = counting(65536 + 1000);
  folder.write("HFile", data);
  FirmwareImage image;
  LoadEmbeddedImage(image, folder.store());
  EXPECT_TRUE(std::equal(image.Bytes.begin(), image.Bytes.end(),
                         reinterpret_cast<const uint8_t*>(data.constData())));
  EXPECT_EQ(std::ranges::count(image.BlockPresent, true), 512);
}

TEST(FirmwareImage, ImageIsFoundUnderUpperCaseName) {
  ProductFolder folder;
  folder.write("HFILE", counting(65536));
  FirmwareImage image;
  LoadEmbeddedImage(image, folder.store());
  EXPECT_EQ(image.Bytes[1000], 1000 % 251);
}

TEST(FirmwareImage, MissingImageIsNamedInTheError) {
  ProductFolder folder;
  FirmwareImage image;
  EXPECT_EQ(errorOf([&] { LoadEmbeddedImage(image, folder.store()); }), "Resource HFile not found");
  EXPECT_EQ(std::ranges::count(image.BlockPresent, true), 0);
}

}  // namespace
