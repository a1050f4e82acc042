#include "cli/JsonReport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <utility>

#include "update/UpdateStateMachine.h"

namespace {

constexpr std::pair<int32_t, const char*> StepNames[] = {
    {UpdateState::InitialiseUpgrade, "initialise"},
    {UpdateState::KeepSettings, "keep settings"},
    {UpdateState::EnableBootLoader, "enable boot loader"},
    {UpdateState::BootLoaderInfo, "boot loader info"},
    {UpdateState::ModelNumber, "model number"},
    {UpdateState::EraseMemory, "erase"},
    {UpdateState::SendProgram, "send"},
    {UpdateState::LeaveBootMode, "leave boot mode"},
    {UpdateState::Restart, "restart"},
    {UpdateState::RestartDone, "restart"},
    {UpdateState::FinaliseUpgrade, "finalise"},
};

QString OutcomeName(UnitRecord::Result result) {
  switch (result) {
    case UnitRecord::Result::Completed:
      return QStringLiteral("completed");
    case UnitRecord::Result::Failed:
      return QStringLiteral("failed");
    case UnitRecord::Result::PortNotOpened:
      return QStringLiteral("port not opened");
    case UnitRecord::Result::Stopped:
      return QStringLiteral("stopped");
    case UnitRecord::Result::Current:
      return QStringLiteral("current");
  }
  return {};
}

QJsonValue OrNull(const std::optional<uint16_t>& value) {
  return value ? QJsonValue(*value) : QJsonValue();
}

QJsonValue OrNull(const QString& text) {
  return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue Kept(const std::optional<KeptSettingsOutcome>& kept) {
  if (!kept) return QJsonValue();
  QJsonObject object = KeptSettingsJson(kept->Settings);
  object.remove(QStringLiteral("format"));
  object.insert(QStringLiteral("state"), kept->What == KeptSettingsOutcome::State::WrittenBack
                                             ? QStringLiteral("written back")
                                             : QStringLiteral("pending"));
  object.insert(QStringLiteral("file"), OrNull(kept->File));
  return object;
}

QJsonValue Image(const ImageOnRecord& image) {
  return QJsonObject{{"file", OrNull(image.File)},
                     {"format", image.Format},
                     {"sha256", QString::fromLatin1(image.Sha256)},
                     {"rowsSent", static_cast<qint64>(image.RowsSent)}};
}

QJsonValue BootLoader(const std::optional<uint32_t>& info) {
  if (!info) return QJsonValue();
  return QJsonObject{{"rm", static_cast<int>(*info >> 16)},
                     {"version", static_cast<int>(*info & 0xFFFF)}};
}

}  // namespace

QString StepName(int32_t state) {
  for (const auto& [step, name] : StepNames) {
    if (step == state) return QString::fromLatin1(name);
  }
  return {};
}

QByteArray UnitRecordJson(const UnitRecord& record) {
  const bool completed = record.Outcome == UnitRecord::Result::Completed ||
                         record.Outcome == UnitRecord::Result::Current;
  const QJsonObject object{
      {"port", record.Port},
      {"device", OrNull(record.Device)},
      {"product", record.ProductTitle},
      {"image", Image(record.Image)},
      {"unitModel", OrNull(record.UnitModel)},
      {"unitVersion", OrNull(record.UnitVersion)},
      {"bootLoader", BootLoader(record.BootLoaderInfo)},
      {"outcome", OutcomeName(record.Outcome)},
      {"failingStep", completed ? QJsonValue() : OrNull(StepName(record.FailedState))},
      {"lastLogLine", OrNull(record.LastLogLine)},
      {"portDetail", OrNull(record.PortDetail)},
      {"keptSettings", Kept(record.Kept)},
      {"keptSettingsSetAside", OrNull(record.KeptSetAside)},
      {"start", record.Start.toString(Qt::ISODateWithMs)},
      {"end", record.End.toString(Qt::ISODateWithMs)},
      {"bytesSent", static_cast<qint64>(record.BytesSent)},
      {"bytesReceived", static_cast<qint64>(record.BytesReceived)},
      {"lineEchoes", record.LineEchoes},
  };
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray JsonReportText(const std::vector<UnitRecord>& records) {
  QByteArray text;
  for (const UnitRecord& record : records) text += UnitRecordJson(record) + '\n';
  return text;
}
