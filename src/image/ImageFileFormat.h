#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <span>

// How a firmware file lays out its bytes.
enum class ImageFileFormat { Raw, IntelHex, SRecords };

// By content, not by name: a file whose first non-blank byte is ':' is
// Intel HEX, one that starts with S and a digit is S-records, anything else
// is a raw image.
ImageFileFormat DetectImageFileFormat(std::span<const uint8_t> start);

// "raw", "ihex" or "srec", as --format spells them.
QString ImageFileFormatName(ImageFileFormat format);
std::optional<ImageFileFormat> ImageFileFormatNamed(const QString& name);
