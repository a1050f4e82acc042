#include "update/SettingsSafeKeeping.h"

#include <QFile>
#include <utility>

#include "image/ProductIdentity.h"
#include "update/UpdateView.h"
#include "update/UpgradeSteps.h"

namespace {

constexpr uint32_t NoModelNumber = 0xFFFF0000;

}  // namespace

SettingsSafeKeeping::SettingsSafeKeeping(UpdateView& view, UpgradeSteps& steps)
    : view_(view), steps_(steps) {}

void SettingsSafeKeeping::UpgradeInfoRead(bool answered) {
  readThisRun_ = false;
  restoreTried_ = false;
  notes_.clear();
  lastModel_ = NoModelNumber;
  found_.reset();
  outcome_.reset();
  setAsideFile_.clear();
  store_.reset();
  const std::string device = view_.PortDevice();
  if (device.empty()) return;
  store_.emplace(device);
  if (!store_->Exists()) return;
  KeptSettings found;
  const QString problem = store_->Load(found);
  if (!problem.isEmpty()) {
    SetAside(QStringLiteral("the file cannot be read (%1)").arg(problem));
  } else if (answered) {
    SetAside(QStringLiteral("this unit answers as a running unit and may be another one"));
  } else if (portSeenEmpty_) {
    SetAside(QStringLiteral("this unit was put on after the port was seen without a unit"));
  } else {
    found_ = found;
    outcome_ = KeptSettingsOutcome{found, KeptSettingsOutcome::State::Pending, store_->Path()};
    Note(QStringLiteral("Kept settings of an interrupted run on this port found in %1: they go "
                        "back if the boot loader reports model %2 and the update completes")
             .arg(store_->Path())
             .arg(found.UnitModel));
  }
}

bool SettingsSafeKeeping::KeepBeforeBootEntry() {
  if (!readThisRun_) return true;
  const KeptSettings settings = ReadSettings();
  const QString problem =
      store_ ? store_->Save(settings) : QStringLiteral("the port has no device");
  const QString path = store_ ? store_->Path() : QStringLiteral("the state folder");
  if (!problem.isEmpty()) {
    Note(QStringLiteral("Kept settings could not be saved in %1 (%2): the unit was not switched "
                        "into its boot loader; make that folder writable and run the update "
                        "again")
             .arg(path, problem));
    return false;
  }
  outcome_ = KeptSettingsOutcome{settings, KeptSettingsOutcome::State::Pending, path};
  Note(QStringLiteral("Kept settings saved in %1 until they are written back").arg(path), true);
  return true;
}

void SettingsSafeKeeping::BeforeRestore() {
  if (!found_) return;
  if (lastModel_ != found_->UnitModel) {
    SetAside(QStringLiteral("the boot loader reports model %1, they are of model %2")
                 .arg(lastModel_)
                 .arg(found_->UnitModel));
    outcome_.reset();
    return;
  }
  steps_.UnitModel = found_->UnitModel;
  steps_.UnitVersion = found_->UnitVersion;
  steps_.SettingsSlave17 = found_->Slave17;
  steps_.SettingsSlave19 = found_->Slave19;
  steps_.SettingsSlave20 = found_->Slave20;
}

void SettingsSafeKeeping::AfterRestore(int32_t result) {
  if (!outcome_ || outcome_->What != KeptSettingsOutcome::State::Pending) return;
  restoreTried_ = true;
  if (result != 1) {
    Note(QStringLiteral("Kept settings not written back: they stay in %1; bootload-cli "
                        "--restore-settings %1 --port PORT writes them into the running unit")
             .arg(outcome_->File));
    return;
  }
  const QString problem = store_->Remove();
  if (problem.isEmpty()) {
    // Routine only for this run's own settings; an earlier run's coming
    // back is worth seeing.
    Note(QStringLiteral("Kept settings written back; %1 removed").arg(outcome_->File), !found_);
  } else {
    Note(QStringLiteral("Kept settings written back, but %1 could not be removed (%2): delete it "
                        "by hand")
             .arg(outcome_->File, problem));
  }
  outcome_->What = KeptSettingsOutcome::State::WrittenBack;
  if (problem.isEmpty()) outcome_->File.clear();
}

void SettingsSafeKeeping::RunFinished() {
  if (!outcome_ || outcome_->What != KeptSettingsOutcome::State::Pending || restoreTried_) return;
  Note(QStringLiteral("Kept settings not written back, as the run ended first: they stay in %1 "
                      "until an update of this unit on this port completes; run it again")
           .arg(outcome_->File));
}

QList<LogNote> SettingsSafeKeeping::TakeNotes() {
  return std::exchange(notes_, {});
}

void SettingsSafeKeeping::SetAside(const QString& reason) {
  found_.reset();
  QString aside;
  const QString problem = store_->SetAside(aside);
  if (!problem.isEmpty()) {
    Note(QStringLiteral("Kept settings in %1 not written back: %2; setting them aside failed "
                        "(%3): move the file away by hand")
             .arg(store_->Path(), reason, problem));
    return;
  }
  setAsideFile_ = aside;
  Note(QStringLiteral("Kept settings of an earlier run on this port not written back: %1; they "
                      "are set aside in %2")
           .arg(reason, aside));
}

KeptSettings SettingsSafeKeeping::ReadSettings() const {
  KeptSettings settings;
  settings.UnitModel = steps_.UnitModel;
  settings.UnitVersion = steps_.UnitVersion;
  settings.Product = view_.Identity().ProductTitle;
  settings.FirmwareVersion = view_.Identity().FirmwareVersion;
  settings.Port = QFile::decodeName(view_.PortDevice().c_str());
  settings.Time = QDateTime::currentDateTimeUtc();
  settings.Slave17 = steps_.SettingsSlave17;
  settings.Slave19 = steps_.SettingsSlave19;
  settings.Slave20 = steps_.SettingsSlave20;
  return settings;
}
