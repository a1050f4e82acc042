#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "image/AddressedBytes.h"
#include "image/ImageFileFormat.h"

class FirmwareImage;

// A firmware file as read and checked, before it meets the processor it is
// for.
struct ImageFileContent {
  QString Path;
  ImageFileFormat Format = ImageFileFormat::Raw;
  QByteArray Sha256;              // of the whole file, in lower-case hexadecimal
  std::vector<uint8_t> RawBytes;  // a raw image's first 65,536 bytes
  AddressedBytes Addressed;       // what an Intel HEX or S-record file gives
};

// Reads the file at path whole, in the format given or else the one its
// content shows (see DetectImageFileFormat). It is opened for reading only,
// non-blocking, and held under an exclusive advisory lock while it is read.
// Throws std::runtime_error "Cannot open file <path>" when it is missing, is
// no regular file, cannot be opened or is locked by another program, "Cannot
// read file <path>" when reading fails, and "Cannot use file <path>: ..."
// when a raw image is shorter than 65,536 bytes (the unit must never get a
// mix of two images), a text file is larger than any firmware file, or a
// line of a text file cannot be read ("line N: " and what is wrong).
ImageFileContent ReadImageFile(const QString& path, std::optional<ImageFileFormat> format = {});

// Puts the file into the image for a processor whose program memory ends at
// programEndAddress: a raw image byte for byte with every block present
// (see FirmwareImage::Fill), a text file as FillFromAddressedBytes builds
// it. Throws std::runtime_error "Cannot use file <path>: ..." and leaves the
// image unchanged when the text file's addresses break the rules.
void ApplyImageFile(FirmwareImage& image, const ImageFileContent& content,
                    uint32_t programEndAddress);

// ReadImageFile, then ApplyImageFile.
ImageFileContent LoadImageFromFile(FirmwareImage& image, const QString& path,
                                   uint32_t programEndAddress,
                                   std::optional<ImageFileFormat> format = {});
