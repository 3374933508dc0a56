// engine/simulation_list.cpp: aLU subsumption in the passed list.
#include "engine/simulation_list.h"

#include "model/clock_bounds.h"
#include "zones/lu.h"
#include "zones/zone.h"

// Same locations, so the same bounds abstract both zones; a zone inside another is within its
// aLU abstraction too, so only pairs plain inclusion leaves unrelated come here.
int SimulationPassedList::luRelation(const ZoneNode* node, const UnpackedZone* zone,
                                     const void* context) {
  const Zone* stored = node->state->zone();
  if (stored->isPacked() || stored->dimension() != zone->dimension()) return Zone::noInclusion;
  const auto* bounds = static_cast<const ClockBounds*>(context);
  const auto* other = static_cast<const UnpackedZone*>(stored);
  const std::int32_t* lower = bounds->lowerBounds();
  const std::int32_t* upper = bounds->upperBounds();
  if (isLUSimulated(*zone, *other, lower, upper)) return Zone::argIncludedIn;
  if (isLUSimulated(*other, *zone, lower, upper)) return Zone::argIncludes;
  return Zone::noInclusion;
}

Ref<GlobalState> SimulationPassedList::add(Ref<GlobalState> state) {
  const UnpackedZone* zone = static_cast<const UnpackedZone*>(state->zone());
  const Signature* signature = prepare(zone);
  unsigned bucket;
  Group* group = findGroup(state.get(), bucket);
  if (group) {
    const ClockBounds* bounds = system_->localBounds();
    if (bounds) bounds->combine(state.get());
    if (coveredInGroup(group, zone, signature, bounds ? &luRelation : nullptr, bounds))
      return nullptr;
  }
  store(group, bucket, state->copyUnpacked(true), signature);
  return state;
}
