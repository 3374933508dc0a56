// cdd/zone_cdd.h: zones to and from clock decision diagrams.
#pragma once
#include <memory>
#include <vector>

#include "cdd/cdd.h"
#include "zones/zone.h"

// Copies the zone's matrix into d (same dimension) and returns d.
CddMatrix* copyToMatrix(const UnpackedZone& zone, CddMatrix* d);
// The zone as a decision diagram; needs the diagram library initialised with the clocks.
Cdd cddOf(const UnpackedZone& zone);
// The zones, each closed and non-empty, whose union is the set of the diagram; one zone of the
// full clock count is walked down the diagram. Empty for the false diagram.
std::vector<std::unique_ptr<UnpackedZone>> zonesOf(const Cdd& diagram);
