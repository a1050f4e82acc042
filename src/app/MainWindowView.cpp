#include "app/MainWindowView.h"

#include <QCoreApplication>
#include <QListWidget>
#include <QPushButton>

#include "app/LogList.h"
#include "app/Main1.h"
#include "settings/PortMapping.h"
#include "update/DelayWithMessages.h"
#include "update/UpdateStateEvent.h"
#include "update/UpdateStateMachine.h"

MainWindowView::MainWindowView(TMainForm& form) : form_(form) {}

void MainWindowView::ClearLog() {
  form_.ListBox1->clear();
}

void MainWindowView::AppendLogLine(const QString& text) {
  ::AppendLogLine(*form_.ListBox1, text);
}

void MainWindowView::AppendNote(const LogNote& note) {
  if (!note.Routine) ::AppendLogLine(*form_.ListBox1, note.Text);
}

void MainWindowView::SetLastLogLine(const QString& text) {
  ::SetLastLogLine(*form_.ListBox1, text);
}

void MainWindowView::DelayWithMessages(int32_t milliseconds) {
  ::DelayWithMessages(milliseconds);
}

void MainWindowView::ProcessPendingMessages() {
  QCoreApplication::processEvents();
}

void MainWindowView::SetRunButtonsEnabled(bool enabled) {
  form_.Button6->setEnabled(enabled);
  form_.Button1->setEnabled(enabled);
}

void MainWindowView::PostUpdateState(int32_t state) {
  const int32_t next = stopping_ ? UpdateState::Finished : state;
  QCoreApplication::postEvent(&form_, new TUpdateStateEvent(next));
}

void MainWindowView::RunEnded(const RunOutcome& outcome) {
  form_.LastRunOutcome = outcome;
}

TKovaComms* MainWindowView::CommsLink() {
  return form_.CommsLink.get();
}

std::string MainWindowView::PortDevice() const {
  return ComPortMap(form_.StartupDirectory).DevicePath(form_.CommPortNumber);
}

const ProductIdentity& MainWindowView::Identity() const {
  return form_.Identity;
}

const FirmwareImage& MainWindowView::Image() const {
  return form_.Image;
}

int32_t MainWindowView::SlaveAddress() const {
  return form_.SlaveAddress;
}

int32_t MainWindowView::SlaveAddressOffset() const {
  return form_.SlaveAddressOffset;
}
