#include "cli/UnitUpdate.h"

#include <QEvent>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <exception>

#include "cli/CliView.h"
#include "cli/EchoNotes.h"
#include "cli/RecordingCommands.h"
#include "cli/UnitLink.h"
#include "comms/KovaComms.h"
#include "settings/FileNameBytes.h"
#include "update/LineSpeeds.h"
#include "update/UpdateEngine.h"
#include "update/UpdateStateEvent.h"
#include "update/UpdateStateMachine.h"

namespace {

constexpr int StopPollMs = 50;

// Runs the posted states of one unit's sequence in its thread.
class StateTarget : public QObject {
 public:
  StateTarget(QEventLoop& loop) : loop_(loop) {}

  void Attach(UpdateStateMachine& sequence) { sequence_ = &sequence; }
  // The state under way, or the last one that ran once the run is over.
  int32_t CurrentState() const { return state_; }
  const QString& Error() const { return error_; }

 protected:
  bool event(QEvent* event) override {
    if (event->type() != WM_UPDATE_STATE) return QObject::event(event);
    const int32_t state = static_cast<const TUpdateStateEvent*>(event)->State;
    if (state != UpdateState::Finished) state_ = state;
    try {
      if (sequence_->Dispatch(state) == UpdateStateMachine::Outcome::Finished) loop_.quit();
    } catch (const std::exception& error) {
      // The state posted no successor: the run is over.
      error_ = QString::fromUtf8(error.what());
      loop_.quit();
    }
    return true;
  }

 private:
  QEventLoop& loop_;
  UpdateStateMachine* sequence_ = nullptr;
  int32_t state_ = UpdateState::InitialiseUpgrade;
  QString error_;
};

}  // namespace

UnitUpdate::UnitUpdate(Setup setup, LogSink log, const std::atomic<int>& stopSignal)
    : setup_(std::move(setup)), log_(std::move(log)), stopSignal_(stopSignal) {}

UnitRecord UnitUpdate::NewRecord() const {
  UnitRecord record;
  record.Port = setup_.Port;
  record.Device = FileNameFromBytes(QByteArray::fromStdString(setup_.Device));
  record.ProductTitle = setup_.Identity.ProductTitle;
  record.Image = setup_.ImageSource;
  record.Start = QDateTime::currentDateTimeUtc();
  return record;
}

std::unique_ptr<TKovaComms> UnitUpdate::NewLink() const {
  const std::string device = setup_.Device;
  // NOLINTNEXTLINE(performance-no-automatic-move): called at every open, so it keeps its copy
  auto link = std::make_unique<TKovaComms>([device](int) { return device; });
  SayWhenEchoFound(*link, setup_.Port);
  return link;
}

UnitRecord UnitUpdate::Run() {
  const std::unique_ptr<TKovaComms> link = NewLink();
  if (const auto detail = OpenUnitLink(*link, setup_.ComNumber, StartupBaudRate, setup_.Echo)) {
    UnitRecord record = NewRecord();
    record.PortDetail = *detail;
    record.Outcome = UnitRecord::Result::PortNotOpened;
    record.End = QDateTime::currentDateTimeUtc();
    return record;
  }
  UnitRecord record = RunOn(*link, false);
  link->Close();
  return record;
}

UnitRecord UnitUpdate::RunOn(TKovaComms& link, bool portSeenEmpty) {
  UnitRecord record = NewRecord();
  const uint64_t sentBefore = link.BytesSent();
  const uint64_t receivedBefore = link.BytesReceived();
  // The echoes of this unit's exchanges alone, on a link that may have served others.
  link.RestartEchoCounts();
  QEventLoop loop;
  StateTarget target(loop);
  CliView view(link, setup_.Device, setup_.Identity, setup_.Image, setup_.SlaveAddress, log_,
               target);
  UpdateEngine engine(view);
  RecordingCommands commands(engine);
  UpdateStateMachine sequence(view, commands);
  target.Attach(sequence);
  if (portSeenEmpty) engine.Keeping().PortSeenEmpty();

  bool stopped = false;
  QTimer stopWatch;
  QObject::connect(&stopWatch, &QTimer::timeout, [&] {
    const int signal = stopSignal_.load();
    if (signal == 0 || stopped || record.LateStopSignal != 0) return;
    if (!StopEndsRunAt(target.CurrentState())) {
      record.LateStopSignal = signal;
      return;
    }
    stopped = true;
    link.StopAfterExchange();
    view.StopAfterCurrentState();
  });
  stopWatch.start(StopPollMs);
  sequence.Start();
  loop.exec();
  stopWatch.stop();

  const RunOutcome& outcome = view.Outcome();
  record.LastLogLine = target.Error().isEmpty() ? view.LastLogLine() : target.Error();
  // A run that ends on keeping the settings ends on the note that says why.
  if (outcome.FailedState == UpdateState::KeepSettings) record.LastLogLine = view.LastUnusualNote();
  if (outcome.Completed && target.Error().isEmpty()) {
    record.Outcome = UnitRecord::Result::Completed;
  } else {
    record.Outcome = stopped ? UnitRecord::Result::Stopped : UnitRecord::Result::Failed;
    const bool stateKnown = outcome.FailedState >= 0 && !stopped && target.Error().isEmpty();
    record.FailedState = stateKnown ? outcome.FailedState : target.CurrentState();
  }
  if (commands.UpgradeInfoRead()) {
    record.UnitModel = engine.Upgrade().UnitModel;
    record.UnitVersion = engine.Upgrade().UnitVersion;
  }
  record.BootLoaderInfo = commands.BootLoaderInfo();
  record.Kept = engine.Keeping().Outcome();
  record.KeptSetAside = engine.Keeping().SetAsideFile();
  record.BytesSent = link.BytesSent() - sentBefore;
  record.BytesReceived = link.BytesReceived() - receivedBefore;
  record.LineEchoes = link.Echo().EchoSeen();
  record.EchoProblem = EchoProblemNote(setup_.Port, link.Echo());
  record.End = QDateTime::currentDateTimeUtc();
  return record;
}
