#include "app/About.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <algorithm>

#include "app/AboutPictures.h"
#include "app/DialogPlacement.h"
#include "app/VersionInfo.h"

namespace {

constexpr int ClientWidth = 337;
constexpr int ClientHeight = 193;
constexpr int FontPointSize = 8;
constexpr uint32_t PreReleaseFlag = 0x2;
const QString NotAvailable = QStringLiteral("N/A");

enum VersionKeyIndex { FileDescription = 1, FileVersion = 2, LegalCopyright = 4 };

QLabel* createLabel(QWidget* parent, int left, int top) {
  auto* label = new QLabel(parent);
  label->move(left, top);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QString fourHexDigits(uint16_t value) {
  return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

// "StringFileInfo\" + language and code page as four upper-case hexadecimal
// digits each + "\".
QString stringTablePath(const VersionTranslation& translation) {
  return "StringFileInfo\\" + fourHexDigits(translation.Language) +
         fourHexDigits(translation.CodePage) + "\\";
}

}  // namespace

const std::array<const char*, TAboutBox::VersionKeyCount> TAboutBox::VersionKeys = {
    "CompanyName",     "FileDescription",  "FileVersion", "InternalName",   "LegalCopyright",
    "LegalTradeMarks", "OriginalFilename", "ProductName", "ProductVersion", "Comments"};

QString VersionLine(const QString& fileVersion) {
  const qsizetype lastStop = fileVersion.lastIndexOf(QLatin1Char('.'));
  return "Version " + fileVersion.left(std::max<qsizetype>(lastStop, 0)) + "  Build " +
         fileVersion.mid(lastStop + 1);
}

TAboutBox::TAboutBox(QWidget* parent, QString versionInfoFile)
    : QDialog(parent), versionInfoFile_(std::move(versionInfoFile)) {
  CreateControls();
  FormCreate();
}

void TAboutBox::CreateControls() {
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QStringLiteral("About...."));
  setFixedSize(ClientWidth, ClientHeight);
  QPalette buttonFace = palette();
  buttonFace.setColor(QPalette::Window, buttonFace.color(QPalette::Button));
  buttonFace.setColor(QPalette::WindowText, Qt::black);
  setPalette(buttonFace);
  setAutoFillBackground(true);
  QFont small = font();
  small.setPointSize(FontPointSize);
  setFont(small);

  // Created from back to front: later widgets are painted over earlier ones.
  Image2 = new QLabel(this);
  Image2->setGeometry(8, 8, 321, 137);
  Image2->setAlignment(Qt::AlignCenter);
  Image2->setPixmap(BetaStamp());
  Image2->hide();

  Label1 = createLabel(this, 99, 16);
  Label1->resize(222, 25);
  Label1->setWordWrap(true);
  Label2 = createLabel(this, 99, 48);
  Label3 = createLabel(this, 99, 80);

  Bevel1 = new QFrame(this);
  Bevel1->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  Bevel1->setGeometry(8, 136 + 17 - 2, 321, 2);  // the bottom line of an 8, 136, 321 x 17 bevel

  Bevel2 = new QFrame(this);
  Bevel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  Bevel2->setLineWidth(1);
  Bevel2->setGeometry(8, 8, 81, 81);

  Image1 = new QLabel(this);
  Image1->setGeometry(17, 24, 66, 52);
  Image1->setAlignment(Qt::AlignCenter);
  Image1->setScaledContents(true);
  Image1->setPixmap(ChipPicture());

  OKButton = new QPushButton(QStringLiteral("OK"), this);
  OKButton->setGeometry(136, 160, 65, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

// Centred over the main window at every showing.
void TAboutBox::showEvent(QShowEvent* event) {
  CentreOverParentWindow(*this);
  QDialog::showEvent(event);
}

void TAboutBox::FormCreate() {
  ReadVersionInfo();
}

void TAboutBox::ReadVersionInfo() {
  VersionStrings.fill(NotAvailable);
  PreRelease = false;
  if (VersionInfoBlock::SizeOf(versionInfoFile_) == 0) return;
  if (const auto block = VersionInfoBlock::Read(versionInfoFile_)) ReadBlock(*block);
  FillLabels();
  if (PreRelease) Image2->show();
}

void TAboutBox::ReadBlock(const VersionInfoBlock& block) {
  if (const auto translation = block.QueryFirstTranslation()) {
    const QString path = stringTablePath(*translation);
    for (std::size_t i = 0; i < VersionKeyCount; ++i) {
      if (auto value = block.QueryString(path + QLatin1String(VersionKeys[i]))) {
        VersionStrings[i] = *value;
      }
    }
  }
  if (const auto fixed = block.QueryFixedFileInfo()) {
    PreRelease = (fixed->FileFlags & fixed->FileFlagsMask & PreReleaseFlag) != 0;
  }
}

void TAboutBox::FillLabels() {
  Label1->setText(VersionStrings[FileDescription]);
  Label2->setText(VersionLine(VersionStrings[FileVersion]));
  Label2->adjustSize();
  Label3->setText(VersionStrings[LegalCopyright]);
  Label3->adjustSize();
}
