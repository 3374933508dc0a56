// engine/compact_zone.cpp: the compact zone form of the aLU passed list.
#include "engine/compact_zone.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

bool narrowEntries(const UnpackedZone& zone, std::int16_t* out) {
  const int dim = zone.dimension();
  const std::int32_t* m = zone.matrix();
  bool fits = true;
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) {
      if (i == j) continue;
      const std::int32_t raw = m[i * dim + j];
      if (raw == infinityBound) {
        *out++ = narrowInfinity;
      } else {
        fits &= raw >= INT16_MIN && raw < narrowInfinity;
        *out++ = std::int16_t(raw);
      }
    }
  return fits;
}

void wideEntries(const UnpackedZone& zone, std::int32_t* out) {
  const int dim = zone.dimension();
  const std::int32_t* m = zone.matrix();
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j)
      if (i != j) *out++ = m[i * dim + j];
}

void CompactZone::unpackInto(UnpackedZone& zone) const {
  std::int32_t* m = zone.matrix();
  for (int i = 0; i < dim; ++i)
    for (int j = 0; j < dim; ++j) m[i * dim + j] = at(i, j);
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
      if (i == j) continue;
      const std::int32_t a = stored.at(i, j), b = fresh.at(i, j);
      freshAbove |= b > a;
      storedAbove |= a > b;
    }
  return relationOf(freshAbove, storedAbove);
}
