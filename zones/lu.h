// zones/lu.h: abstractions of zones by lower and upper clock bounds. A lower bound L_x is the
// largest constant some guard "x > c" or "x >= c" may still compare x with, an upper bound U_x
// the largest in "x < c" or "x <= c"; -1 (noClockBound) when there is none. Arrays hold one
// entry per clock of the zone; entry 0 (the reference clock) is not read.
#pragma once
#include <cstdint>

class UnpackedZone;

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
