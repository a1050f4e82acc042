#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

#include "update/KeptSettingsStore.h"
#include "update/UpdateCommands.h"

class UpdateView;
class UpgradeSteps;

// The kept settings of a run, and what became of them.
struct KeptSettingsOutcome {
  enum class State { Pending, WrittenBack };

  KeptSettings Settings;
  State What = State::Pending;
  QString File;  // where they are now; empty once written back
};

// Keeps the settings read before boot entry in the port's file until they
// are written back, so that a run stopped while the unit is in its boot
// loader loses nothing. The next run on that port writes them back only
// into a unit that did not answer as a running unit, whose boot loader
// reports their model, and only once its update has completed. A unit that
// answers is, or may be, another one: the file is set aside, never applied.
class SettingsSafeKeeping {
 public:
  SettingsSafeKeeping(UpdateView& view, UpgradeSteps& steps);

  // The port has been seen without a unit since its file was written: any
  // unit there now is another one, and the file is set aside, never applied.
  void PortSeenEmpty() { portSeenEmpty_ = true; }
  // The unit's model and version were asked for; answered: it replied as a
  // running unit does.
  void UpgradeInfoRead(bool answered);
  // SaveUnitSettings read the settings.
  void SettingsRead() { readThisRun_ = true; }
  // Before the boot-entry request: false when the settings read could not
  // be kept, and the unit must then stay out of its boot loader.
  bool KeepBeforeBootEntry();
  void ModelReported(uint32_t model) { lastModel_ = model; }
  // Before the settings go back: takes up those of an interrupted run when
  // this unit's boot loader reported their model.
  void BeforeRestore();
  void AfterRestore(int32_t result);
  // The run is over: settings still pending stay in their file.
  void RunFinished();

  // The lines for the log since the last call, each a decision taken;
  // routine for those of a run that goes to plan.
  QList<LogNote> TakeNotes();
  // This run's kept settings, or nothing when it had none.
  const std::optional<KeptSettingsOutcome>& Outcome() const { return outcome_; }
  // The file an earlier run's settings were set aside in; empty when none.
  const QString& SetAsideFile() const { return setAsideFile_; }

 private:
  void SetAside(const QString& reason);
  void Note(const QString& text, bool routine = false) { notes_.append({text, routine}); }
  KeptSettings ReadSettings() const;

  UpdateView& view_;
  UpgradeSteps& steps_;
  std::optional<KeptSettingsStore> store_;
  // Settings an interrupted run left for this port, until this run decides.
  std::optional<KeptSettings> found_;
  std::optional<KeptSettingsOutcome> outcome_;
  QString setAsideFile_;
  QList<LogNote> notes_;
  bool readThisRun_ = false;
  // Writing back was tried: its outcome is noted already.
  bool restoreTried_ = false;
  bool portSeenEmpty_ = false;
  uint32_t lastModel_ = 0;
};
