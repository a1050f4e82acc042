#include "cli/StationPoll.h"

#include "cli/UnitLink.h"
#include "comms/KovaComms.h"
#include "image/ProductIdentity.h"
#include "update/BootLoaderCommands.h"
#include "update/EngineLink.h"
#include "update/LineSpeeds.h"
#include "update/UpgradeSteps.h"

namespace {

// A unit answers either request within a few tens of milliseconds, also
// through a device server: about 400 ms each keeps an empty port's round
// near a second.
constexpr uint16_t PollTimeoutTicks = 3;
constexpr int32_t Answered = 1;
constexpr int32_t ExceptionReply = 2;
constexpr int32_t WrongCheck = -1;
constexpr uint32_t NoInformation = 0xFFFFFFFF;

// Closes the link and opens it at baudRate, keeping what was found of the
// line's echo; the cause when it does not open.
std::optional<QString> ReopenAt(TKovaComms& link, int comNumber, uint32_t baudRate) {
  link.Close();
  return ReopenUnitLink(link, comNumber, baudRate);
}

PollAnswer Lost(const QString& detail) {
  return {PollAnswer::Kind::PortLost, 0, 0, detail};
}

}  // namespace

PollAnswer PollPort(UpdateView& view, int comNumber) {
  TKovaComms& link = EngineLink(view);
  const uint16_t model = view.Identity().ExpectedModel;
  if (const auto detail = ReopenAt(link, comNumber, UnitSpeed(model))) return Lost(*detail);
  UpgradeSteps steps(view);
  const int32_t read = steps.ReadUpgradeInfoOnce(PollTimeoutTicks);
  if (read == Answered) {
    return {PollAnswer::Kind::Running, steps.UnitModel, steps.UnitVersion, {}};
  }
  const bool garbled = read == ExceptionReply || read == WrongCheck;
  if (const auto detail = ReopenAt(link, comNumber, BootLoaderSpeed(model))) return Lost(*detail);
  if (BootLoaderCommands(view).ReadBootLoaderInfo(PollTimeoutTicks) != NoInformation) {
    return {PollAnswer::Kind::BootLoader, 0, 0, {}};
  }
  return {garbled ? PollAnswer::Kind::Garbled : PollAnswer::Kind::Nothing, 0, 0, {}};
}
