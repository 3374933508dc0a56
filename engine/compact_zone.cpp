// engine/compact_zone.cpp: the compact zone form of the aLU passed list.
#include "engine/compact_zone.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Whether the n raw bounds at from are infinite or fit in 16 bits.
bool fitNarrow(const std::int32_t* from, int n) {
  int k = 0;
#ifdef __SSE2__
  const __m128i infinity = _mm_set1_epi32(infinityBound);
  const __m128i lowest = _mm_set1_epi32(INT16_MIN), highest = _mm_set1_epi32(narrowInfinity - 1);
  __m128i bad = _mm_setzero_si128();
  for (; k + 4 <= n; k += 4) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    __m128i out = _mm_or_si128(_mm_cmplt_epi32(v, lowest), _mm_cmpgt_epi32(v, highest));
    bad = _mm_or_si128(bad, _mm_andnot_si128(_mm_cmpeq_epi32(v, infinity), out));
  }
  if (_mm_movemask_epi8(bad)) return false;
#endif
  for (; k < n; ++k)
    if (from[k] != infinityBound && (from[k] < INT16_MIN || from[k] >= narrowInfinity))
      return false;
  return true;
}

// n raw bounds in 16 bits, each of them infinite or fitting: saturation turns the infinite
// bound into narrowInfinity.
void narrowRun(const std::int32_t* from, int n, std::int16_t* out) {
  int k = 0;
#ifdef __SSE2__
  for (; k + 8 <= n; k += 8) {
    __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k + 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packs_epi32(low, high));
  }
#endif
  for (; k < n; ++k) out[k] = from[k] == infinityBound ? narrowInfinity : std::int16_t(from[k]);
}

}  // namespace

bool narrowEntries(const UnpackedZone& zone, std::int16_t* out) {
  const int n = zone.dimension() * zone.dimension();
  if (!fitNarrow(zone.matrix(), n)) return false;
  narrowRun(zone.matrix(), n, out);
  return true;
}

void wideEntries(const UnpackedZone& zone, std::int32_t* out) {
  std::copy(zone.matrix(), zone.matrix() + zone.dimension() * zone.dimension(), out);
}

void CompactZone::unpackInto(UnpackedZone& zone) const {
  std::int32_t* m = zone.matrix();
  const int n = dim * dim;
  if (wide) {
    const auto* from = static_cast<const std::int32_t*>(entries);
    std::copy(from, from + n, m);
    return;
  }
  const auto* from = static_cast<const std::int16_t*>(entries);
  int k = 0;
#ifdef __SSE2__
  const __m128i infinity = _mm_set1_epi32(infinityBound);
  const __m128i narrow = _mm_set1_epi32(narrowInfinity);
  for (; k + 8 <= n; k += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
    __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(v, v), 16);
    __m128i lowInfinite = _mm_cmpeq_epi32(low, narrow),
            highInfinite = _mm_cmpeq_epi32(high, narrow);
    low = _mm_or_si128(_mm_andnot_si128(lowInfinite, low), _mm_and_si128(lowInfinite, infinity));
    high =
        _mm_or_si128(_mm_andnot_si128(highInfinite, high), _mm_and_si128(highInfinite, infinity));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(m + k), low);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(m + k + 4), high);
  }
#endif
  for (; k < n; ++k) m[k] = widen(from[k]);
}

namespace {

int relationOf(bool freshAbove, bool storedAbove) {
  if (!freshAbove) return storedAbove ? Zone::argIncludedIn : Zone::equal;
  return storedAbove ? Zone::noInclusion : Zone::argIncludes;
}

}  // namespace

int compareCompact(const CompactZone& stored, const UnpackedZone& fresh,
                   const std::int16_t* freshNarrow) {
  // freshAbove: some bound of fresh exceeds the stored one (fresh is not inside); storedAbove:
  // the other way round.
  bool freshAbove = false, storedAbove = false;
  const int dim = stored.dim;
  if (!stored.wide && freshNarrow) {
    const auto* a = static_cast<const std::int16_t*>(stored.entries);
    const std::int16_t* b = freshNarrow;
    const int n = compactEntryCount(dim);
    int k = 0;
#ifdef __SSE2__
    __m128i freshMask = _mm_setzero_si128(), storedMask = _mm_setzero_si128();
    for (; k + 8 <= n; k += 8) {
      __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
      __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
      freshMask = _mm_or_si128(freshMask, _mm_cmpgt_epi16(vb, va));
      storedMask = _mm_or_si128(storedMask, _mm_cmpgt_epi16(va, vb));
      if (_mm_movemask_epi8(freshMask) && _mm_movemask_epi8(storedMask)) return Zone::noInclusion;
    }
    freshAbove = _mm_movemask_epi8(freshMask) != 0;
    storedAbove = _mm_movemask_epi8(storedMask) != 0;
#endif
    for (; k < n; ++k) {
      freshAbove |= b[k] > a[k];
      storedAbove |= a[k] > b[k];
    }
    return relationOf(freshAbove, storedAbove);
  }
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) {
      const std::int32_t a = stored.at(i, j), b = fresh.at(i, j);
      freshAbove |= b > a;
      storedAbove |= a > b;
    }
  return relationOf(freshAbove, storedAbove);
}
