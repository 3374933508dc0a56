#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <utility>
#include <vector>

#include "base/error.h"
#include "tests/support/zone_builder.h"
#include "zones/zone.h"

using testing::ElementsAre;
using testing::Pair;
using testing::StrEq;
using testing::ThrowsMessage;

namespace {

struct Constraint {
  int i, j;
  std::int32_t raw;
  bool operator==(const Constraint&) const = default;
};

std::vector<Constraint> constraintsOf(const PackedZone& packed) {
  std::vector<Constraint> all;
  for (int k = 0; k < packed.count(); ++k)
    all.push_back({packed.firstClock(k), packed.secondClock(k), packed.boundAt(k)});
  return all;
}

std::vector<std::int32_t> entries(const UnpackedZone& zone) {
  int n = zone.dimension() * zone.dimension();
  return std::vector<std::int32_t>(zone.matrix(), zone.matrix() + n);
}

// The packed form keeps only the constraints the closed matrix cannot do without.
TEST(Packing, KeepsOnlyTheNecessaryConstraints) {
  ClockScope clocks({"x", "y", "z"});
  ZonePtr zero = zoneOf("");
  zero->setZero();
  struct Case {
    const char* text;
    UnpackedZone* zone;
    std::vector<Constraint> kept;
  } cases[] = {
      {"unconstrained", zoneOf("").release(), {}},
      {"all zero: one cycle through the class",
       zero.release(),
       {{1, 2, zeroBound}, {2, 3, zeroBound}, {3, 0, zeroBound}}},
      {"x > 0 is stored", zoneOf("x > 0").release(), {{0, 1, makeBound(0, true)}}},
      {"x >= 0 is trivial", zoneOf("x >= 0").release(), {}},
      {"x - y <= 2 follows from x <= 5, y >= 3",
       zoneOf("x <= 5, y >= 3").release(),
       {{0, 2, makeBound(-3, false)}, {1, 0, makeBound(5, false)}}},
  };
  for (Case& c : cases) {
    ZonePtr zone(c.zone);
    PackedPtr packed(zone->pack());
    EXPECT_EQ(constraintsOf(*packed), c.kept) << c.text;
    EXPECT_EQ(entries(*ZonePtr(PackedPtr(packed->copy())->unpack())), entries(*zone)) << c.text;
  }
}

// Random zones, some delayed, some with clocks reset or fixed (zero-weight cycles).
TEST(Packing, RoundTripGivesTheIdenticalMatrix) {
  std::mt19937 random(99);
  for (int dim : {2, 3, 4, 6, 9}) {
    ClockScope clocks(dim - 1);
    std::uniform_int_distribution<int> clock(1, dim - 1), constant(0, 4);
    for (int round = 0; round < 400; ++round) {
      ZonePtr zone = randomZone(random, dim, round % (2 * dim) + 1, 5);
      for (int k = 0; k < round % 4 && !zone->isEmpty(); ++k)
        round % 8 < 4 ? zone->reset(clock(random), constant(random))
                      : void(zone->constrainEqual(clock(random), constant(random)));
      if (zone->isEmpty()) continue;
      if (round % 5 == 0) zone->delay();
      PackedPtr packed(zone->pack());
      ASSERT_LE(packed->count(), dim * dim);
      ZonePtr back(packed->unpack());
      ASSERT_FALSE(back->isDirty());
      ASSERT_EQ(entries(*back), entries(*zone)) << "dim " << dim << " round " << round << ": "
                                                << printed(*zone) << " / " << printed(*packed);
      ASSERT_EQ(constraintsOf(*PackedPtr(back->pack())), constraintsOf(*packed));
    }
  }
}

TEST(PackedInclusion, AgreesWithTheFullComparison) {
  std::mt19937 random(17);
  ClockScope clocks(3);
  int fast = 0, slow = 0;
  for (int round = 0; round < 2000; ++round) {
    ZonePtr stored = randomZone(random, 4, 3, 4), fresh = randomZone(random, 4, 3, 4);
    if (round % 3 == 0) fresh->intersect(*stored);
    if (fresh->isEmpty()) continue;
    PackedPtr packed(stored->pack());
    Zone::Relation full = stored->relation(fresh.get()), quick = packed->relation(fresh.get());
    if (full == Zone::equal || full == Zone::argIncludedIn) {
      EXPECT_EQ(quick, Zone::argIncludedIn);
      ++fast;
    } else {
      EXPECT_EQ(quick, full);
      ++slow;
    }
  }
  EXPECT_GT(fast, 100);
  EXPECT_GT(slow, 100);
}

TEST(PackedPrinting, StoredConstraintsInBothForms) {
  ClockScope clocks({"x", "y"});
  PackedPtr packed(zoneOf("x > 1, x <= 5, y - x < 2, x - y <= 0")->pack());
  EXPECT_EQ(printed(*packed), "x>1, x<=5, x-y<=0, y-x<2");
  EXPECT_EQ(printed(*packed, true), " and x>1 and x<=5 and x<=y and y<x+2");
  PackedPtr zero(zoneOf("x == 0, y == 0")->pack());
  EXPECT_EQ(printed(*zero), "x-y<=0, y<=0");
}

}  // namespace
