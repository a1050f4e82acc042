#include "settings/FileNameBytes.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

constexpr char16_t EscapeBase = 0xDC00;
constexpr char16_t FirstEscape = EscapeBase + 0x80;
constexpr char16_t LastEscape = EscapeBase + 0xFF;

// The length of the UTF-8 sequence a byte starts; 0 for a byte no valid
// sequence starts with. Whether the sequence is valid (no overlong form, no
// surrogate, nothing above U+10FFFF) is left to isValidUtf8.
qsizetype SequenceLength(uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

QString FileNameFromBytes(QByteArrayView bytes) {
  QString name;
  qsizetype i = 0;
  while (i < bytes.size()) {
    const qsizetype length = SequenceLength(static_cast<uint8_t>(bytes[i]));
    const QByteArrayView sequence = bytes.sliced(i, std::min(length, bytes.size() - i));
    if (length > 0 && sequence.size() == length && sequence.isValidUtf8()) {
      name += QString::fromUtf8(sequence);
      i += length;
    } else {
      name += QChar(static_cast<char16_t>(EscapeBase + static_cast<uint8_t>(bytes[i])));
      ++i;
    }
  }
  return name;
}

QByteArray FileNameBytes(QStringView name) {
  QByteArray bytes;
  qsizetype textStart = 0;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i].unicode();
    // A low surrogate after a high one is half of a character, not a byte.
    const bool escaped =
        unit >= FirstEscape && unit <= LastEscape && (i == 0 || !name[i - 1].isHighSurrogate());
    if (!escaped) continue;
    bytes += name.sliced(textStart, i - textStart).toUtf8();
    bytes += static_cast<char>(unit - EscapeBase);
    textStart = i + 1;
  }
  bytes += name.sliced(textStart).toUtf8();
  return bytes;
}

QString CurrentFolderName() {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::current_path(error);
  if (error) return {};
  const std::string& bytes = folder.native();
  return FileNameFromBytes(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}
