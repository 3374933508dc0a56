// zones/lu.h: abstractions of zones by lower and upper clock bounds. A lower bound L_x is the
// largest constant some guard "x > c" or "x >= c" may still compare x with, an upper bound U_x
// the largest in "x < c" or "x <= c"; -1 (noClockBound) when there is none. Arrays hold one
// entry per clock of the zone; entry 0 (the reference clock) is not read.
#pragma once
#include <cstdint>

#include "zones/zone.h"

constexpr std::int32_t noClockBound = -1;

// ExtraLU+: drops every difference x - y whose constant exceeds L_x, every constraint on x once
// its lower bound exceeds L_x, and every constraint on y but "y > U_y" once y's lower bound
// exceeds U_y; then closes. The result includes the zone and lies within its aLU abstraction.
void extrapolateLU(UnpackedZone& zone, const std::int32_t* lower, const std::int32_t* upper);

// ExtraM+: ExtraLU+ with L = U = M.
inline void extrapolateM(UnpackedZone& zone, const std::int32_t* maximal) {
  extrapolateLU(zone, maximal, maximal);
}

// Whether every valuation of zone is LU-simulated by one of other: zone is included in
// aLU(other). Both zones closed, non-empty and of the same dimension; quadratic in the clocks,
// no abstracted zone is built.
bool isLUSimulated(const UnpackedZone& zone, const UnpackedZone& other, const std::int32_t* lower,
                   const std::int32_t* upper);

// The same test on zones read through functions: zone(i, j) and other(i, j) give the raw bound
// of x_i - x_j of closed non-empty zones of dimension dim. For stores that keep zones in a form
// of their own.
template <class ZoneAt, class OtherAt>
bool isLUSimulatedOn(int dim, ZoneAt zone, OtherAt other, const std::int32_t* lower,
                     const std::int32_t* upper) {
  // zone is not within aLU(other) exactly when for some clocks x, y (either may be the reference
  // clock, whose bounds are 0): zone's lower bound of x is at most U_x, other bounds y - x more
  // tightly than zone does, and other's bound on y - x minus L_y is below zone's bound on -x.
  auto fails = [&](int x, int y) {
    const std::int32_t otherYX = other(y, x);
    if (isInfinite(otherYX)) return false;
    const std::int32_t zoneYX = zone(y, x);
    if (otherYX >= zoneYX) return false;
    const std::int32_t ly = y == 0 ? 0 : lower[y];
    if (ly < 0) return false;  // any value of y is above L_y
    return addBounds(otherYX, makeBound(-ly, true)) < zone(0, x);
  };
  auto lowEnough = [&](int x) {  // zone's lower bound of x at most U_x
    const std::int32_t ux = x == 0 ? 0 : upper[x];
    return ux >= 0 && zone(0, x) >= makeBound(-ux, false);
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
