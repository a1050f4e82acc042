#pragma once

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

// The comm port selection dialog: a list of COM1 to COM32, Ok and Cancel
// (the default button; Escape does nothing, the close box cancels), and a
// line under the list naming the device the selected number maps to.
class TCommSelFrm : public QDialog {
  Q_OBJECT

 public:
  explicit TCommSelFrm(QWidget* parent = nullptr);

  // The device of each number, COM1 first: each item's tooltip, and the
  // line under the list for the selected one.
  void SetPortDevices(const QStringList& devices);

  QGroupBox* GroupBox1 = nullptr;
  QLabel* Label1 = nullptr;
  QComboBox* ComboBox1 = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ShowSelectedDevice();
};
