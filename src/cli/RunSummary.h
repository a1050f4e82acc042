#pragma once

#include <QString>

#include "cli/UnitRecord.h"

// The name of a signal as the summary gives it: "INT", "TERM".
QString SignalName(int signal);

// " (TERM came once the unit had left its boot loader, too late to stop it)"
// for a stop that came too late to take effect, else empty.
QString LateStopNote(const UnitRecord& record);

// " (12 of 496 rows sent)" when the image leaves rows out, else empty.
QString RowsNote(const ImageOnRecord& image);

// How a unit's run ended, as its summary line gives it after the port:
// "updated", "failed: LINE", "stopped by INT at ..." with what became of the
// unit; stopSignal is the signal that asked every run to stop, 0 for none.
QString SummaryText(const UnitRecord& record, int stopSignal);
