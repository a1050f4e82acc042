#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

// The shipped image cropped to a sparse layout, written by srec_cat (the
// srecord package, which nobody here wrote) into a folder: a program from
// 0x0800, one partly filled row and a block of constants near the top.
struct SparseFirmware {
  // Writes sparse.hex (Intel HEX with extended linear address records),
  // sparse.s19 (S1), sparse.s37 (S3) and sparse.bin (srec_cat's own binary
  // of the same data, 64 KiB filled with 0xFF) into folder. Error() says
  // what failed, empty when all went well.
  SparseFirmware(const QString& shippedImage, const QString& folder);

  QString Hex, S19, S37;
  QByteArray Binary;
  // The 128-byte rows that hold data, in order.
  std::vector<std::size_t> Rows;
  QString Error;
};

// The rows whose programming requests (boot command 2) the unit heard, in
// order, from its transcript lines.
std::vector<std::size_t> ProgrammedRows(const QStringList& heardFrames);
