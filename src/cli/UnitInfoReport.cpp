#include "cli/UnitInfoReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/EchoNotes.h"

namespace {

constexpr int ExitAnswered = 0;
constexpr int ExitNotAnswered = 1;
constexpr int ExitPortNotOpened = 3;

QString OutcomeName(UnitInfoRecord::Result result) {
  switch (result) {
    case UnitInfoRecord::Result::Answered:
      return QStringLiteral("answered");
    case UnitInfoRecord::Result::NotAnswered:
      return QStringLiteral("not answered");
    case UnitInfoRecord::Result::PortNotOpened:
      return QStringLiteral("port not opened");
    case UnitInfoRecord::Result::Stopped:
      return QStringLiteral("stopped");
  }
  return {};
}

QString SettingsLine(const UnitInfoRecord::KeptSettings& settings) {
  QStringList values;
  for (const uint16_t value : settings.Values) values << QString::number(value);
  return QStringLiteral("slave %1 kept settings from register %2: %3")
      .arg(settings.Slave)
      .arg(settings.FirstRegister)
      .arg(values.join(QLatin1Char(' ')));
}

QJsonValue SettingsJson(const std::vector<UnitInfoRecord::KeptSettings>& kept) {
  if (kept.empty()) return QJsonValue();
  QJsonArray blocks;
  for (const UnitInfoRecord::KeptSettings& settings : kept) {
    QJsonArray values;
    for (const uint16_t value : settings.Values) values.append(value);
    blocks.append(QJsonObject{
        {"slave", settings.Slave}, {"firstRegister", settings.FirstRegister}, {"values", values}});
  }
  return blocks;
}

QJsonValue OrNull(const std::optional<uint16_t>& value) {
  return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue OrNull(bool present, const QString& text) {
  return present && !text.isEmpty() ? QJsonValue(text) : QJsonValue();
}

}  // namespace

QStringList UnitInfoLines(const UnitInfoRecord& record) {
  const QString port = record.Port + QStringLiteral(": ");
  QStringList lines;
  if (record.EchoTakenOut) lines << LineEchoesLine(record.Port);
  if (record.UnitModel && record.UnitVersion) {
    lines << port + QStringLiteral("model %1, firmware version %2")
                        .arg(*record.UnitModel)
                        .arg(*record.UnitVersion);
  }
  for (const UnitInfoRecord::KeptSettings& settings : record.Settings) {
    lines << port + SettingsLine(settings);
  }
  if (record.Outcome != UnitInfoRecord::Result::Answered) {
    lines << port + OutcomeName(record.Outcome) + QStringLiteral(": ") + record.Problem;
  }
  return lines;
}

QByteArray UnitInfoJson(const UnitInfoRecord& record) {
  const bool portNotOpened = record.Outcome == UnitInfoRecord::Result::PortNotOpened;
  const bool notAnswered = record.Outcome == UnitInfoRecord::Result::NotAnswered;
  const QJsonObject object{
      {"port", record.Port},
      {"device", record.Device.isEmpty() ? QJsonValue() : QJsonValue(record.Device)},
      {"unitModel", OrNull(record.UnitModel)},
      {"unitVersion", OrNull(record.UnitVersion)},
      {"keptSettings", SettingsJson(record.Settings)},
      {"outcome", OutcomeName(record.Outcome)},
      {"unansweredRead", OrNull(notAnswered, record.Problem)},
      {"portDetail", OrNull(portNotOpened, record.Problem)},
      {"lineEchoes", record.LineEchoes},
  };
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

int UnitInfoExitStatus(const std::vector<UnitInfoRecord>& records) {
  int status = ExitAnswered;
  for (const UnitInfoRecord& record : records) {
    if (record.Outcome == UnitInfoRecord::Result::PortNotOpened) return ExitPortNotOpened;
    if (record.Outcome != UnitInfoRecord::Result::Answered) status = ExitNotAnswered;
  }
  return status;
}
