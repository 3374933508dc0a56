// engine/simulation_list.cpp: aLU subsumption in the passed list.
#include "engine/simulation_list.h"

#include "model/clock_bounds.h"
#include "zones/lu.h"
#include "zones/zone.h"

Ref<GlobalState> SimulationPassedList::add(Ref<GlobalState> state) {
  const UnpackedZone* zone = static_cast<const UnpackedZone*>(state->zone());
  const Signature* signature = prepare(zone);
  unsigned bucket;
  Group* group = findGroup(state.get(), bucket);
  if (group) {
    const ClockBounds* bounds = system_->localBounds();
    if (bounds) bounds->combine(state.get());
    const int length = signatureLength(dim_);
    bool removed = false;
    ZoneNode** link = &group->zones;
    while (ZoneNode* node = *link) {
      // Plain inclusion first: the signatures settle most pairs without reading the matrices,
      // and a zone inside another is within its aLU abstraction too.
      int relation = signature && signaturesExcludeInclusion(signatureOf(node), signature, length)
                         ? int(Zone::noInclusion)
                         : compare(node, zone, signature);
      if (relation == Zone::noInclusion && bounds && !node->state->zone()->isPacked() &&
          node->state->zone()->dimension() == zone->dimension()) {
        // Same locations, so the same bounds abstract both zones.
        const auto* stored = static_cast<const UnpackedZone*>(node->state->zone());
        const std::int32_t* lower = bounds->lowerBounds();
        const std::int32_t* upper = bounds->upperBounds();
        if (isLUSimulated(*zone, *stored, lower, upper))
          relation = Zone::argIncludedIn;
        else if (isLUSimulated(*stored, *zone, lower, upper))
          relation = Zone::argIncludes;
      }
      if (relation == Zone::argIncludes) {
        GlobalState* old = node->state;
        unlinkZone(link);
        GlobalState::destroyRegistered(old);
        removed = true;
      } else if (relation != Zone::noInclusion) {
        if (removed) group->key = group->zones->state;
        return nullptr;
      } else {
        link = &node->next;
      }
    }
  }
  store(group, bucket, state->copyUnpacked(true), signature);
  return state;
}
