#include "tctl/deadlock.h"

#include "model/global_state.h"
#include "model/system.h"
#include "model/transition.h"
#include "base/error.h"
#include "zones/zone.h"

namespace {

// A diagram operation that gave no diagram: the library failed. That is no answer.
const cdd& checked(const cdd& diagram) {
  if (diagram.isNull()) throw CheckError("%s", "Decision diagram operation failed");
  return diagram;
}

}  // namespace

CDDDeadlockExpr::CDDDeadlockExpr(Ref<System> system) : system_(std::move(system)) {}

CDDDeadlockExpr::~CDDDeadlockExpr() = default;

cdd CDDDeadlockExpr::deadlocked(const GlobalState* state) const {
  Ref<GlobalState> current(state->copyUnpacked(false));
  auto* zone = static_cast<UnpackedRegion*>(current->zone());
  zone->close();
  if (zone->isEmpty()) return cdd::falseCDD();
  cdd stuck = checked(zone->asCDD());
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
    if (mayDelay) enabled->zone()->wp();
    stuck = checked(stuck - checked(enabled->zone()->asCDD()));
  }
  return stuck;
}

bool CDDDeadlockExpr::satisfiedBy(GlobalState* state) const {
  if (!state->zone()) return false;
  return !checked(cdd::reduce(deadlocked(state))).isFalse();
}

bool CDDDeadlockExpr::holdsSomewhereIn(const GlobalState* state, const UnpackedRegion& zone,
                                       bool negated) const {
  if (zone.isEmpty()) return false;
  if (!state->zone()) return negated;
  cdd dead = deadlocked(state);
  cdd part = checked(zone.asCDD());
  cdd within = checked(negated ? part - dead : part & dead);
  return !checked(cdd::reduce(within)).isFalse();
}
