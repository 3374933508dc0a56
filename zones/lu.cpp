// zones/lu.cpp: ExtraLU+ and the aLU simulation test.
#include "zones/lu.h"

#include "zones/zone.h"

void extrapolateLU(UnpackedZone& zone, const std::int32_t* lower, const std::int32_t* upper) {
  zone.close();
  const int dim = zone.dimension();
  // Decisions read the closed zone: rows and columns to drop are found first, then rewritten.
  // A clock whose lower bound passed L loses its row; one whose lower bound passed U loses its
  // column but keeps "> U".
  bool changed = false;
  for (int i = 1; i < dim; ++i) {
    const std::int32_t lowerValue = -boundValue(zone.at(0, i));  // x_i >= lowerValue
    const bool rowGone = lowerValue > lower[i];
    for (int j = 0; j < dim; ++j) {
      if (j == i) continue;
      std::int32_t& entry = zone.at(i, j);
      if (isInfinite(entry)) continue;
      const bool columnGone = j != 0 && -boundValue(zone.at(0, j)) > upper[j];
      if (rowGone || columnGone || boundValue(entry) > lower[i]) {
        entry = infinityBound;
        changed = true;
      }
    }
  }
  for (int j = 1; j < dim; ++j) {
    std::int32_t& entry = zone.at(0, j);
    if (-boundValue(entry) > upper[j]) {
      const std::int32_t replaced = upper[j] < 0 ? zeroBound : makeBound(-upper[j], true);
      if (replaced != entry) {
        entry = replaced;
        changed = true;
      }
    }
  }
  if (changed) zone.fullClose();
}

bool isLUSimulated(const UnpackedZone& zone, const UnpackedZone& other, const std::int32_t* lower,
                   const std::int32_t* upper) {
  return isLUSimulatedOn(
      zone.dimension(), [&](int i, int j) { return zone.at(i, j); },
      [&](int i, int j) { return other.at(i, j); }, lower, upper);
}
