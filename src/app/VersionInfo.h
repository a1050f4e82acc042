#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>

// The fixed part of a version-information block.
struct FixedFileInfo {
  uint32_t FileFlagsMask = 0;
  uint32_t FileFlags = 0;
};

// One entry of the translation table: the language and code page that name
// a string table.
struct VersionTranslation {
  uint16_t Language = 0;
  uint16_t CodePage = 0;
};

// A version-information block, as the build generates it for the program
// (a JSON document in the resource ":/version/VersionInfo.json"), queried by
// path: "\" is the fixed part, "\VarFileInfo\Translation" the translation
// table and "\StringFileInfo\<table>\<key>" a string.
class VersionInfoBlock {
 public:
  // The size in bytes of the version information in file; 0 when it has
  // none.
  static qint64 SizeOf(const QString& file);

  // The block in file, or nothing when it cannot be read.
  static std::optional<VersionInfoBlock> Read(const QString& file);

  // "\": the fixed part, or nothing when the block has none.
  std::optional<FixedFileInfo> QueryFixedFileInfo() const;

  // The first entry of "\VarFileInfo\Translation", or nothing.
  std::optional<VersionTranslation> QueryFirstTranslation() const;

  // The string at path (a leading "\" is optional), or nothing.
  std::optional<QString> QueryString(const QString& path) const;

 private:
  explicit VersionInfoBlock(QJsonObject root) : root_(std::move(root)) {}

  QJsonObject root_;
};
