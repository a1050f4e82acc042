#include "image/FirmwareImage.h"

#include <algorithm>

#include "image/ResourceStore.h"

void FirmwareImage::ClearImage() {
  Bytes.fill(0);
}

std::span<const uint8_t, FirmwareImage::BlockSize> FirmwareImage::Block(std::size_t n) const {
  return std::span<const uint8_t, BlockSize>(Bytes.data() + n * BlockSize, BlockSize);
}

void FirmwareImage::Fill(std::span<const uint8_t> data) {
  const std::size_t count = std::min(data.size(), Size);
  std::copy_n(data.begin(), count, Bytes.begin());
  // Every block is sent, whatever the length of the data: a short image leaves the
  // remaining blocks as they were and they still count as present.
  BlockPresent.fill(true);
}

std::vector<std::size_t> FirmwareImage::RowsToSend(uint32_t programEndAddress) const {
  std::vector<std::size_t> rows;
  for (std::size_t row = ApplicationStart / BlockSize; row < BlockCount; ++row) {
    if (row * BlockSize <= programEndAddress && BlockPresent[row]) rows.push_back(row);
  }
  return rows;
}

void LoadEmbeddedImage(FirmwareImage& image, const ResourceStore& resources) {
  const QByteArray data = resources.Read(QStringLiteral("HFile"), FirmwareImage::Size);
  image.Fill(std::span(reinterpret_cast<const uint8_t*>(data.constData()),
                       static_cast<std::size_t>(data.size())));
}
