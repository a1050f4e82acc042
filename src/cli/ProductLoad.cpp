#include "cli/ProductLoad.h"

#include <QCryptographicHash>
#include <algorithm>

#include "image/FirmwareImage.h"
#include "image/ImageFile.h"
#include "image/ProductIdentity.h"
#include "image/ResourceStore.h"

namespace {

std::size_t ProgramRows(uint32_t programEndAddress) {
  if (programEndAddress < FirmwareImage::ApplicationStart) return 0;
  const std::size_t lastRow = std::min<std::size_t>(programEndAddress / FirmwareImage::BlockSize,
                                                    FirmwareImage::BlockCount - 1);
  return lastRow + 1 - FirmwareImage::ApplicationStart / FirmwareImage::BlockSize;
}

QByteArray Sha256Of(const FirmwareImage& image) {
  return QCryptographicHash::hash(
             QByteArrayView(image.Bytes.data(), static_cast<qsizetype>(image.Bytes.size())),
             QCryptographicHash::Sha256)
      .toHex();
}

}  // namespace

ImageOnRecord LoadProduct(const CliOptions& options, ProductIdentity& identity,
                          FirmwareImage& image, std::FILE* log) {
  const ResourceStore resources;
  (void)BuildProductIdentity(identity, resources);
  LoadEmbeddedImage(image, resources);
  ImageOnRecord record{{}, QStringLiteral("built-in"), Sha256Of(image), 0, 0};
  if (options.Image) {
    ProductIdentity loaded = identity;
    loaded.ProcessorNumber = options.Image->ProcessorNumber;
    SetProgramEndAddress(loaded);
    const ImageFileContent file = LoadImageFromFile(
        image, options.Image->File, loaded.ProgramEndAddress, options.Image->Format);
    identity.ProcessorNumber = loaded.ProcessorNumber;
    identity.ProgramEndAddress = loaded.ProgramEndAddress;
    identity.RmNumber = options.Image->RmNumber;
    identity.ExpectedModel = options.Image->RmNumber;
    record.File = options.Image->File;
    record.Format = ImageFileFormatName(file.Format);
    record.Sha256 = file.Sha256;
    if (!options.Quiet) std::fprintf(log, "New File Loaded...RM%u\n", options.Image->RmNumber);
  }
  record.RowsSent = image.RowsToSend(identity.ProgramEndAddress).size();
  record.ProgramRows = ProgramRows(identity.ProgramEndAddress);
  return record;
}
