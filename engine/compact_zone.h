// engine/compact_zone.h: closed zones kept in 16-bit entries when every bound fits and in 32-bit
// entries otherwise, with the inclusion test read straight from that form. Lists keep their
// zones so at about half the bytes of the full matrix.
#pragma once
#include <cstdint>

#include "zones/zone.h"

// The raw bound that stands for "no bound" in 16-bit entries; finite raw bounds from -32768 to
// 32766 (constants up to 16383) fit.
constexpr std::int16_t narrowInfinity = INT16_MAX;

// The entries of a zone of dimension dim, row by row as in the full matrix. (Leaving out the
// diagonal would save 2 * dim bytes a zone but make every read compute around it; the aLU
// tests read entries in every order.)
constexpr int compactEntryCount(int dim) { return dim * dim; }

// Writes the entries of a closed zone in 16 bits; false (out not written) when some bound does
// not fit.
bool narrowEntries(const UnpackedZone& zone, std::int16_t* out);
void wideEntries(const UnpackedZone& zone, std::int32_t* out);

// A stored zone in compact form: dim and the entries, 16 or 32 bits wide.
struct CompactZone {
  const void* entries;
  int dim;
  bool wide;

  std::int32_t at(int i, int j) const {
    const int k = i * dim + j;
    if (wide) return static_cast<const std::int32_t*>(entries)[k];
    return widen(static_cast<const std::int16_t*>(entries)[k]);
  }
  static std::int32_t widen(std::int16_t raw) {
    return raw == narrowInfinity ? infinityBound : raw;
  }
  // Writes the full matrix into zone, which has the same dimension; the zone is closed.
  void unpackInto(UnpackedZone& zone) const;
};

// How the stored zone relates to fresh (closed, same dimension), with the codes of
// Zone::relation. freshNarrow holds fresh's entries in 16 bits when they fit (else null);
// two 16-bit forms are compared eight entries at a time.
int compareCompact(const CompactZone& stored, const UnpackedZone& fresh,
                   const std::int16_t* freshNarrow);
