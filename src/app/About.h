#pragma once

#include <QDialog>
#include <QString>
#include <array>

class QFrame;
class QLabel;
class QPushButton;
class VersionInfoBlock;

// The About box: the program's description, version and build, and legal
// notice, read once from the version information when the box is created.
// OK (the default button) or the close box only hide it.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  static constexpr std::size_t VersionKeyCount = 10;
  // The keys of VersionStrings, in order.
  static const std::array<const char*, VersionKeyCount> VersionKeys;

  // versionInfoFile holds the version information: the program's own by
  // default, any file in the tests.
  explicit TAboutBox(QWidget* parent = nullptr,
                     QString versionInfoFile = QStringLiteral(":/version/VersionInfo.json"));

  // Fills VersionStrings, PreRelease and the labels from the version
  // information; the box's creation calls it once.
  void ReadVersionInfo();

  std::array<QString, VersionKeyCount> VersionStrings;
  bool PreRelease = false;

  QLabel* Image2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QFrame* Bevel1 = nullptr;
  QFrame* Bevel2 = nullptr;
  QLabel* Image1 = nullptr;
  QPushButton* OKButton = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void CreateControls();
  void FormCreate();
  void ReadBlock(const VersionInfoBlock& block);
  void FillLabels();

  QString versionInfoFile_;
};

// The version line of a FileVersion: "Version " + the part before its last
// full stop + "  Build " + the part after it.
QString VersionLine(const QString& fileVersion);
