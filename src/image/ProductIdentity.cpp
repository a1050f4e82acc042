#include "image/ProductIdentity.h"

#include "image/ProcessorTable.h"
#include "image/ProductTable.h"
#include "image/ResourceStore.h"

namespace {

constexpr int32_t PausedModelReadDelay = 5;

// What each row kind does to the identity and the window.
struct KindRule {
  bool ReportsFamilyModel;
  bool Pauses;
  SlaveAddressGroup Group;
  bool ThreeDecimals;
};

constexpr KindRule RuleOf(ProductRowKind kind) {
  switch (kind) {
    case ProductRowKind::Plain:
      return {false, false, SlaveAddressGroup::Hidden, false};
    case ProductRowKind::Family:
      return {true, false, SlaveAddressGroup::Hidden, false};
    case ProductRowKind::Paused:
      return {false, true, SlaveAddressGroup::Hidden, false};
    case ProductRowKind::Addressed:
      return {false, true, SlaveAddressGroup::Shown, true};
  }
  return {};
}

QString versionText(uint16_t version, bool threeDecimals) {
  const int v = version;
  return threeDecimals ? QString::asprintf("%d.%.3d", v / 1000, v % 1000)
                       : QString::asprintf("%d.%.2d", v / 100, v % 100);
}

}  // namespace

void SetProgramEndAddress(ProductIdentity& identity) {
  if (const auto end = ProgramEndAddressOf(identity.ProcessorNumber)) {
    identity.ProgramEndAddress = *end;
  }
}

SlaveAddressGroup ApplyProductRow(ProductIdentity& identity) {
  const ProductRow* row = FindProductRow(identity.RmNumber);
  if (row == nullptr) {
    identity.ProductTitle = QStringLiteral("Unsupported Firmware");
    return SlaveAddressGroup::Hidden;
  }
  const KindRule rule = RuleOf(row->Kind);
  if (rule.Pauses) {
    identity.ModelReadDelay = PausedModelReadDelay;
  }
  if (rule.ReportsFamilyModel) {
    identity.ExpectedModel = FamilyModelNumber;
  }
  identity.ProductTitle =
      QString::fromUtf8(row->TitlePrefix.data(), static_cast<qsizetype>(row->TitlePrefix.size())) +
      versionText(identity.FirmwareVersion, rule.ThreeDecimals);
  return rule.Group;
}

SlaveAddressGroup BuildProductIdentity(ProductIdentity& identity, const ResourceStore& resources) {
  identity.ProcessorNumber = resources.ReadResourceWord(QStringLiteral("PROC_NUM"));
  SetProgramEndAddress(identity);
  identity.RmNumber = resources.ReadResourceWord(QStringLiteral("RM_NUM"));
  identity.FirmwareVersion = resources.ReadResourceWord(QStringLiteral("FW_VER"));
  identity.ExpectedModel = identity.RmNumber;
  identity.ModelReadDelay = -1;
  return ApplyProductRow(identity);
}
