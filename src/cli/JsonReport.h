#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

#include "cli/UnitRecord.h"

// One unit's record as one line of JSON: port, device, product, the unit's
// model and version read before the update, the boot loader's information,
// the outcome, the failing step and its log line, start and end, bytes.
QByteArray UnitRecordJson(const UnitRecord& record);

// The name of an update state in a record ("erase", "send", ...).
QString StepName(int32_t state);

// Writes one line per record to path, or to standard output for "-";
// false when the file cannot be written.
bool WriteJsonReport(const QString& path, const std::vector<UnitRecord>& records);

// Writes the lines of JSON to path, or to standard output for "-"; false
// when the file cannot be written.
bool WriteJsonLines(const QString& path, const QByteArray& text);
