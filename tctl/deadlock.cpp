#include "tctl/deadlock.h"

#include "cdd/zone_cdd.h"
#include "model/global_state.h"
#include "model/system.h"
#include "model/transition.h"
#include "base/error.h"
#include "zones/zone.h"

namespace {

// A diagram operation that gave no diagram: the library failed. That is no answer.
const Cdd& checked(const Cdd& diagram) {
  if (diagram.isNull()) throw CheckError("%s", "Decision diagram operation failed");
  return diagram;
}

}  // namespace

CddDeadlockExpr::CddDeadlockExpr(Ref<System> system) : system_(std::move(system)) {}

CddDeadlockExpr::~CddDeadlockExpr() = default;

Cdd CddDeadlockExpr::deadlocked(const GlobalState* state) const {
  Ref<GlobalState> current(state->copyUnpacked(false));
  UnpackedZone* zone = asUnpacked(current->zone());
  zone->close();
  if (zone->isEmpty()) return Cdd::falseCdd();
  Cdd stuck = checked(cddOf(*zone));
  if (!system_) return stuck;

  // Where time may pass, a valuation acts when waiting within the zone reaches a guard.
  bool mayDelay = !system_->isTimeStopped(current.get());
  SuccessorList successors;
  system_->successors(current.get(), true, false, successors);
  for (const WaitingEntry& entry : successors) {
    Ref<GlobalState> enabled(current->copyUnpacked(false));
    bool holds = entry.second->applyGuards(enabled.get());
    if (entry.first) holds = entry.first->applyGuards(enabled.get()) && holds;
    if (!holds) continue;
    UnpackedZone* guarded = asUnpacked(enabled->zone());
    if (mayDelay) guarded->past();
    stuck = checked(stuck - checked(cddOf(*guarded)));
  }
  return stuck;
}

bool CddDeadlockExpr::satisfiedBy(GlobalState* state) const {
  if (!state->zone()) return false;
  return !checked(Cdd::reduce(deadlocked(state))).isFalse();
}

bool CddDeadlockExpr::holdsSomewhereIn(const GlobalState* state, const UnpackedZone& zone,
                                       bool negated) const {
  if (zone.isEmpty()) return false;
  if (!state->zone()) return negated;
  Cdd dead = deadlocked(state);
  Cdd part = checked(cddOf(zone));
  Cdd within = checked(negated ? part - dead : part & dead);
  return !checked(Cdd::reduce(within)).isFalse();
}
