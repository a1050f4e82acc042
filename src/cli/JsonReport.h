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

// One line per record, in the order given.
QByteArray JsonReportText(const std::vector<UnitRecord>& records);
