#pragma once

#include "comms/KovaComms.h"

class TRxCondition;

// Keeps a condition set attached to the link, its matcher reset, for one
// transaction; detached on every way out, exceptions included.
class AttachedCondition {
 public:
  AttachedCondition(TKovaComms& link, TRxCondition& condition) : link_(link) {
    link_.SetRxCondition(condition);
    link_.ResetRxMatch();
  }
  ~AttachedCondition() { link_.ClearRxCondition(); }
  AttachedCondition(const AttachedCondition&) = delete;
  AttachedCondition& operator=(const AttachedCondition&) = delete;

 private:
  TKovaComms& link_;
};
