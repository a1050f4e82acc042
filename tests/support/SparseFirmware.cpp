#include "support/SparseFirmware.h"

#include <QFile>
#include <QProcess>
#include <QStringList>

namespace {

constexpr int SrecCatLimitMs = 30000;
const QStringList Crop{"-crop", "0x0800", "0x1000", "0x2040", "0x2050", "0xF000", "0xF100"};
constexpr std::size_t RowSize = 128;
constexpr int DleByte = 0x10;
constexpr int ProgramCommand = 2;

QString RunSrecCat(const QString& folder, const QStringList& arguments) {
  QProcess process;
  process.setWorkingDirectory(folder);
  process.start(QStringLiteral("srec_cat"), arguments);
  if (!process.waitForFinished(SrecCatLimitMs) || process.exitCode() != 0) {
    return "srec_cat " + arguments.join(' ') + ": " +
           QString::fromUtf8(process.readAllStandardError()) + process.errorString();
  }
  return {};
}

}  // namespace

SparseFirmware::SparseFirmware(const QString& shippedImage, const QString& folder)
    : Hex(folder + "/sparse.hex"), S19(folder + "/sparse.s19"), S37(folder + "/sparse.s37") {
  const QList<QStringList> runs{
      QStringList{shippedImage, "-binary"} + Crop +
          QStringList{"-o", Hex, "-intel", "-address-length=4"},
      // S-records end with a start address record only when srec_cat is given one.
      {Hex, "-intel", "-execution-start-address=0x0800", "-o", S19, "-motorola",
       "-address-length=2"},
      {Hex, "-intel", "-execution-start-address=0x0800", "-o", S37, "-motorola",
       "-address-length=4"},
      {Hex, "-intel", "-fill", "0xFF", "0", "0x10000", "-o", folder + "/sparse.bin", "-binary"},
  };
  for (const QStringList& arguments : runs) {
    Error = RunSrecCat(folder, arguments);
    if (!Error.isEmpty()) return;
  }
  QFile binary(folder + "/sparse.bin");
  if (binary.open(QIODevice::ReadOnly)) Binary = binary.readAll();
  for (qsizetype i = 1; i + 1 < Crop.size(); i += 2) {
    const std::size_t first = Crop[i].toUInt(nullptr, 0) / RowSize;
    const std::size_t end = (Crop[i + 1].toUInt(nullptr, 0) + RowSize - 1) / RowSize;
    for (std::size_t row = first; row < end; ++row) Rows.push_back(row);
  }
}

std::vector<std::size_t> ProgrammedRows(const QStringList& heardFrames) {
  std::vector<std::size_t> rows;
  for (const QString& line : heardFrames) {
    // "rx SPEED 10 02 <content with each DLE doubled> <checksum> 10 03"
    const QStringList fields = line.split(' ', Qt::SkipEmptyParts).mid(4);
    std::vector<int> content;
    for (qsizetype i = 0; i < fields.size(); ++i) {
      content.push_back(fields[i].toInt(nullptr, 16));
      if (content.back() == DleByte) ++i;
    }
    if (content.size() > 4 && content[0] == ProgramCommand) {
      rows.push_back(static_cast<std::size_t>(content[2] | content[3] << 8) / RowSize);
    }
  }
  return rows;
}
