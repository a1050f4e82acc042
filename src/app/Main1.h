#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/MainWindowView.h"
#include "comms/KovaComms.h"
#include "image/FirmwareImage.h"
#include "image/ProductIdentity.h"
#include "image/ResourceStore.h"
#include "update/UpdateCommands.h"
#include "update/UpdateStateMachine.h"

class QAction;
class QFileDialog;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QStatusBar;
class TAboutBox;
class TCommSelFrm;
class TSlaveAddressSpinBox;

// Makes the update commands for the window, given the window's narrow view.
using UpdateCommandsFactory = std::function<std::unique_ptr<UpdateCommands>(UpdateView&)>;

// The main window: the log of the running update, Start and Close, the
// Slave Address box, the menu and the status bar naming the open port. Its
// construction does all of the program's own start-up work.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(ResourceStore resources = ResourceStore(),
                     const UpdateCommandsFactory& makeCommands = nullptr);
  ~TMainForm() override;

  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  void Button6Click();
  void Button1Click();
  void SpinEdit1Change(int value);
  void Exit1Click();
  void CommsPort1Click();
  void LoadFile1Click();
  void About1Click();

  // SIGTERM, SIGINT or SIGHUP: closes the port as Close does and ends the
  // program; at once when idle, else when the run has ended. SIGTERM and
  // SIGINT stop a run after the exchange under way while the unit has not
  // left its boot loader; SIGHUP never stops a run.
  void EndOnSignal(int signal);

  // From Start until state 99, unless a state ended the run by an exception.
  bool IsRunInProgress() const { return runInProgress_; }
  // How the last run that reached its end ended.
  RunOutcome LastRunOutcome;

  QString StartupDirectory;
  std::unique_ptr<TKovaComms> CommsLink;
  int32_t CommPortNumber = 0;
  FirmwareImage Image;
  ProductIdentity Identity;
  int32_t SlaveAddressOffset = 0;
  int32_t SlaveAddress = 0;

  QListWidget* ListBox1 = nullptr;
  QPushButton* Button6 = nullptr;
  QPushButton* Button1 = nullptr;
  QGroupBox* SlvAdd_GroupBox = nullptr;
  TSlaveAddressSpinBox* SpinEdit1 = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusPanel0 = nullptr;
  QLabel* StatusPanel1 = nullptr;
  QAction* LoadFile1 = nullptr;
  QAction* CloseConnection1 = nullptr;
  QAction* N1 = nullptr;
  QAction* Exit1 = nullptr;
  QAction* CommsPort1 = nullptr;
  QAction* About1 = nullptr;
  // Made when Load File first needs it: the toolkit's dialog writes the
  // folders it visited into the user's settings when it goes.
  QFileDialog* OpenDialog1 = nullptr;
  // The comm port dialog; the program creates it after the main window.
  TCommSelFrm* CommSelFrm = nullptr;
  // The About box; the program creates it right after the main window.
  TAboutBox* AboutBox = nullptr;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class DeferredEnd { None, Exit, Close, Signal };

  void CreateControls();
  void CreateMenu();
  void CreateStatusBar();
  void CentreOnScreen();

  void FormCreate();
  void ReadSettings();
  void WriteSettings();
  void OpenLinkAtStartup();
  void ShowOpenPort();
  void LoadProduct();
  void FormClose(QCloseEvent* event);

  void UpdateSequence(int32_t state);
  void CarryOutDeferredEnd();
  void EndAfterSignal();

  ResourceStore resources_;
  MainWindowView view_;
  std::unique_ptr<UpdateCommands> commands_;
  UpdateStateMachine sequence_;
  bool runInProgress_ = false;
  // The state under way, or the last one that ran.
  int32_t currentState_ = UpdateState::InitialiseUpgrade;
  DeferredEnd deferredEnd_ = DeferredEnd::None;
};
