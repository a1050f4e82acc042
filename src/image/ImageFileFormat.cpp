#include "image/ImageFileFormat.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<ImageFileFormat, const char*>, 3> Names{{
    {ImageFileFormat::Raw, "raw"},
    {ImageFileFormat::IntelHex, "ihex"},
    {ImageFileFormat::SRecords, "srec"},
}};

bool IsBlank(uint8_t byte) {
  return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n' || byte == '\v' ||
         byte == '\f';
}

}  // namespace

ImageFileFormat DetectImageFileFormat(std::span<const uint8_t> start) {
  std::size_t first = 0;
  while (first < start.size() && IsBlank(start[first])) ++first;
  if (first == start.size()) return ImageFileFormat::Raw;
  if (start[first] == ':') return ImageFileFormat::IntelHex;
  if (start[first] == 'S' && first + 1 < start.size() && start[first + 1] >= '0' &&
      start[first + 1] <= '9') {
    return ImageFileFormat::SRecords;
  }
  return ImageFileFormat::Raw;
}

QString ImageFileFormatName(ImageFileFormat format) {
  for (const auto& [each, name] : Names) {
    if (each == format) return QString::fromLatin1(name);
  }
  return {};
}

std::optional<ImageFileFormat> ImageFileFormatNamed(const QString& name) {
  for (const auto& [format, each] : Names) {
    if (name == QLatin1String(each)) return format;
  }
  return std::nullopt;
}
