#include "cdd/deadlock.h"

#include "cdd/cdd.h"
#include "model/globstat.h"
#include "model/system.h"
#include "model/trans.h"
#include "zones/region.h"

namespace {

// The diagram of exactly the valuations of a closed zone.
cdd diagramOf(const UnpackedRegion& zone) {
  int dim = zone.dimension();
  _dbm_* d = _dbm_::create(dim);
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) {
      std::int32_t raw = zone.at(i, j);
      d->set(i, j, isInfinite(raw) ? _dbm_::infinity : raw);
    }
  d->close();
  cdd result = cdd::fromDBM(d);
  _dbm_::destroy(d);
  return result;
}

}  // namespace

CDDDeadlockExpr::CDDDeadlockExpr(Ref<System> system) : system_(std::move(system)) {}

CDDDeadlockExpr::~CDDDeadlockExpr() = default;

bool CDDDeadlockExpr::satisfiedBy(GlobalState* state) const {
  if (!state->zone()) return false;
  Ref<GlobalState> current(state->copyUnpacked(false));
  const auto* zone = static_cast<const UnpackedRegion*>(current->zone());
  if (zone->isEmpty()) return false;

  cdd stuck = diagramOf(*zone);
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
      stuck = stuck - diagramOf(*static_cast<const UnpackedRegion*>(enabled->zone()));
      if (stuck.isNull()) return true;
    }
  }
  cdd left = cdd::reduce(stuck);
  if (left.isNull()) return true;
  return !left.isFalse();
}
