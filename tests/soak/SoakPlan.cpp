#include "SoakPlan.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string_view>

const QString SuccessLine = QStringLiteral("Finalising Upgrade.....Done");

namespace {

const QString NoReplyLine = QStringLiteral("Retrieving Model Number......Error (No Reply)");
const QString IncompatibleLine =
    QStringLiteral("Retrieving Model Number......Error (Incompatible Model)");
const QString EraseErrorLine = QStringLiteral("Erasing Program Memory......Error Detected");
const QString SendErrorLine = QStringLiteral("Sending New Program Data......Error Detected");

// A late reply comes after the program gave up on it (a boot loader wait
// ends after about 3.1 s) and sent its next request, which the unit, still
// busy, does not hear: the reply lands in the middle of the wait for that
// next one, 1.5 s from either end.
constexpr int LateMs = 4600;
constexpr int MaxHarmless = 2;
// One run in this many updates the settings-keeping unit, stopped up to
// MaxInterruptions times before it completes.
constexpr int KeptSettingsEvery = 6;
constexpr int MaxInterruptions = 3;

// The exchanges of an update, in the order they come.
constexpr std::array<std::string_view, 8> Sequence{"read",  "write",   "info",  "model",
                                                   "erase", "program", "leave", "restart"};

// Which occurrences of its exchange a fault may hit.
enum class At { First, Second, FirstOrSecond, AnyErase, EraseButLast, AnyRow, RowButLast };

struct FaultRow {
  std::vector<const char*> kinds;
  const char* what;
  At at;
  const QString* lastLine;
};

// Faults the outcome turns on, and the last log line each calls for. The
// boot loader's model is read twice and only the second answer counts; the
// answers to the information, the end of boot mode and the restart decide
// nothing. A hang-up leaves the program without a line; an exception to the
// boot-entry write leaves the unit in its firmware. A late reply makes the
// unit miss the request after it. A flood spoils the reply it follows when
// both arrive together, else the next exchange, which it keeps the unit
// from hearing or buries in the flood's bytes: so a flood is only put where
// both give the same outcome.
const FaultRow Deciding[] = {
    {{"no-reply", "bad-check", "short", "late", "hangup"}, "model", At::Second, &NoReplyLine},
    {{"other-model"}, "model", At::Second, &IncompatibleLine},
    {{"hangup"}, "read", At::First, &NoReplyLine},
    {{"hangup", "exception"}, "write", At::First, &NoReplyLine},
    {{"hangup"}, "info", At::FirstOrSecond, &NoReplyLine},
    {{"hangup", "flood"}, "model", At::First, &NoReplyLine},
    {{"late", "flood"}, "info", At::FirstOrSecond, &SuccessLine},
    {{"late"}, "model", At::First, &SuccessLine},
    {{"no-reply", "bad-check", "short", "late", "hangup"}, "erase", At::AnyErase, &EraseErrorLine},
    {{"flood"}, "erase", At::EraseButLast, &EraseErrorLine},
    {{"no-reply", "bad-check", "short", "late", "hangup"}, "program", At::AnyRow, &SendErrorLine},
    {{"flood"}, "program", At::RowButLast, &SendErrorLine},
    {{"late", "flood", "hangup"}, "leave", At::First, &SuccessLine},
    {{"late", "flood", "hangup"}, "restart", At::First, &SuccessLine},
};

// Faults an update rides out: reply shapes the frame search copes with, and
// bad answers to a read that is retried or to requests whose answers decide
// nothing (the boot-entry write takes effect all the same).
const FaultRow Harmless[] = {
    {{"split", "noise", "no-reply", "bad-check", "exception", "more-registers", "short", "trailing",
      "other-model"},
     "read",
     At::FirstOrSecond,
     nullptr},
    {{"split", "noise", "no-reply", "bad-check", "wrong-echo", "short", "trailing"},
     "write",
     At::First,
     nullptr},
    {{"split", "noise", "no-reply", "bad-check", "short", "trailing"},
     "info",
     At::FirstOrSecond,
     nullptr},
    {{"split", "noise", "no-reply", "bad-check", "short", "trailing", "other-model"},
     "model",
     At::First,
     nullptr},
    {{"split", "noise"}, "model", At::Second, nullptr},
    {{"split", "noise"}, "erase", At::AnyErase, nullptr},
    {{"split", "noise"}, "program", At::AnyRow, nullptr},
    {{"split", "noise", "no-reply", "bad-check", "short", "trailing"}, "leave", At::First, nullptr},
    {{"split", "noise", "no-reply", "bad-check", "trailing"}, "restart", At::First, nullptr},
};

std::size_t SequenceIndex(std::string_view what) {
  return static_cast<std::size_t>(
      std::distance(Sequence.begin(), std::find(Sequence.begin(), Sequence.end(), what)));
}

}  // namespace

QString FaultSwitch::Text() const {
  return kind + ':' + what + ':' + QString::number(occurrence);
}

QStringList RunPlan::UnitOptions() const {
  QStringList options;
  bool late = false;
  const auto add = [&](const FaultSwitch& fault) {
    options << "--fault" << fault.Text();
    late = late || fault.kind == "late";
  };
  if (deciding) add(*deciding);
  for (const FaultSwitch& fault : harmless) add(fault);
  if (late) options << "--late-ms" << QString::number(LateMs);
  return options;
}

QString StoppedLine(const FaultSwitch& interruption) {
  return interruption.what == "erase" ? EraseErrorLine : SendErrorLine;
}

QString RunPlan::Description() const {
  if (KeepsSettings()) {
    QStringList stops;
    for (const FaultSwitch& fault : interruptions) stops << fault.Text();
    return QStringLiteral("kept settings, stopped by %1, then completed").arg(stops.join(", "));
  }
  QStringList parts;
  parts << (deciding ? deciding->Text() : QStringLiteral("no deciding fault"));
  for (const FaultSwitch& fault : harmless) parts << fault.Text();
  return parts.join(QStringLiteral(", "));
}

SoakPlanner::SoakPlanner(uint32_t seed, UpdateShape shape) : random_(seed), shape_(shape) {}

RunPlan SoakPlanner::Next() {
  const auto uniform = [this](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random_);
  };
  const auto occurrence = [&](At at) {
    switch (at) {
      case At::First:
        return 1;
      case At::Second:
        return 2;
      case At::FirstOrSecond:
        return uniform(1, 2);
      case At::AnyErase:
        return uniform(1, shape_.erases);
      case At::EraseButLast:
        return uniform(1, shape_.erases - 1);
      case At::AnyRow:
        return uniform(1, shape_.rows);
      case At::RowButLast:
        return uniform(1, shape_.rows - 1);
    }
    return 1;
  };
  const auto draw = [&](const FaultRow& row) {
    const char* kind =
        row.kinds[static_cast<std::size_t>(uniform(0, static_cast<int>(row.kinds.size()) - 1))];
    return FaultSwitch{kind, row.what, occurrence(row.at)};
  };

  RunPlan plan;
  if (uniform(1, KeptSettingsEvery) == 1) {
    const int stops = uniform(1, MaxInterruptions);
    for (int i = 0; i < stops; ++i) {
      const bool erase = uniform(0, 1) == 0;
      plan.interruptions.push_back({uniform(0, 1) == 0 ? "hangup" : "no-reply",
                                    erase ? "erase" : "program",
                                    occurrence(erase ? At::AnyErase : At::AnyRow)});
    }
    return plan;
  }
  // One run in as many as there are deciding rows, plus one, has none.
  const auto pick = static_cast<std::size_t>(uniform(0, static_cast<int>(std::size(Deciding))));
  std::size_t before = Sequence.size();
  if (pick < std::size(Deciding)) {
    plan.deciding = draw(Deciding[pick]);
    plan.lastLine = *Deciding[pick].lastLine;
    before = SequenceIndex(Deciding[pick].what);
  }
  // Harmless faults only come before the deciding one: after it a missed
  // request would shift the unit's count of its exchange.
  std::vector<const FaultRow*> candidates;
  for (const FaultRow& row : Harmless) {
    if (SequenceIndex(row.what) < before) candidates.push_back(&row);
  }
  std::shuffle(candidates.begin(), candidates.end(), random_);
  const int wanted = uniform(0, MaxHarmless);
  for (const FaultRow* row : candidates) {
    if (static_cast<int>(plan.harmless.size()) == wanted) break;
    const bool taken =
        std::any_of(plan.harmless.begin(), plan.harmless.end(),
                    [row](const FaultSwitch& fault) { return fault.what == row->what; });
    if (!taken) plan.harmless.push_back(draw(*row));
  }
  return plan;
}
