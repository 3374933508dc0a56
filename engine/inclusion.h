// engine/inclusion.h: the zone comparison that the passed and waiting lists run on every chain
// walk.
#pragma once
#include <cstdint>

#include "zones/region.h"

// A zone's signature: one 16-bit number per row of its matrix, the sum of the row's entries,
// each entry first clamped to +-clamp (the infinite bound becomes clamp), the sum saturated.
// Clamping, summing and saturating keep the order, so when zone a lies inside zone b every
// number of a's signature is at most b's, whatever the clamp. Two signatures with differences
// of both signs prove that neither zone includes the other without reading the matrices: almost
// every comparison in a chain walk ends that way. Signatures compared with each other must use
// the same clamp.
using Signature = std::int16_t;
void zoneSignature(const UnpackedRegion* zone, std::int32_t clamp, Signature* signature);

// A clamp that keeps the finite bounds of extrapolated zones apart under the clock table's
// present maximal constants, and the row sums of small dimensions within 16 bits.
std::int32_t signatureClamp();

// The relation of two matrices of n entries each (a stored, b new), with the codes of
// Region::relation. Four entries at a time, stopping as soon as neither can include the other.
int compareMatrices(const std::int32_t* a, const std::int32_t* b, int n);

// How the stored zone relates to the new one (unpacked, closed, of the same dimension), given
// both signatures (or without the quick test when either is null). A packed stored zone is first checked against its constraints alone; when
// the new zone leaves it, the stored zone is unpacked into scratch, which is made (or remade
// at another dimension) when needed and belongs to the caller.
int compareZones(const Region* stored, const Signature* storedSignature,
                 const UnpackedRegion* fresh, const Signature* freshSignature,
                 UnpackedRegion*& scratch);
