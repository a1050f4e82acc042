#pragma once

#include <QList>
#include <QString>
#include <cstdint>

// A line of the commands' own for the log: what they decided beyond their
// results. A routine one says what a run that goes to plan does; a log that
// holds only the sequence's own lines leaves it out.
struct LogNote {
  QString Text;
  bool Routine = false;
};

// The commands the update sequence issues, one per step, with the results
// the sequence relies on. The sequence owns the order and the log; each
// command owns its exchange with the unit.
class UpdateCommands {
 public:
  virtual ~UpdateCommands() = default;

  // Closes the link and opens it again at baudRate; the outcome is left to
  // the commands that follow.
  virtual void ReopenLink(uint32_t baudRate) = 0;

  // Modbus result of reading the unit's model and version; 1 = answered.
  virtual int32_t ReadUpgradeInfo() = 0;
  // 1 = settings kept, 99 = nothing to keep, anything else = failure.
  virtual int32_t SaveUnitSettings() = 0;
  // Before the boot-entry request: false when what was read cannot be kept,
  // and the unit must then stay out of its boot loader.
  virtual bool KeepSettingsBeforeBootEntry() = 0;
  virtual int32_t EnableBootLoader() = 0;
  // Boot loader RM number in the high half, version in the low half;
  // all ones when there is no information.
  virtual uint32_t ReadBootLoaderInfo() = 0;
  // The unit's model number, or a value above 0xFFFF when it gave none.
  virtual uint32_t ReadModelNumber() = 0;
  virtual bool EraseProgramMemory() = 0;
  virtual bool SendProgramData() = 0;
  virtual bool DisableBootMode() = 0;
  virtual int32_t RestartUnit() = 0;
  // 1 = settings written back, 99 = nothing to write back, anything else =
  // failure.
  virtual int32_t RestoreUnitSettings() = 0;

  // The run is over (state 99 runs): the commands note what they leave
  // behind.
  virtual void RunFinished() = 0;

  // The commands' notes, taken once each. They follow the state's own line.
  virtual QList<LogNote> TakeLogNotes() = 0;
};
