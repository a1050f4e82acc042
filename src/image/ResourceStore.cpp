#include "image/ResourceStore.h"

#include <QDir>
#include <QFile>
#include <stdexcept>
#include <utility>

ResourceStore::ResourceStore(QString folder) : folder_(std::move(folder)) {}

QByteArray ResourceStore::Read(const QString& name, qint64 maxBytes) const {
  const QDir dir(folder_);
  const QStringList entries = dir.entryList(QDir::Files);
  for (const QString& entry : entries) {
    if (entry.compare(name, Qt::CaseInsensitive) != 0) {
      continue;
    }
    QFile file(dir.filePath(entry));
    if (file.open(QIODevice::ReadOnly)) {
      return file.read(maxBytes);
    }
  }
  throw std::runtime_error(("Resource " + name + " not found").toStdString());
}

uint16_t ResourceStore::ReadResourceWord(const QString& name) const {
  const QByteArray bytes = Read(name, 2);
  uint16_t value = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    value |= static_cast<uint16_t>(static_cast<uint8_t>(bytes[i]) << (8 * i));
  }
  return value;
}
