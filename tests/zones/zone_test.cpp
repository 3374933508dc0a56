#include "zones/zone.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "base/error.h"
#include "tests/support/zone_builder.h"

namespace {

TEST(RawBound, ConstantsBeyondTheSupportedRangeAreRefusedInEveryBuild) {
  EXPECT_EQ(makeBound(-maxClockConstant, false), -2 * maxClockConstant + 1);
  ClockScope clocks({"x"});
  ZonePtr zone(UnpackedZone::create(2, true));
  for (std::int32_t c : {maxClockConstant + 1, -maxClockConstant - 1, 1 << 30, INT32_MIN}) {
    EXPECT_THROW(makeBound(c, true), CheckError) << c;
    EXPECT_THROW(zone->tighten(1, 0, c, false), CheckError) << c;
    EXPECT_THROW(zone->reset(1, c), CheckError) << c;
  }
  for (int dim : {0, 256}) EXPECT_THROW(UnpackedZone::create(dim, true), Bug) << dim;
}

TEST(RawBound, SumIsNonStrictOnlyWhenBothAre) {
  for (int a = -9; a <= 9; ++a)
    for (int b = -9; b <= 9; ++b)
      for (int sa = 0; sa < 2; ++sa)
        for (int sb = 0; sb < 2; ++sb)
          EXPECT_EQ(addBounds(makeBound(a, sa), makeBound(b, sb)), makeBound(a + b, sa || sb));
  EXPECT_EQ(boundValue(-5), -3);  // arithmetic shift on negative bounds
}

TEST(ZoneCreation, SystemWithoutClocksHasDimensionOne) {
  ClockScope clocks(0);
  ZonePtr zone(UnpackedZone::create(1, true));
  zone->delay();
  zone->past();
  zone->extrapolate(ClockInfo::extrapolationBounds());
  EXPECT_EQ(zone->at(0, 0), zeroBound);
  EXPECT_EQ(printed(*zone) + printed(*zone, true), "");
  PackedPtr packed(zone->pack());
  EXPECT_EQ(packed->count(), 0);
  EXPECT_EQ(ZonePtr(packed->unpack())->relation(zone.get()), Zone::equal);
}

TEST(ZoneCreation, LargestDimensionWorks) {
  ClockScope clocks(254);
  std::mt19937 random(7);
  ZonePtr zone = randomZone(random, 255, 100, 20);
  zone->tighten(254, 1, 3, false);
  zone->close();
  ZonePtr full(zone->copy());
  full->fullClose();
  EXPECT_EQ(zone->relation(full.get()), Zone::equal);
  if (!zone->isEmpty()) {
    EXPECT_EQ(ZonePtr(PackedPtr(zone->pack())->unpack())->relation(zone.get()), Zone::equal);
  }
}

// tighten() answers whether the zone may still be non-empty; an empty zone stays empty.
TEST(Tightening, OppositeEntryDecidesEmptiness) {
  ClockScope clocks({"x", "y", "z"});
  struct Case {
    int c;
    bool strict, answer;
  } cases[] = {{2, false, false}, {3, false, true}, {3, true, false}, {9, true, true}};
  for (const Case& c : cases) {
    ZonePtr zone = zoneOf("x >= 3");  // then x <= c or x < c
    EXPECT_EQ(zone->tighten(1, 0, c.c, c.strict), c.answer) << c.c << c.strict;
    zone->close();
    EXPECT_EQ(zone->isEmpty(), !c.answer);
  }
  ZonePtr empty = zoneOf("x - y < 1, y - z < 1, z - x < -2");
  EXPECT_TRUE(empty->isEmpty());
  empty->delay();
  empty->tighten(2, 0, 4, false);
  empty->close();
  EXPECT_TRUE(empty->isEmpty());
}

// Floyd-Warshall over every pivot with no shortcuts, the oracle for the incremental closures.
std::vector<std::int32_t> referenceClosure(std::vector<std::int32_t> m, int dim) {
  for (int k = 0; k < dim; ++k)
    for (int i = 0; i < dim; ++i)
      for (int j = 0; j < dim; ++j) {
        std::int32_t a = m[i * dim + k], b = m[k * dim + j];
        if (a == infinityBound || b == infinityBound) continue;
        long sum = long(a) + b - ((a | b) & 1);
        if (sum < m[i * dim + j]) m[i * dim + j] = std::int32_t(sum);
      }
  return m;
}

bool referenceEmpty(const std::vector<std::int32_t>& m, int dim) {
  for (int i = 0; i < dim; ++i)
    if (m[i * dim + i] < zeroBound) return true;
  return false;
}

TEST(Closure, TighteningsThenCloseAgreeWithFloydWarshall) {
  std::mt19937 random(42);
  for (int dim : {2, 3, 5, 8, 13}) {
    ClockScope clocks(dim - 1);
    std::uniform_int_distribution<int> clock(0, dim - 1), constant(-8, 8), coin(0, 1), count(1, 4);
    int empties = 0;
    for (int round = 0; round < 300; ++round) {
      ZonePtr zone = randomZone(random, dim, dim, 8);
      std::vector<std::int32_t> raw(zone->matrix(), zone->matrix() + dim * dim);
      int tightenings = count(random);
      for (int k = 0; k < tightenings; ++k) {
        int i = clock(random), j = clock(random);
        if (i == j) continue;
        std::int32_t bound = makeBound(constant(random), coin(random));
        zone->tightenRaw(i, j, bound);
        raw[i * dim + j] = std::min(raw[i * dim + j], bound);
      }
      zone->close();
      EXPECT_FALSE(zone->isDirty());
      std::vector<std::int32_t> expected = referenceClosure(raw, dim);
      bool empty = referenceEmpty(expected, dim);
      empties += empty;
      ASSERT_EQ(zone->isEmpty(), empty) << "dim " << dim << " round " << round;
      if (!empty) {
        ASSERT_EQ(std::vector<std::int32_t>(zone->matrix(), zone->matrix() + dim * dim), expected)
            << "dim " << dim << " round " << round;
      }
    }
    EXPECT_GT(empties, 0) << "no empty zone met at dim " << dim;
  }
}

TEST(Closure, CopyCarriesTheTouchedClocks) {
  ClockScope clocks({"x", "y", "z"});
  ZonePtr zone = zoneOf("x - y <= 1, z >= 2");
  zone->tighten(2, 1, -1, false);
  zone->tighten(1, 0, 4, true);
  ZonePtr copied(zone->copy()), assigned = zoneOf("");
  assigned->assign(*zone);
  for (UnpackedZone* z : {zone.get(), copied.get(), assigned.get()}) z->close();
  EXPECT_EQ(zone->relation(copied.get()), Zone::equal);
  EXPECT_EQ(zone->relation(assigned.get()), Zone::equal);
}

// What a.relation(b) gives when b lies in a (bInA) and a lies in b (aInB).
Zone::Relation relationFor(bool bInA, bool aInB) {
  if (bInA) return aInB ? Zone::equal : Zone::argIncludedIn;
  return aInB ? Zone::argIncludes : Zone::noInclusion;
}

// The relation of random zones both ways against their points (a quarter grid meets every
// region of two clocks).
TEST(Relation, AgreesWithThePoints) {
  std::mt19937 random(11);
  ClockScope clocks(2);
  std::vector<Point> points = grid(3, every(1, 40));
  int seen[5] = {};
  for (int round = 0; round < 400; ++round) {
    ZonePtr a = randomZone(random, 3, 2, 4), b = randomZone(random, 3, 2, 4);
    bool aInB = true, bInA = true;
    for (const Point& p : points) {
      aInB = aInB && (!contains(*a, p) || contains(*b, p));
      bInA = bInA && (!contains(*b, p) || contains(*a, p));
    }
    ++seen[relationFor(bInA, aInB)];
    EXPECT_EQ(a->relation(b.get()), relationFor(bInA, aInB)) << round;
    EXPECT_EQ(b->relation(a.get()), relationFor(aInB, bInA)) << round;
    EXPECT_EQ(a->relation(a.get()), Zone::equal);
  }
  EXPECT_GT(seen[Zone::noInclusion] * seen[Zone::argIncludedIn] * seen[Zone::argIncludes], 0);
}

// Zone operations against their meaning on points: with constants up to 4 and points on the
// half-integer grid up to 6, searching witnesses on the quarter grid up to 10 is enough.
class PointSemantics : public testing::Test {
 protected:
  static constexpr int dim = 3;
  ClockScope clocks{2};
  std::mt19937 random{2024};
  std::vector<Point> points = halfIntegerPoints(dim, 6);

  // Whether zone holds a point that change(p, v) makes for some v in 0 to 10 (in quarters).
  static bool someImage(const UnpackedZone& zone, const Point& p,
                        const std::function<void(Point&, int)>& change) {
    for (int v = 0; v <= 40; ++v) {
      Point q = p;
      change(q, v);
      if (contains(zone, q)) return true;
    }
    return false;
  }

  void expectSameSet(const char* what, int round, const UnpackedZone& zone,
                     const std::function<bool(const Point&)>& member) {
    ZonePtr closed(zone.copy());
    closed->fullClose();
    ASSERT_EQ(zone.relation(closed.get()), Zone::equal) << what << " keeps the closed form";
    for (const Point& p : points)
      ASSERT_EQ(contains(zone, p), member(p))
          << what << " round " << round << " point " << p[1] / 4.0 << "," << p[2] / 4.0;
  }
};

TEST_F(PointSemantics, DelayAndPastAddEveryLaterAndEarlierPoint) {
  for (int round = 0; round < 60; ++round) {
    ZonePtr zone = randomZone(random, dim, 3, 4), later(zone->copy()), earlier(zone->copy());
    later->delay();
    earlier->past();
    expectSameSet("delay", round, *later, [&](const Point& p) {
      return someImage(*zone, p, [](Point& q, int t) { q[1] -= t, q[2] -= t; });
    });
    expectSameSet("past", round, *earlier, [&](const Point& p) {
      return someImage(*zone, p, [](Point& q, int t) { q[1] += t, q[2] += t; });
    });
  }
}

TEST_F(PointSemantics, ResetFreeAndConstrainEqual) {
  for (int round = 0; round < 60; ++round) {
    ZonePtr zone = randomZone(random, dim, 3, 4);
    for (int x = 1; x < dim; ++x) {
      auto anyValue = [&](const Point& p) {
        return someImage(*zone, p, [x](Point& q, int v) { q[x] = v; });
      };
      for (int c : {0, 2}) {
        ZonePtr reset(zone->copy()), equal(zone->copy());
        reset->reset(x, c);
        expectSameSet("reset", round, *reset,
                      [&](const Point& p) { return p[x] == 4 * c && anyValue(p); });
        EXPECT_TRUE(equal->constrainEqual(x, c) || equal->isEmpty());
        for (const Point& p : points)
          ASSERT_EQ(contains(*equal, p), p[x] == 4 * c && contains(*zone, p)) << round;
      }
      ZonePtr freed(zone->copy());
      freed->free(x);
      expectSameSet("free", round, *freed, anyValue);
    }
  }
}

bool includes(const Zone& a, const UnpackedZone& b) {
  Zone::Relation r = a.relation(&b);
  return r == Zone::argIncludedIn || r == Zone::equal;
}

TEST_F(PointSemantics, IntersectionHullAndExtrapolation) {
  ClockInfo::setConstants({0, 2, 3}, DiagonalGuards());
  for (int round = 0; round < 60; ++round) {
    ZonePtr a = randomZone(random, dim, 2, 4), b = randomZone(random, dim, 3, 5);
    ZonePtr both(a->copy()), hull(a->copy()), wide(b->copy());
    auto inBoth = [&](const Point& p) { return contains(*a, p) && contains(*b, p); };
    both->intersect(*b);
    if (!both->isEmpty()) expectSameSet("intersect", round, *both, inBoth);
    for (const Point& p : points) ASSERT_TRUE(!both->isEmpty() || !inBoth(p));
    hull->convexHull(b.get());
    EXPECT_TRUE(includes(*hull, *a) && includes(*hull, *b));
    wide->extrapolate(ClockInfo::extrapolationBounds());
    EXPECT_FALSE(wide->isDirty());
    EXPECT_TRUE(includes(*wide, *b));
  }
}

TEST(Extrapolation, DiagonalGuardSatisfiedBeforeIsImposedAgain) {
  ClockScope clocks({"x", "y"});
  DiagonalGuards diagonals;
  ClockGuard guard(1, 2, 2, true);  // x - y < 2
  diagonals.insert(guard);
  diagonals.insert(guard.negation());
  ClockInfo::setConstants({0, 0, 0}, diagonals);
  ZonePtr zone = zoneOf("x == 5, y == 4");
  ASSERT_LT(zone->at(1, 2), makeBound(2, true));
  zone->extrapolate(ClockInfo::extrapolationBounds());
  EXPECT_EQ(zone->at(1, 2), makeBound(2, true));
  EXPECT_EQ(zone->at(1, 0), infinityBound);
  EXPECT_FALSE(zone->isDirty());

  ClockInfo::setConstants({0, 0, 0}, DiagonalGuards());
  ZonePtr plain = zoneOf("x == 5, y == 4");
  plain->extrapolate(ClockInfo::extrapolationBounds());
  EXPECT_EQ(plain->at(1, 2), infinityBound) << "without the guard the difference is dropped";
}

TEST(NonStrictUpperBounds, ColumnZeroBecomesNonStrict) {
  ClockScope clocks({"x", "y"});
  ZonePtr zone = zoneOf("x < 3, y < 2, x - y < 2");
  ZonePtr loose(zone->withNonStrictUpperBounds());
  EXPECT_EQ(loose->at(1, 0), makeBound(3, false));
  EXPECT_EQ(loose->at(2, 0), makeBound(2, false));
  EXPECT_EQ(loose->at(1, 2), makeBound(2, true));
  EXPECT_EQ(zone->at(1, 0), makeBound(3, true)) << "the original is untouched";
}

TEST(Printing, ReadableAndQueryForms) {
  ClockScope clocks({"x", "y"});
  ZonePtr zero = zoneOf("");
  zero->setZero();
  EXPECT_EQ(printed(*zero), "x<=0, x-y<=0, y<=0, y-x<=0");
  EXPECT_EQ(printed(*zero, true), " and x<=0 and x<=y and y<=0 and y<=x");

  ZonePtr strict = zoneOf("x > 0");
  EXPECT_EQ(printed(*strict), "x>0");
  EXPECT_EQ(printed(*strict, true), "");

  ZonePtr zone = zoneOf("x >= 2, x <= 5, y - x > 2, y < 9");
  EXPECT_EQ(printed(*zone), "x>=2, y>4, x<=5, x-y<-2, y<9, y-x<7");
  EXPECT_EQ(printed(*zone, true), " and x>=2 and y>4 and x<=5 and x<y-2 and y<9 and y<x+7");
}

}  // namespace
