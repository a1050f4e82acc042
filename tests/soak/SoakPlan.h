#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

// The last log line of a run that wrote the image and restarted the unit.
extern const QString SuccessLine;

// One of unit-sim's --fault switches.
struct FaultSwitch {
  QString kind;
  QString what;
  int occurrence = 1;

  QString Text() const;
};

// The faults of one run and the last log line they call for.
struct RunPlan {
  // The fault the outcome turns on, if any.
  std::optional<FaultSwitch> deciding;
  // Faults before it whose effects the update rides out.
  std::vector<FaultSwitch> harmless;
  QString lastLine = SuccessLine;
  // An update of the settings-keeping unit instead: each of these faults
  // stops one attempt mid-erase or mid-programming, leaving the unit in its
  // boot loader, and the attempt after the last of them completes.
  std::vector<FaultSwitch> interruptions;

  bool KeepsSettings() const { return !interruptions.empty(); }
  QStringList UnitOptions() const;
  QString Description() const;
};

// The last log line of an attempt that the fault stopped.
QString StoppedLine(const FaultSwitch& interruption);

// How many erase and row requests a whole update makes.
struct UpdateShape {
  int erases = 0;
  int rows = 0;
};

// Draws the runs' faults from a seeded generator, so a seed repeats a soak.
class SoakPlanner {
 public:
  SoakPlanner(uint32_t seed, UpdateShape shape);

  RunPlan Next();

 private:
  std::mt19937 random_;
  UpdateShape shape_;
};
