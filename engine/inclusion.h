// engine/inclusion.h: the zone comparison that the passed and waiting lists run on every chain
// walk.
#pragma once
#include <cstdint>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "zones/zone.h"

// A zone's signature: one 16-bit number per row of its matrix, the sum of the row's entries,
// each entry first clamped to +-clamp (the infinite bound becomes clamp), the sum saturated.
// Clamping, summing and saturating keep the order, so when zone a lies inside zone b every
// number of a's signature is at most b's, whatever the clamp. Two signatures with differences
// of both signs prove that neither zone includes the other without reading the matrices: almost
// every comparison in a chain walk ends that way. Signatures compared with each other must use
// the same clamp.
// Lists keep signatures padded with zeros to a multiple of eight numbers.
using Signature = std::int16_t;
void zoneSignature(const UnpackedZone* zone, std::int32_t clamp, Signature* signature);
constexpr int signatureLength(int dim) { return (dim + 7) & ~7; }

// True when the signatures (of padded length n) prove that neither zone includes the other.
inline bool signaturesExcludeInclusion(const Signature* a, const Signature* b, int n) {
#ifdef __SSE2__
  __m128i up = _mm_setzero_si128(), down = _mm_setzero_si128();
  for (int k = 0; k < n; k += 8) {
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
    up = _mm_or_si128(up, _mm_cmpgt_epi16(vb, va));
    down = _mm_or_si128(down, _mm_cmpgt_epi16(va, vb));
  }
  return _mm_movemask_epi8(up) != 0 && _mm_movemask_epi8(down) != 0;
#else
  bool up = false, down = false;
  for (int k = 0; k < n; ++k) {
    up |= b[k] > a[k];
    down |= a[k] > b[k];
  }
  return up && down;
#endif
}

// A clamp that keeps the finite bounds of extrapolated zones apart under the clock table's
// present maximal constants, and the row sums of small dimensions within 16 bits.
std::int32_t signatureClamp();

// The relation of two matrices of n entries each (a stored, b new), with the codes of
// Zone::relation. Four entries at a time, stopping as soon as neither can include the other.
int compareMatrices(const std::int32_t* a, const std::int32_t* b, int n);

// How the stored zone relates to the new one (unpacked, closed, of the same dimension), given
// both signatures (or without the quick test when either is null). A packed stored zone is first
// checked against its constraints alone; when the new zone leaves it, the stored zone is unpacked
// into scratch, which is made (or remade at another dimension) when needed and belongs to the
// caller.
int compareZones(const Zone* stored, const Signature* storedSignature,
                 const UnpackedZone* fresh, const Signature* freshSignature,
                 UnpackedZone*& scratch);
