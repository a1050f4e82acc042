#pragma once

#include <QEvent>
#include <QObject>
#include <QStringList>
#include <optional>
#include <vector>

#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "update/UpdateStateMachine.h"
#include "update/UpdateView.h"

// A window stand-in for the update sequence: it keeps the log as lines,
// records the posted states and the button state, and delivers each posted
// state through a real Qt event queue to the state machine.
class RecordingView final : public QObject, public UpdateView {
 public:
  QStringList Log;
  int SelectedLine = -1;
  std::vector<int32_t> PostedStates;
  bool RunButtonsEnabled = true;
  ProductIdentity Product;
  FirmwareImage Firmware;
  UpdateStateMachine* Machine = nullptr;
  UpdateStateMachine::Outcome LastOutcome = UpdateStateMachine::Outcome::Ignored;
  // What the sequence said at the end of the run.
  std::optional<RunOutcome> Ended;
  // Whether the log takes routine notes, as the command line's does.
  bool RoutineNotesShown = true;

  void ClearLog() override;
  void AppendLogLine(const QString& text) override;
  void SetLastLogLine(const QString& text) override;
  void DelayWithMessages(int32_t milliseconds) override;
  void ProcessPendingMessages() override;
  void SetRunButtonsEnabled(bool enabled) override;
  void PostUpdateState(int32_t state) override;
  void RunEnded(const RunOutcome& outcome) override { Ended = outcome; }
  void AppendNote(const LogNote& note) override {
    if (!note.Routine || RoutineNotesShown) AppendLogLine(note.Text);
  }
  TKovaComms* CommsLink() override { return nullptr; }
  std::string PortDevice() const override { return {}; }
  const ProductIdentity& Identity() const override { return Product; }
  const FirmwareImage& Image() const override { return Firmware; }
  int32_t SlaveAddress() const override { return 1; }
  int32_t SlaveAddressOffset() const override { return 0; }

  // Dispatches posted states until state 99 has run or nothing more is
  // posted; false when that took longer than the generous limit.
  bool RunUntilIdle();

 protected:
  bool event(QEvent* event) override;

 private:
  int pendingStates_ = 0;
};
