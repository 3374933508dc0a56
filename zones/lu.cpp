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
  // zone is not within aLU(other) exactly when for some clocks x, y (either may be the reference
  // clock, whose bounds are 0): zone's lower bound of x is at most U_x, other bounds y - x more
  // tightly than zone does, and other's bound on y - x minus L_y is below zone's bound on -x.
  const int dim = zone.dimension();
  auto fails = [&](int x, int y) {
    const std::int32_t otherYX = other.at(y, x);
    if (isInfinite(otherYX) || otherYX >= zone.at(y, x)) return false;
    const std::int32_t ly = y == 0 ? 0 : lower[y];
    if (ly < 0) return false;  // any value of y is above L_y
    return addBounds(otherYX, makeBound(-ly, true)) < zone.at(0, x);
  };
  auto lowEnough = [&](int x) {  // zone's lower bound of x at most U_x
    const std::int32_t ux = x == 0 ? 0 : upper[x];
    return ux >= 0 && zone.at(0, x) >= makeBound(-ux, false);
  };
  // The pairs with the reference clock first: a single bound decides them, and most zones that
  // are not covered fail there.
  for (int x = 1; x < dim; ++x)
    if ((lowEnough(x) && fails(x, 0)) || fails(0, x)) return false;
  for (int x = 1; x < dim; ++x) {
    if (!lowEnough(x)) continue;
    for (int y = 1; y < dim; ++y)
      if (y != x && fails(x, y)) return false;
  }
  return true;
}
