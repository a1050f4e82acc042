#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// The product's raw-data resources, found by name without regard to case in
// one folder: ":/product" (embedded at build time) in the program, any real
// folder in the tests.
class ResourceStore {
 public:
  explicit ResourceStore(QString folder = QStringLiteral(":/product"));

  // Up to maxBytes bytes of the named resource. Throws std::runtime_error
  // "Resource <name> not found" when no such resource exists.
  QByteArray Read(const QString& name, qint64 maxBytes) const;

  // Up to 2 bytes of the named resource as a little-endian word; missing
  // bytes read as 0.
  uint16_t ReadResourceWord(const QString& name) const;

 private:
  QString folder_;
};
