#pragma once

#include <QByteArray>
#include <QStringList>
#include <vector>

#include "cli/UnitInfo.h"

// The lines --info prints for one unit, each starting with its port: model
// and version and each slave's kept settings, or what went wrong.
QStringList UnitInfoLines(const UnitInfoRecord& record);

// One unit's record as one line of JSON: port, device, unitModel,
// unitVersion, keptSettings, outcome, unansweredRead and portDetail.
QByteArray UnitInfoJson(const UnitInfoRecord& record);

// 0 when every unit answered, 3 when a port did not open, else 1.
int UnitInfoExitStatus(const std::vector<UnitInfoRecord>& records);
