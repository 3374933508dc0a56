// tctl/deadlock.h: the deadlock predicate, decided on clock decision diagrams. A valuation of a
// state is deadlocked when it can neither take a transition now nor after letting time pass
// within the state's zone (where time may pass at all). The valuations that can still act form
// a union of zones, which one zone cannot hold.
#pragma once
#include "cdd/cdd.h"
#include "base/ref.h"
#include "tctl/tctl_expression.h"

class GlobalState;
class System;

class CddDeadlockExpr : public DeadlockExpr {
 public:
  // system may be null: then no edge is ever enabled.
  explicit CddDeadlockExpr(Ref<System> system);
  ~CddDeadlockExpr() override;

  // Some valuation of the state's zone (closed, packed or not) is deadlocked. The state is not
  // changed. Needs the diagram library initialised with the system's clocks; a failure of the
  // library throws CheckError, never gives an answer.
  bool satisfiedBy(GlobalState* state) const override;
  bool holdsSomewhereIn(const GlobalState* state, const UnpackedZone& zone,
                        bool negated) const override;

  // The deadlocked valuations of the state's zone: the zone minus the past of the part where
  // the guards of each enabled edge or synchronising pair hold. Where time may not pass (an
  // urgent or committed location), only the guards' own part can act.
  Cdd deadlocked(const GlobalState* state) const;

  System* system() const { return system_.get(); }

 private:
  Ref<System> system_;
};
