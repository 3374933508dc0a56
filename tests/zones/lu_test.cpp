// ExtraLU+ and the aLU simulation test against the definition of LU simulation, decided point
// by point: v is in aLU(Z) when some v' of Z has, for every clock x, v'(x) = v(x), or
// L_x < v'(x) < v(x), or U_x < v(x) < v'(x). Points are on a quarter grid, fine enough to meet
// every region of up to three clocks, and far enough to meet those a difference constraint
// pushes beyond the constants.
#include "zones/lu.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/zone_builder.h"

namespace {

using Bounds = std::vector<std::int32_t>;

// Every point with clock values 0, 1/4, ..., top (in quarters).
std::vector<Point> quarterPoints(int dim, int top) { return grid(dim, every(1, 4 * top)); }

// Whether some point of zone LU-simulates p: one zone emptiness test per choice of case per
// clock, on the zone scaled to quarters.
bool inALU(const UnpackedZone& zone, const Point& p, const Bounds& lower, const Bounds& upper) {
  const int dim = zone.dimension();
  int choices = 1;
  for (int x = 1; x < dim; ++x) choices *= 3;
  for (int choice = 0; choice < choices; ++choice) {
    ZonePtr box(UnpackedZone::create(dim, true));
    for (int i = 0; i < dim; ++i)
      for (int j = 0; j < dim; ++j)
        if (i != j && !isInfinite(zone.at(i, j)))
          box->tightenRaw(i, j, makeBound(4 * boundValue(zone.at(i, j)), isStrict(zone.at(i, j))));
    bool possible = true;
    for (int x = 1, rest = choice; x < dim; ++x, rest /= 3) {
      switch (rest % 3) {
        case 0:  // v'(x) = v(x)
          box->tighten(x, 0, p[x], false);
          box->tighten(0, x, -p[x], false);
          break;
        case 1:  // L_x < v'(x) < v(x)
          box->tighten(x, 0, p[x], true);
          box->tighten(0, x, -4 * lower[x], true);
          break;
        default:  // U_x < v(x) < v'(x)
          possible = possible && 4 * upper[x] < p[x];
          box->tighten(0, x, -p[x], true);
      }
    }
    if (!possible) continue;
    box->fullClose();
    if (!box->isEmpty()) return true;
  }
  return false;
}

Bounds randomBounds(std::mt19937& random, int dim) {
  std::uniform_int_distribution<int> value(-1, 3);
  Bounds bounds(dim, 0);
  for (int x = 1; x < dim; ++x) bounds[x] = value(random);
  return bounds;
}

std::string text(const Bounds& bounds) {
  std::string out;
  for (std::int32_t b : bounds) out += std::to_string(b) + " ";
  return out;
}

TEST(ExtraLU, HandWorkedZones) {
  ClockScope scope({"x", "y"});
  struct Case {
    const char* zone;
    Bounds lower, upper;
    const char* expected;
  };
  const Case cases[] = {
      // Above U the lower bound becomes "> U"; above L the upper bound goes.
      {"x >= 5, y == 0", {0, 3, 3}, {0, 3, 3}, "x>3, y<=0, y-x<-3"},
      {"x >= 2, x <= 4, y == 0", {0, -1, 3}, {0, 3, 3}, "x>=2, y<=0, y-x<=-2"},
      // A clock compared with nothing keeps only x >= 0.
      {"x >= 2, x <= 4, y == 0", {0, -1, 0}, {0, -1, 0}, "y<=0, y-x<=0"},
      // A difference bounded beyond L_x goes; one within stays.
      {"x - y <= 2, y <= 1", {0, 1, 5}, {0, 5, 5}, "y<=1, y-x<=1"},
      {"x - y <= 1, y <= 1", {0, 1, 5}, {0, 5, 5}, "x<=2, x-y<=1, y<=1, y-x<=1"},
      // Lower bound of y past U_y: differences into y go, "y > U_y" stays.
      {"y - x >= 4, x <= 1", {0, 5, 5}, {0, 5, 2}, "y>2, x<=1, x-y<-1"},
  };
  for (const Case& c : cases) {
    ZonePtr zone = zoneOf(c.zone);
    extrapolateLU(*zone, c.lower.data(), c.upper.data());
    EXPECT_EQ(printed(*zone), c.expected) << c.zone;
  }
}

// Z within ExtraLU+(Z) within aLU(Z), and ExtraM (the global abstraction) within ExtraM+.
TEST(ExtraLU, LiesBetweenTheZoneAndItsALUAbstraction) {
  std::mt19937 random(4);
  for (int clocks = 1; clocks <= 3; ++clocks) {
    ClockScope scope(clocks);
    const int dim = clocks + 1, range = clocks == 3 ? 2 : 4, top = 2 * range + 4;
    const std::vector<Point> points = quarterPoints(dim, top);
    for (int round = 0; round < (clocks == 3 ? 20 : 60); ++round) {
      ZonePtr zone = randomZone(random, dim, 2 + clocks, range);
      const Bounds lower = randomBounds(random, dim), upper = randomBounds(random, dim);
      ZonePtr abstracted(zone->copy()), classic(zone->copy()), plus(zone->copy());
      extrapolateLU(*abstracted, lower.data(), upper.data());
      ASSERT_FALSE(abstracted->isEmpty());
      EXPECT_TRUE(abstracted->relation(zone.get()) & (Zone::argIncludedIn | Zone::equal))
          << printed(*zone) << " -> " << printed(*abstracted);
      for (const Point& p : points) {
        if (!contains(*abstracted, p) || contains(*zone, p)) continue;
        ASSERT_TRUE(inALU(*zone, p, lower, upper))
            << printed(*zone) << " -> " << printed(*abstracted) << " at point " << p[1];
      }
      Bounds maximal(dim, 0);
      for (int x = 1; x < dim; ++x) maximal[x] = std::max(0, upper[x]);
      ClockInfo::setConstants(maximal, DiagonalGuards());
      classic->extrapolate(ClockInfo::extrapolationBounds());
      extrapolateM(*plus, maximal.data());
      EXPECT_TRUE(plus->relation(classic.get()) & (Zone::argIncludedIn | Zone::equal));
    }
  }
}

// isLUSimulated(Z, Z') answers whether every point of Z is LU-simulated by one of Z'.
TEST(ALUSimulation, AgreesWithThePointwiseDefinition) {
  std::mt19937 random(9);
  int included = 0, notIncluded = 0;
  for (int clocks = 1; clocks <= 3; ++clocks) {
    ClockScope scope(clocks);
    const int dim = clocks + 1, range = clocks == 3 ? 2 : 4, top = 2 * range + 4;
    const std::vector<Point> points = quarterPoints(dim, top);
    for (int round = 0; round < (clocks == 3 ? 30 : 100); ++round) {
      ZonePtr other = randomZone(random, dim, 2 + clocks, range);
      // Half the pairs relate: zone loosens other by one constraint, or is other itself.
      ZonePtr zone = randomZone(random, dim, 2 + clocks, range);
      if (round % 2) {
        zone.reset(UnpackedZone::create(dim, true));
        for (int i = 0; i < dim; ++i)
          for (int j = 0; j < dim; ++j)
            if (i != j && (i + j + round) % 3) zone->tightenRaw(i, j, other->at(i, j));
        zone->fullClose();
      }
      const Bounds lower = randomBounds(random, dim), upper = randomBounds(random, dim);
      bool expected = std::all_of(points.begin(), points.end(), [&](const Point& p) {
        return !contains(*zone, p) || inALU(*other, p, lower, upper);
      });
      (expected ? included : notIncluded) += 1;
      EXPECT_EQ(isLUSimulated(*zone, *other, lower.data(), upper.data()), expected)
          << printed(*zone) << " in aLU of " << printed(*other) << ", L, U " << text(lower) << " "
          << text(upper);
    }
  }
  EXPECT_GT(included, 40);
  EXPECT_GT(notIncluded, 40);
}

}  // namespace
