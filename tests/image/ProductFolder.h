#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

#include "image/ResourceStore.h"

// A product folder of real files in a temporary directory, read through ResourceStore.
class ProductFolder {
 public:
  void write(const QString& name, const QByteArray& bytes) const {
    QFile file(dir_.filePath(name));
    if (!dir_.isValid() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
      throw std::runtime_error("cannot write " + file.fileName().toStdString());
    }
  }

  void writeWord(const QString& name, uint16_t value) const {
    const char bytes[] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
    write(name, QByteArray(bytes, sizeof bytes));
  }

  ResourceStore store() const { return ResourceStore(dir_.path()); }

 private:
  QTemporaryDir dir_;
};

// The message of the std::runtime_error that action throws, or "no error".
inline std::string errorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no error";
}
