#include "update/KeptSettingsStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <cerrno>
#include <span>
#include <system_error>
#include <utility>
#include <variant>

#include "comms/FileToRead.h"
#include "update/PortStateName.h"
#include "update/ProductRoles.h"

namespace {

constexpr std::size_t Slave17Words = 1;
constexpr std::size_t Slave19Words = 11;
constexpr std::size_t Slave20Words = 22;
constexpr std::size_t CommandRegisterWord = UpgradeSteps::CommandRegisterWord;
constexpr int FileVersion = 1;
constexpr qint64 LargestFile = qint64{64} * 1024;

QString StateFolder() {
  const QString state = qEnvironmentVariable("XDG_STATE_HOME");
  const QString base = QDir::isAbsolutePath(state) ? state : QDir::homePath() + "/.local/state";
  return base + QStringLiteral("/bootload");
}

QString Cause(int error) {
  return QString::fromStdString(std::generic_category().message(error));
}

QJsonArray Words(const UpgradeSteps::Settings& settings, std::size_t count) {
  QJsonArray words;
  for (const uint16_t word : std::span(settings).first(count)) words.append(word);
  return words;
}

bool ReadWords(const QJsonValue& value, std::size_t count, UpgradeSteps::Settings& settings) {
  const QJsonArray words = value.toArray();
  if (static_cast<std::size_t>(words.size()) != count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    const int word = words[static_cast<qsizetype>(i)].toInt(-1);
    if (word < 0 || word > 0xFFFF) return false;
    settings[i] = static_cast<uint16_t>(word);
  }
  return true;
}

bool ReadWord(const QJsonObject& object, const char* key, uint16_t& word) {
  const int value = object[QLatin1String(key)].toInt(-1);
  if (value < 0 || value > 0xFFFF) return false;
  word = static_cast<uint16_t>(value);
  return true;
}

// A descriptor closed by its owner's end.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Fd() const { return fd_; }
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

bool WriteAll(int fd, const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.constData() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

QJsonObject KeptSettingsJson(const KeptSettings& settings) {
  return QJsonObject{
      {"format", FileVersion},
      {"unitModel", settings.UnitModel},
      {"unitVersion", settings.UnitVersion},
      {"product", settings.Product},
      {"firmwareVersion", settings.FirmwareVersion},
      {"port", settings.Port},
      {"time", settings.Time.toString(Qt::ISODateWithMs)},
      {"slave17", Words(settings.Slave17, Slave17Words)},
      {"slave19", Words(settings.Slave19, Slave19Words)},
      {"slave20", Words(settings.Slave20, Slave20Words)},
  };
}

KeptSettingsStore::KeptSettingsStore(const std::string& device) {
  const PortStateName name = StateNameOfPort(device);
  problem_ = name.Problem;
  if (!name.Name.isEmpty()) path_ = StateFolder() + QLatin1Char('/') + name.Name + ".json";
}

bool KeptSettingsStore::Exists() const {
  return !path_.isEmpty() && QFileInfo(path_).exists();
}

QString KeptSettingsStore::Save(const KeptSettings& settings) const {
  if (path_.isEmpty()) return problem_;
  const QString folder = QFileInfo(path_).path();
  if (!QDir().mkpath(folder)) return QStringLiteral("the folder %1 cannot be made").arg(folder);
  const QByteArray bytes = QJsonDocument(KeptSettingsJson(settings)).toJson();
  QByteArray temporary = QFile::encodeName(path_ + QStringLiteral(".XXXXXX"));
  Descriptor file(::mkstemp(temporary.data()));
  if (file.Fd() < 0) return Cause(errno);
  if (!WriteAll(file.Fd(), bytes) || ::fsync(file.Fd()) != 0 || file.Close() != 0 ||
      ::rename(temporary.constData(), QFile::encodeName(path_).constData()) != 0) {
    const int error = errno;
    ::unlink(temporary.constData());
    return Cause(error);
  }
  // The rename itself lasts only once the folder is on disk.
  const Descriptor directory(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY));
  if (directory.Fd() < 0 || ::fsync(directory.Fd()) != 0) return Cause(errno);
  return {};
}

QString LoadKeptSettings(const QString& path, KeptSettings& settings) {
  auto content = ReadFileToRead(QFile::encodeName(path), LargestFile);
  if (const auto* cause = std::get_if<QString>(&content)) return *cause;
  QJsonParseError error{};
  const QJsonObject object =
      QJsonDocument::fromJson(std::get<QByteArray>(content), &error).object();
  if (error.error != QJsonParseError::NoError) return error.errorString();
  KeptSettings read;
  read.Product = object["product"].toString();
  read.Port = object["port"].toString();
  read.Time = QDateTime::fromString(object["time"].toString(), Qt::ISODateWithMs);
  if (object["format"].toInt() != FileVersion || !ReadWord(object, "unitModel", read.UnitModel) ||
      !ReadWord(object, "unitVersion", read.UnitVersion) ||
      !ReadWord(object, "firmwareVersion", read.FirmwareVersion) ||
      !ReadWords(object["slave17"], Slave17Words, read.Slave17) ||
      !ReadWords(object["slave19"], Slave19Words, read.Slave19) ||
      !ReadWords(object["slave20"], Slave20Words, read.Slave20)) {
    return QStringLiteral("it does not hold kept settings");
  }
  // What a read of the unit gave: only the model that keeps settings keeps
  // any, and its command register is kept as 0, never as a command.
  if (read.UnitModel != SettingsCarryModel) {
    return QStringLiteral("it holds settings of model %1, which keeps none").arg(read.UnitModel);
  }
  if (read.Slave19[CommandRegisterWord] != 0) {
    return QStringLiteral(
               "it holds %1 for the command register (slave 19 register 29), which "
               "is kept as 0")
        .arg(read.Slave19[CommandRegisterWord]);
  }
  settings = read;
  return {};
}

QString KeptSettingsStore::Load(KeptSettings& settings) const {
  return LoadKeptSettings(path_, settings);
}

QString KeptSettingsStore::SetAside(QString& asidePath) const {
  QString aside = path_;
  aside.insert(aside.size() - 5, QDateTime::currentDateTimeUtc().toString(
                                     QStringLiteral(".'set-aside'-yyyyMMdd'T'HHmmsszzz'Z'")));
  if (::rename(QFile::encodeName(path_).constData(), QFile::encodeName(aside).constData()) != 0) {
    return Cause(errno);
  }
  asidePath = aside;
  return {};
}

QString KeptSettingsStore::Remove() const {
  if (::unlink(QFile::encodeName(path_).constData()) != 0) return Cause(errno);
  return {};
}
