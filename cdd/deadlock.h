// cdd/deadlock.h: the deadlock predicate, decided on clock decision diagrams. A state satisfies
// it when some valuation of its zone can neither take a transition now nor after letting time
// pass. The valuations that can still act form a union of zones, which one zone cannot hold.
#pragma once
#include "model/ref.h"
#include "tctl/tctlexpr.h"

class GlobalState;
class System;

class CDDDeadlockExpr : public DeadlockExpr {
 public:
  // system may be null: then no edge is ever enabled.
  explicit CDDDeadlockExpr(Ref<System> system);
  ~CDDDeadlockExpr() override;

  // The zone (closed, packed or not) as a diagram, minus the past of the part of the zone that
  // satisfies the guards of each enabled edge or synchronising pair; true when something is
  // left. The state is not changed. Needs the diagram library initialised with the system's
  // clocks; should the library fail, the answer is true (a deadlock cannot be ruled out).
  bool satisfiedBy(GlobalState* state) const override;

  System* system() const { return system_.get(); }

 private:
  Ref<System> system_;
};
