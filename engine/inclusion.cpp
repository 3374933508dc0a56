// engine/inclusion.cpp: zone comparison for the passed and waiting lists.
#include "engine/inclusion.h"

#include <cassert>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "model/clock.h"

namespace {

// Rebuilds a packed zone in scratch without allocating, as PackedZone::unpack() does.
void unpackInto(const PackedZone* packed, UnpackedZone*& scratch) {
  int dim = packed->dimension();
  if (!scratch || scratch->dimension() != dim) {
    delete scratch;
    scratch = UnpackedZone::create(dim, true);
  } else {
    std::int32_t* m = scratch->matrix();
    for (int i = 0; i < dim; ++i)
      for (int j = 0; j < dim; ++j)
        m[i * dim + j] = i == j || ClockInfo::isReference(i) ? zeroBound : infinityBound;
  }
  for (int k = 0; k < packed->count(); ++k)
    scratch->setBound(packed->firstClock(k), packed->secondClock(k), packed->boundAt(k));
  scratch->close();
}

}  // namespace

void zoneSignature(const UnpackedZone* zone, std::int32_t clamp, Signature* signature) {
  int dim = zone->dimension();
  const std::int32_t* m = zone->matrix();
  for (int i = 0; i < dim; ++i, m += dim) {
    std::int64_t sum = 0;
    for (int j = 0; j < dim; ++j) {
      std::int32_t v = m[j];
      sum += v > clamp ? clamp : v < -clamp ? -clamp : v;
    }
    signature[i] = Signature(sum > INT16_MAX ? INT16_MAX : sum < INT16_MIN ? INT16_MIN : sum);
  }
}

std::int32_t signatureClamp() {
  std::int64_t largest = 0;
  for (std::int32_t constant : ClockInfo::table().maxConstants)
    if (constant > largest) largest = constant;
  // Differences of two clocks reach twice the largest constant; raw bounds double that.
  std::int64_t clamp = 4 * largest + 4;
  return std::int32_t(clamp > (1 << 23) ? (1 << 23) : clamp);
}

int compareMatrices(const std::int32_t* a, const std::int32_t* b, int n) {
  // bAbove: some entry of b exceeds a's (b is not inside a); aAbove: the other way round.
  bool bAbove = false, aAbove = false;
  int k = 0;
#ifdef __SSE2__
  __m128i bMask = _mm_setzero_si128(), aMask = _mm_setzero_si128();
  for (; k + 4 <= n; k += 4) {
    __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + k));
    __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
    bMask = _mm_or_si128(bMask, _mm_cmpgt_epi32(vb, va));
    aMask = _mm_or_si128(aMask, _mm_cmpgt_epi32(va, vb));
    if (_mm_movemask_epi8(bMask) && _mm_movemask_epi8(aMask)) return Zone::noInclusion;
  }
  bAbove = _mm_movemask_epi8(bMask) != 0;
  aAbove = _mm_movemask_epi8(aMask) != 0;
#endif
  for (; k < n; ++k) {
    bAbove |= b[k] > a[k];
    aAbove |= a[k] > b[k];
  }
  if (!bAbove) return aAbove ? Zone::argIncludedIn : Zone::equal;
  return aAbove ? Zone::noInclusion : Zone::argIncludes;
}

int compareZones(const Zone* stored, const Signature* storedSignature,
                 const UnpackedZone* fresh, const Signature* freshSignature,
                 UnpackedZone*& scratch) {
  int dim = fresh->dimension();
  bool up = false, down = false;
  if (storedSignature && freshSignature) {
    for (int i = 0; i < dim; ++i) {
      up |= freshSignature[i] > storedSignature[i];
      down |= freshSignature[i] < storedSignature[i];
    }
    if (up && down) return Zone::noInclusion;
  }
  assert(stored->dimension() == dim);
  if (!stored->isPacked())
    return compareMatrices(static_cast<const UnpackedZone*>(stored)->matrix(), fresh->matrix(),
                           dim * dim);
  const PackedZone* packed = static_cast<const PackedZone*>(stored);
  const std::int32_t* m = fresh->matrix();
  if (!up) {
    const std::int32_t* bounds = packed->bounds();
    const std::uint8_t* pairs = packed->pairs();
    int n = packed->count();
    int k = 0;
    while (k < n && m[pairs[2 * k] * dim + pairs[2 * k + 1]] <= bounds[k]) ++k;
    if (k == n) return Zone::argIncludedIn;
  }
  unpackInto(packed, scratch);
  return compareMatrices(scratch->matrix(), m, dim * dim);
}
