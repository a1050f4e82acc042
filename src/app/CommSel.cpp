#include "app/CommSel.h"

#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

#include "app/DialogPlacement.h"

namespace {

constexpr int PortCount = 32;

}  // namespace

TCommSelFrm::TCommSelFrm(QWidget* parent) : QDialog(parent) {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QStringLiteral("Comm Port Selection"));
  setFixedSize(225, 137);

  GroupBox1 = new QGroupBox(QStringLiteral(" Select Comms Port To Use "), this);
  GroupBox1->setGeometry(8, 8, 209, 89);
  Label1 = new QLabel(QStringLiteral("Comm Port"), GroupBox1);
  Label1->setGeometry(16, 40, 51, 13);
  ComboBox1 = new QComboBox(GroupBox1);
  ComboBox1->setGeometry(96, 37, 89, ComboBox1->sizeHint().height());
  for (int port = 1; port <= PortCount; ++port) ComboBox1->addItem("COM" + QString::number(port));
  Label2 = new QLabel(GroupBox1);
  Label2->setGeometry(8, 66, 193, 15);
  connect(ComboBox1, &QComboBox::currentIndexChanged, this, &TCommSelFrm::ShowSelectedDevice);

  Button1 = new QPushButton(QStringLiteral("&Ok"), this);
  Button1->setGeometry(24, 104, 75, 25);
  connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
  Button2->setGeometry(128, 104, 75, 25);
  Button2->setDefault(true);
  connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
}

void TCommSelFrm::SetPortDevices(const QStringList& devices) {
  for (int index = 0; index < ComboBox1->count(); ++index) {
    ComboBox1->setItemData(index, devices.value(index), Qt::ToolTipRole);
  }
  ShowSelectedDevice();
}

void TCommSelFrm::ShowSelectedDevice() {
  const QString device = ComboBox1->currentData(Qt::ToolTipRole).toString();
  // The dialog keeps its size: a long line is cut, its tooltip shows it all.
  Label2->setText(Label2->fontMetrics().elidedText(device, Qt::ElideRight, Label2->width()));
  Label2->setToolTip(device);
}

// Centred over the main window at every showing.
void TCommSelFrm::showEvent(QShowEvent* event) {
  CentreOverParentWindow(*this);
  QDialog::showEvent(event);
}

void TCommSelFrm::keyPressEvent(QKeyEvent* event) {
  // No button answers Escape.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}
