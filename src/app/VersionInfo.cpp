#include "app/VersionInfo.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>

namespace {

// The value at a path of keys separated by "\", or undefined.
QJsonValue valueAt(const QJsonObject& root, const QString& path) {
  QJsonValue value = root;
  for (const QString& key : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
    if (!value.isObject()) return QJsonValue(QJsonValue::Undefined);
    value = value.toObject().value(key);
  }
  return value;
}

std::optional<uint32_t> unsignedValue(const QJsonValue& value) {
  const double number = value.toDouble(-1);
  if (number < 0 || number > UINT32_MAX || number != static_cast<uint32_t>(number)) {
    return std::nullopt;
  }
  return static_cast<uint32_t>(number);
}

}  // namespace

qint64 VersionInfoBlock::SizeOf(const QString& file) {
  const QFileInfo info(file);
  return info.isFile() ? info.size() : 0;
}

std::optional<VersionInfoBlock> VersionInfoBlock::Read(const QString& file) {
  QFile source(file);
  if (!source.open(QIODevice::ReadOnly)) return std::nullopt;
  const QJsonDocument document = QJsonDocument::fromJson(source.readAll());
  if (!document.isObject()) return std::nullopt;
  return VersionInfoBlock(document.object());
}

std::optional<FixedFileInfo> VersionInfoBlock::QueryFixedFileInfo() const {
  const QJsonValue fixed = root_.value(QStringLiteral("FixedFileInfo"));
  if (!fixed.isObject()) return std::nullopt;
  const auto mask = unsignedValue(fixed[QStringLiteral("FileFlagsMask")]);
  const auto flags = unsignedValue(fixed[QStringLiteral("FileFlags")]);
  if (!mask || !flags) return std::nullopt;
  return FixedFileInfo{*mask, *flags};
}

std::optional<VersionTranslation> VersionInfoBlock::QueryFirstTranslation() const {
  const QJsonValue table = valueAt(root_, QStringLiteral("\\VarFileInfo\\Translation"));
  const QJsonArray entry = table.toArray().first().toArray();
  const auto language = unsignedValue(entry.at(0));
  const auto codePage = unsignedValue(entry.at(1));
  if (entry.size() != 2 || !language || !codePage || *language > 0xFFFF || *codePage > 0xFFFF) {
    return std::nullopt;
  }
  return VersionTranslation{static_cast<uint16_t>(*language), static_cast<uint16_t>(*codePage)};
}

std::optional<QString> VersionInfoBlock::QueryString(const QString& path) const {
  const QJsonValue value = valueAt(root_, path);
  if (!value.isString()) return std::nullopt;
  return value.toString();
}
