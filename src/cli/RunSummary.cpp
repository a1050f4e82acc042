#include "cli/RunSummary.h"

#include <cstring>

#include "update/UpdateStateMachine.h"

QString SignalName(int signal) {
  return QString::fromLatin1(sigabbrev_np(signal));
}

QString LateStopNote(const UnitRecord& record) {
  if (record.LateStopSignal == 0) return {};
  return QStringLiteral(" (%1 came once the unit had left its boot loader, too late to stop it)")
      .arg(SignalName(record.LateStopSignal));
}

QString RowsNote(const ImageOnRecord& image) {
  if (image.RowsSent == image.ProgramRows) return {};
  return QStringLiteral(" (%1 of %2 rows sent)").arg(image.RowsSent).arg(image.ProgramRows);
}

QString SummaryText(const UnitRecord& record, int stopSignal) {
  switch (record.Outcome) {
    case UnitRecord::Result::Completed:
      return QStringLiteral("updated") + RowsNote(record.Image) + LateStopNote(record);
    case UnitRecord::Result::Current:
      return QStringLiteral("current, left alone");
    case UnitRecord::Result::Failed:
      return QStringLiteral("failed: ") + record.LastLogLine + LateStopNote(record);
    case UnitRecord::Result::PortNotOpened:
      return QStringLiteral("port not opened: ") + record.PortDetail;
    case UnitRecord::Result::Stopped:
      break;
  }
  const QString where =
      QStringLiteral("stopped by %1 at \"%2\"; ").arg(SignalName(stopSignal), record.LastLogLine);
  const QString unit = record.FailedState == UpdateState::InitialiseUpgrade
                           ? QStringLiteral("the unit was not changed")
                           : QStringLiteral(
                                 "the unit is left in its boot loader: run the update "
                                 "again to complete it");
  return where + unit;
}
