#include "app/Main1.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <csignal>
#include <exception>

#include "app/About.h"
#include "app/Beep.h"
#include "app/BootloadApplication.h"
#include "app/CommSel.h"
#include "app/LoadFileDialogs.h"
#include "app/LogList.h"
#include "app/MessageBoxes.h"
#include "app/SlaveAddressSpinBox.h"
#include "app/TopLineBevel.h"
#include "image/ImageFile.h"
#include "image/ProcessorTable.h"
#include "settings/FileNameBytes.h"
#include "settings/LineEchoSetting.h"
#include "settings/PortMapping.h"
#include "settings/SettingsFile.h"
#include "update/LineSpeeds.h"
#include "update/UpdateEngine.h"
#include "update/UpdateStateEvent.h"

namespace {

constexpr int ClientWidth = 514;
constexpr int ClientHeight = 196;
constexpr int StatusBarHeight = 19;
constexpr int StatusPanel0Width = 150;
constexpr int StatusPanel1Width = 50;
constexpr int MinimumSlaveAddress = 1;
constexpr int MaximumSlaveAddress = 247;
constexpr int PortListSize = 32;

std::unique_ptr<UpdateCommands> MakeUpdateEngine(UpdateView& view) {
  return std::make_unique<UpdateEngine>(view);
}

}  // namespace

TMainForm::TMainForm(ResourceStore resources, const UpdateCommandsFactory& makeCommands)
    : resources_(std::move(resources)),
      view_(*this),
      commands_((makeCommands ? makeCommands : MakeUpdateEngine)(view_)),
      sequence_(view_, *commands_) {
  CreateControls();
  FormCreate();
}

TMainForm::~TMainForm() {
  // Destroying the window takes the focus from the Slave Address box after
  // this object's part is gone; its change must not reach the window then.
  QObject::disconnect(SpinEdit1, nullptr, this, nullptr);
}

void TMainForm::CreateControls() {
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QStringLiteral("Bootloader"));

  auto* client = new QWidget(this);
  client->setFixedSize(ClientWidth, ClientHeight - StatusBarHeight);
  setCentralWidget(client);

  auto* bevel = new TTopLineBevel(client);
  bevel->setGeometry(0, 0, ClientWidth, 9);

  ListBox1 = new QListWidget(client);
  ListBox1->setGeometry(8, 8, 497, 105);
  ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListBox1->setUniformItemSizes(true);

  Button6 = new QPushButton(QStringLiteral("Start"), client);
  Button6->setGeometry(223, 120, 75, 49);
  Button6->setEnabled(false);
  connect(Button6, &QPushButton::clicked, this, &TMainForm::Button6Click);

  Button1 = new QPushButton(QStringLiteral("Close"), client);
  Button1->setGeometry(432, 120, 75, 49);
  connect(Button1, &QPushButton::clicked, this, &TMainForm::Button1Click);

  SlvAdd_GroupBox = new QGroupBox(QStringLiteral(" Slave Address "), client);
  SlvAdd_GroupBox->setGeometry(8, 120, 137, 49);
  SpinEdit1 = new TSlaveAddressSpinBox(SlvAdd_GroupBox);
  SpinEdit1->setGeometry(40, 16, 57, 22);
  SpinEdit1->setRange(MinimumSlaveAddress, MaximumSlaveAddress);
  SpinEdit1->setValue(MinimumSlaveAddress);
  connect(SpinEdit1, &TSlaveAddressSpinBox::TextValueChanged, this, &TMainForm::SpinEdit1Change);

  setTabOrder(ListBox1, Button6);
  setTabOrder(Button6, Button1);
  setTabOrder(Button1, SpinEdit1);

  CreateMenu();
  CreateStatusBar();
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void TMainForm::CreateMenu() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  LoadFile1 = file->addAction(QStringLiteral("Load File"));
  // Queued: its errors must reach the default handler from the event loop,
  // not unwind through the menu's own code.
  connect(LoadFile1, &QAction::triggered, this, &TMainForm::LoadFile1Click, Qt::QueuedConnection);
  CloseConnection1 = file->addAction(QStringLiteral("&Close Connection"));
  CloseConnection1->setEnabled(false);
  N1 = file->addSeparator();
  Exit1 = file->addAction(QStringLiteral("E&xit"));
  connect(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);

  QMenu* options = menuBar()->addMenu(QStringLiteral("&Options"));
  CommsPort1 = options->addAction(QStringLiteral("&Comms Port"));
  // Queued, so that an error from the port reaches the application's handler
  // from the event queue rather than through the menu's own frames.
  connect(CommsPort1, &QAction::triggered, this, &TMainForm::CommsPort1Click, Qt::QueuedConnection);

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  About1 = help->addAction(QStringLiteral("&About...."));
  connect(About1, &QAction::triggered, this, &TMainForm::About1Click);
}

void TMainForm::CreateStatusBar() {
  StatusBar1 = statusBar();
  StatusBar1->setSizeGripEnabled(false);
  StatusBar1->setFixedHeight(StatusBarHeight);
  StatusPanel0 = new QLabel(StatusBar1);
  StatusPanel0->setFixedWidth(StatusPanel0Width);
  StatusPanel1 = new QLabel(StatusBar1);
  StatusPanel1->setFixedWidth(StatusPanel1Width);
  StatusBar1->addWidget(StatusPanel0);
  StatusBar1->addWidget(StatusPanel1);
}

void TMainForm::CentreOnScreen() {
  adjustSize();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
  }
}

void TMainForm::FormCreate() {
  // From the folder's bytes, so that a name that is not UTF-8 still names it.
  StartupDirectory = CurrentFolderName() + QLatin1Char('/');
  SlaveAddressOffset = 0;
  SlaveAddress = MinimumSlaveAddress;
  SlvAdd_GroupBox->hide();
  CentreOnScreen();
  show();
  Image.ClearImage();
  // A settings file that cannot be written costs only the remembered port:
  // start-up goes on.
  try {
    ReadSettings();
  } catch (const std::exception& error) {
    TBootloadApplication::ShowException(error);
  }
  LoadFile1->setVisible(false);
  // Without identity and image the window stays up, but Start stays off.
  try {
    LoadProduct();
  } catch (const std::exception& error) {
    TBootloadApplication::ShowException(error);
  }
}

void TMainForm::ReadSettings() {
  CommPortNumber = ReadCommPortSetting(StartupDirectory);
  // Only a missing file is created; the port is known before the write, so
  // a file that cannot be created still leaves port 1.
  if (!SettingsFileExists(StartupDirectory)) WriteSettings();
}

void TMainForm::WriteSettings() {
  WriteCommPortSetting(StartupDirectory, CommPortNumber);
}

void TMainForm::ShowOpenPort() {
  StatusPanel0->setText(" Port: COM" + QString::number(CommPortNumber));
  StatusPanel0->setToolTip(ComPortMap(StartupDirectory).DeviceText(CommPortNumber));
}

void TMainForm::OpenLinkAtStartup() {
  CommsLink = std::make_unique<TKovaComms>(MakePortResolver(StartupDirectory));
  CommsLink->BaudRate = StartupBaudRate;
  CommsLink->Parity = TParity::None;
  CommsLink->DataBits = 8;
  CommsLink->StopBits = TStopBits::sb1;
  CommsLink->CommPort = static_cast<uint8_t>(CommPortNumber - 1);
  CommsLink->RxBufferSize = StartupRxBufferSize;
  if (CommsLink->Open()) {
    ShowOpenPort();
    WriteSettings();
  } else {
    const QString detail = QString::fromStdString(CommsLink->OpenFailureDetail());
    ReportDetail(detail);
    ShowPlainMessage(QStringLiteral("Unable To Open Comms Port. Please Select Another."), detail);
  }
}

void TMainForm::LoadProduct() {
  const SlaveAddressGroup group = BuildProductIdentity(Identity, resources_);
  SlvAdd_GroupBox->setVisible(group == SlaveAddressGroup::Shown);
  TBootloadApplication::SetTitle(Identity.ProductTitle);
  setWindowTitle(TBootloadApplication::Title());
  LoadEmbeddedImage(Image, resources_);
  Button6->setEnabled(true);
  OpenLinkAtStartup();
}

void TMainForm::Button6Click() {
  // Read at every Start, like [Ports]: each run finds the line's echo anew.
  if (CommsLink) CommsLink->SetEchoMode(ReadLineEchoSetting(StartupDirectory));
  runInProgress_ = true;
  currentState_ = UpdateState::InitialiseUpgrade;
  sequence_.Start();
}

void TMainForm::Button1Click() {
  close();
}

void TMainForm::SpinEdit1Change(int value) {
  SlaveAddress = value;
}

void TMainForm::Exit1Click() {
  if (runInProgress_) {
    deferredEnd_ = DeferredEnd::Exit;
    return;
  }
  QCoreApplication::quit();
}

void TMainForm::EndOnSignal(int signal) {
  if (!runInProgress_) {
    EndAfterSignal();
    return;
  }
  // A lost terminal never stops a run; the others stop it where the command
  // line would, and the unit is left as it leaves it.
  if (signal != SIGHUP && CommsLink && StopEndsRunAt(currentState_)) {
    CommsLink->StopAfterExchange();
    view_.StopAfterCurrentState();
  }
  deferredEnd_ = DeferredEnd::Signal;
}

void TMainForm::EndAfterSignal() {
  close();
  // Ends the loops of any dialog too; a dialog opened later returns at once.
  QCoreApplication::exit(0);
}

bool TMainForm::event(QEvent* event) {
  if (event->type() == WM_UPDATE_STATE) {
    UpdateSequence(static_cast<TUpdateStateEvent*>(event)->State);
    return true;
  }
  return QMainWindow::event(event);
}

void TMainForm::closeEvent(QCloseEvent* event) {
  // The link must outlive the run: the end waits for state 99.
  if (runInProgress_) {
    deferredEnd_ = DeferredEnd::Close;
    event->ignore();
    return;
  }
  FormClose(event);
}

void TMainForm::FormClose(QCloseEvent* event) {
  if (CommsLink) {
    CommsLink->Close();
    CommsLink.reset();
  }
  // Closing the main window ends the program.
  event->accept();
}

void TMainForm::CommsPort1Click() {
  // The run needs its link where it is until state 99; without a link
  // (start-up stopped early) there is nothing to move.
  if (runInProgress_ || !CommsLink || CommSelFrm == nullptr) {
    MessageBeep(BeepSound::Default);
    return;
  }
  const ComPortMap ports(StartupDirectory);
  QStringList devices;
  for (int comNumber = 1; comNumber <= PortListSize; ++comNumber) {
    devices.append(ports.DeviceText(comNumber));
  }
  CommSelFrm->SetPortDevices(devices);
  const int current = CommPortNumber - 1;
  CommSelFrm->ComboBox1->setCurrentIndex(current >= 0 && current < PortListSize ? current : -1);
  if (CommSelFrm->exec() != QDialog::Accepted) return;
  const int selected = CommSelFrm->ComboBox1->currentIndex();
  CommsLink->Close();
  CommsLink->CommPort = static_cast<uint8_t>(selected);
  if (CommsLink->Open()) {
    CommPortNumber = selected + 1;
    WriteSettings();
    ShowOpenPort();
    return;
  }
  const QString detail = QString::fromStdString(CommsLink->OpenFailureDetail());
  CommsLink->CommPort = static_cast<uint8_t>(CommPortNumber - 1);
  CommsLink->Open();
  ReportDetail(detail);
  BeepAndShowMessage(QStringLiteral("Unable To Open Comm Port."), MessageKind::Error,
                     QMessageBox::Ok, 0, detail);
}

void TMainForm::LoadFile1Click() {
  // Replacing the image under a running transfer would mix two images.
  if (runInProgress_) {
    MessageBeep(BeepSound::Default);
    return;
  }
  if (OpenDialog1 == nullptr) OpenDialog1 = CreateOpenDialog(this);
  const auto path = ExecuteOpenDialog(*OpenDialog1);
  if (!path) return;
  const ImageFileContent file = ReadImageFile(*path);
  // A raw image is loaded at once; a file with addresses only once the
  // processor it is for is known, since its addresses are checked against
  // that processor's program memory.
  if (file.Format == ImageFileFormat::Raw) ApplyImageFile(Image, file, Identity.ProgramEndAddress);
  const uint16_t processorNumber =
      InputWord(this, QStringLiteral("Enter Processor No."), QStringLiteral("Processor No."));
  if (file.Format != ImageFileFormat::Raw) {
    ApplyImageFile(Image, file,
                   ProgramEndAddressOf(processorNumber).value_or(Identity.ProgramEndAddress));
  }
  Identity.ProcessorNumber = processorNumber;
  SetProgramEndAddress(Identity);
  const uint16_t rmNumber =
      InputWord(this, QStringLiteral("Enter RM No."), QStringLiteral("RM No."));
  Identity.RmNumber = rmNumber;
  Identity.ExpectedModel = rmNumber;
  AddLogLine(*ListBox1, "New File Loaded...RM" + QString::number(rmNumber));
  // Start must not run without a link.
  if (CommsLink) Button6->setEnabled(true);
}

void TMainForm::About1Click() {
  // The box's own loop would run inside the link's wait and hold the transfer.
  if (runInProgress_) {
    MessageBeep(BeepSound::Default);
    return;
  }
  if (AboutBox != nullptr) AboutBox->exec();
}

void TMainForm::UpdateSequence(int32_t state) {
  if (state != UpdateState::Finished) currentState_ = state;
  UpdateStateMachine::Outcome outcome = UpdateStateMachine::Outcome::Ignored;
  try {
    outcome = sequence_.Dispatch(state);
  } catch (...) {
    // The state posted no successor: the run is over, though Start and
    // Close stay disabled. A signal still ends the program, from the loop
    // of the error box that follows.
    runInProgress_ = false;
    if (deferredEnd_ == DeferredEnd::Signal) {
      QMetaObject::invokeMethod(this, &TMainForm::EndAfterSignal, Qt::QueuedConnection);
    }
    deferredEnd_ = DeferredEnd::None;
    throw;
  }
  if (outcome == UpdateStateMachine::Outcome::Finished) {
    runInProgress_ = false;
    CarryOutDeferredEnd();
  }
}

void TMainForm::CarryOutDeferredEnd() {
  const DeferredEnd end = deferredEnd_;
  deferredEnd_ = DeferredEnd::None;
  switch (end) {
    case DeferredEnd::Exit:
      QCoreApplication::quit();
      break;
    case DeferredEnd::Close:
      close();
      break;
    case DeferredEnd::Signal:
      EndAfterSignal();
      break;
    case DeferredEnd::None:
      break;
  }
}
