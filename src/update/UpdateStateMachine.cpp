#include "update/UpdateStateMachine.h"

#include <chrono>
#include <thread>

#include "image/ProductIdentity.h"
#include "update/LineSpeeds.h"
#include "update/UpdateCommands.h"
#include "update/UpdateView.h"

namespace {

constexpr uint32_t NoBootLoaderInfo = 0xFFFFFFFF;
constexpr uint32_t FirstInvalidModelNumber = 0x10000;

const QString InitialisingText = QStringLiteral("Initialising Upgrade.....");
const QString EnablingText = QStringLiteral("Enabling BootLoader.....");
const QString BootLoaderInfoText = QStringLiteral("Retrieving Bootloader Info......");
const QString ModelNumberText = QStringLiteral("Retrieving Model Number......");
const QString ErasingText = QStringLiteral("Erasing Program Memory......");
const QString SendingText = QStringLiteral("Sending New Program Data......");
const QString DisablingText = QStringLiteral("Disabling Boot Mode......");
const QString RestartingText = QStringLiteral("Restarting Unit......");
const QString FinalisingText = QStringLiteral("Finalising Upgrade.....");

// 1: the settings step succeeded; 99: it had nothing to do for this unit.
bool SettingsStepSucceeded(int32_t result) {
  return result == 1 || result == 99;
}

QString BootLoaderInfoLine(uint32_t info) {
  const uint32_t version = info & 0xFFFF;
  return BootLoaderInfoText + QString::asprintf("RM%d v%d.%.2d", static_cast<int>(info >> 16),
                                                static_cast<int>(version / 100),
                                                static_cast<int>(version % 100));
}

}  // namespace

bool StopEndsRunAt(int32_t state) {
  switch (state) {
    case UpdateState::LeaveBootMode:
    case UpdateState::Restart:
    case UpdateState::RestartDone:
    case UpdateState::FinaliseUpgrade:
    case UpdateState::Finished:
      return false;
    default:
      return true;
  }
}

const UpdateStateMachine::StateRow UpdateStateMachine::States[] = {
    {UpdateState::InitialiseUpgrade, &UpdateStateMachine::InitialiseUpgrade},
    {UpdateState::EnableBootLoader, &UpdateStateMachine::EnableBootLoader},
    {UpdateState::BootLoaderInfo, &UpdateStateMachine::BootLoaderInfo},
    {UpdateState::ModelNumber, &UpdateStateMachine::ModelNumber},
    {UpdateState::EraseMemory, &UpdateStateMachine::EraseMemory},
    {UpdateState::SendProgram, &UpdateStateMachine::SendProgram},
    {UpdateState::LeaveBootMode, &UpdateStateMachine::LeaveBootMode},
    {UpdateState::Restart, &UpdateStateMachine::Restart},
    {UpdateState::RestartDone, &UpdateStateMachine::RestartDone},
    {UpdateState::FinaliseUpgrade, &UpdateStateMachine::FinaliseUpgrade},
    {UpdateState::Finished, &UpdateStateMachine::Finished},
};

UpdateStateMachine::UpdateStateMachine(UpdateView& view, UpdateCommands& commands)
    : view_(view), commands_(commands) {}

void UpdateStateMachine::Start() {
  outcome_ = RunOutcome{};
  view_.SetRunButtonsEnabled(false);
  view_.PostUpdateState(UpdateState::InitialiseUpgrade);
}

UpdateStateMachine::Outcome UpdateStateMachine::Dispatch(int32_t state) {
  for (const StateRow& row : States) {
    if (row.state == state) {
      (this->*row.step)();
      // The commands' own lines come after the state's, which stays as the
      // state left it.
      for (const LogNote& note : commands_.TakeLogNotes()) view_.AppendNote(note);
      return state == UpdateState::Finished ? Outcome::Finished : Outcome::Continuing;
    }
  }
  return Outcome::Ignored;
}

void UpdateStateMachine::InitialiseUpgrade() {
  view_.ClearLog();
  view_.AppendLogLine(InitialisingText);
  ReopenLinkAtUnitSpeed();
  if (commands_.ReadUpgradeInfo() != 1) {
    view_.SetLastLogLine(InitialisingText + "Done (0)");
    view_.PostUpdateState(UpdateState::EnableBootLoader);
    return;
  }
  if (SettingsStepSucceeded(commands_.SaveUnitSettings())) {
    view_.SetLastLogLine(InitialisingText + "Done (1)");
    view_.PostUpdateState(UpdateState::EnableBootLoader);
  } else {
    view_.SetLastLogLine(InitialisingText + "Error");
    FailRun(UpdateState::InitialiseUpgrade);
  }
}

void UpdateStateMachine::EnableBootLoader() {
  // Settings that could not be kept end the run before the unit is touched;
  // the commands' note says why.
  if (!commands_.KeepSettingsBeforeBootEntry()) {
    FailRun(UpdateState::KeepSettings);
    return;
  }
  view_.AppendLogLine(EnablingText);
  commands_.EnableBootLoader();
  view_.SetLastLogLine(EnablingText + "Done");
  view_.PostUpdateState(UpdateState::BootLoaderInfo);
}

void UpdateStateMachine::BootLoaderInfo() {
  view_.AppendLogLine(BootLoaderInfoText);
  commands_.ReadBootLoaderInfo();
  const uint32_t info = commands_.ReadBootLoaderInfo();
  view_.SetLastLogLine(info == NoBootLoaderInfo ? BootLoaderInfoText + "Info Unavailable"
                                                : BootLoaderInfoLine(info));
  view_.PostUpdateState(UpdateState::ModelNumber);
}

void UpdateStateMachine::ModelNumber() {
  view_.AppendLogLine(ModelNumberText);
  commands_.ReadModelNumber();
  const int32_t pause = view_.Identity().ModelReadDelay;
  if (pause > 0) {
    // A plain sleep: the unit needs the gap, and no message may run in it.
    std::this_thread::sleep_for(std::chrono::milliseconds(pause));
  }
  const uint32_t model = commands_.ReadModelNumber();
  if (model == view_.Identity().ExpectedModel) {
    view_.SetLastLogLine(ModelNumberText + "OK");
    view_.PostUpdateState(UpdateState::EraseMemory);
  } else if (model < FirstInvalidModelNumber) {
    view_.SetLastLogLine(ModelNumberText + "Error (Incompatible Model)");
    FailRun(UpdateState::ModelNumber);
  } else {
    view_.SetLastLogLine(ModelNumberText + "Error (No Reply)");
    FailRun(UpdateState::ModelNumber);
  }
}

void UpdateStateMachine::EraseMemory() {
  view_.AppendLogLine(ErasingText);
  if (commands_.EraseProgramMemory()) {
    view_.PostUpdateState(UpdateState::SendProgram);
  } else {
    view_.SetLastLogLine(ErasingText + "Error Detected");
    FailRun(UpdateState::EraseMemory);
  }
}

void UpdateStateMachine::SendProgram() {
  view_.AppendLogLine(SendingText);
  if (commands_.SendProgramData()) {
    view_.PostUpdateState(UpdateState::LeaveBootMode);
  } else {
    view_.SetLastLogLine(SendingText + "Error Detected");
    FailRun(UpdateState::SendProgram);
  }
}

void UpdateStateMachine::LeaveBootMode() {
  view_.AppendLogLine(DisablingText);
  commands_.DisableBootMode();
  view_.SetLastLogLine(DisablingText + "Done");
  view_.PostUpdateState(UpdateState::Restart);
}

void UpdateStateMachine::Restart() {
  view_.AppendLogLine(RestartingText);
  commands_.RestartUnit();
  view_.PostUpdateState(UpdateState::RestartDone);
}

void UpdateStateMachine::RestartDone() {
  view_.SetLastLogLine(RestartingText + "Done");
  view_.PostUpdateState(UpdateState::FinaliseUpgrade);
}

void UpdateStateMachine::FinaliseUpgrade() {
  view_.AppendLogLine(FinalisingText);
  ReopenLinkAtUnitSpeed();
  // Kept settings that did not go back are lost: the run must not read as a
  // success.
  if (!SettingsStepSucceeded(commands_.RestoreUnitSettings())) {
    view_.SetLastLogLine(FinalisingText + "Error");
    FailRun(UpdateState::FinaliseUpgrade);
    return;
  }
  view_.SetLastLogLine(FinalisingText + "Done");
  outcome_.Completed = true;
  view_.PostUpdateState(UpdateState::Finished);
}

void UpdateStateMachine::Finished() {
  commands_.RunFinished();
  view_.SetRunButtonsEnabled(true);
  view_.RunEnded(outcome_);
}

void UpdateStateMachine::FailRun(int32_t state) {
  outcome_.FailedState = state;
  view_.PostUpdateState(UpdateState::Finished);
}

void UpdateStateMachine::ReopenLinkAtUnitSpeed() {
  commands_.ReopenLink(UnitSpeed(view_.Identity().ExpectedModel));
}
