#include "cdd/deadlock.h"

#include "cdd/cdd.h"
#include "model/globstat.h"
#include "model/system.h"
#include "model/trans.h"
#include "zones/region.h"

CDDDeadlockExpr::CDDDeadlockExpr(Ref<System> system) : system_(std::move(system)) {}

CDDDeadlockExpr::~CDDDeadlockExpr() = default;

bool CDDDeadlockExpr::satisfiedBy(GlobalState* state) const {
  if (!state->zone()) return false;
  Ref<GlobalState> current(state->copyUnpacked(false));
  const auto* zone = static_cast<const UnpackedRegion*>(current->zone());
  if (zone->isEmpty()) return false;

  cdd stuck = zone->asCDD();
  if (system_) {
    SuccessorList successors;
    system_->successors(current.get(), true, false, successors);
    for (const WaitingEntry& entry : successors) {
      // The part of the zone where the edges' guards hold, and everything that reaches it by
      // waiting, can still act.
      Ref<GlobalState> enabled(current->copyUnpacked(false));
      bool holds = entry.second->applyGuards(enabled.get());
      if (entry.first) holds = entry.first->applyGuards(enabled.get()) && holds;
      if (!holds) continue;
      enabled->zone()->wp();
      stuck = stuck - enabled->zone()->asCDD();
      if (stuck.isNull()) return true;
    }
  }
  cdd left = cdd::reduce(stuck);
  if (left.isNull()) return true;
  return !left.isFalse();
}
