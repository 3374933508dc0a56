// Tests of the conversions between zones and decision diagrams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cdd/zone_cdd.h"
#include "base/error.h"
#include "tests/support/zone_builder.h"

namespace {

bool diagramContains(const Cdd& d, const Point& p) {
  std::vector<double> values(p.size());
  for (std::size_t k = 0; k < p.size(); ++k) values[k] = p[k] / 4.0;
  return d.contains(values.data());
}

class ZoneDiagrams : public testing::Test {
protected:
  void SetUp() override {
    Cdd::done();
    ASSERT_EQ(Cdd::init(64, 10000, 10000), 0);
    Cdd::setGCHandler(nullptr);
    Cdd::setRehashHandler(nullptr);
    Cdd::addClocks(ClockInfo::count());
  }
  void TearDown() override {
    EXPECT_EQ(Cdd::stats().live, 0);
    Cdd::done();
  }
  ClockScope clocks_{"x", "y", "z"};
};

TEST_F(ZoneDiagrams, AsCDDHoldsExactlyTheZonesValuations) {
  auto points = halfIntegerPoints(4, 8);
  for (const char* text : {"", "x <= 3", "x == 2, y - x == 1", "x - y < 1, y - z <= 2, z >= 1",
                           "x - y == 0, y - z == 0", "x > 1, x < 2, y <= 0"}) {
    ZonePtr zone = zoneOf(text);
    Cdd d = cddOf(*zone);
    for (const Point& p : points)
      ASSERT_EQ(diagramContains(d, p), contains(*zone, p)) << text;
  }
  EXPECT_TRUE(cddOf(*zoneOf("")).isTrue());
}

TEST_F(ZoneDiagrams, ZonesOfGivesClosedDisjointZonesCoveringTheDiagram) {
  std::mt19937 random(17);
  auto points = halfIntegerPoints(4, 8);
  for (int t = 0; t < 30; ++t) {
    ZonePtr a = randomZone(random, 4, 4, 3), b = randomZone(random, 4, 4, 3);
    ZonePtr c = randomZone(random, 4, 3, 3);
    Cdd d = (cddOf(*a) | cddOf(*b)) - cddOf(*c);
    auto zones = zonesOf(d);
    for (const auto& z : zones) {
      ASSERT_FALSE(z->isEmpty());
      ZonePtr closed(z->copy());
      closed->fullClose();
      ASSERT_EQ(closed->relation(z.get()), Zone::equal) << "not closed";
    }
    for (const Point& p : points) {
      int hits = 0;
      for (const auto& z : zones) hits += contains(*z, p);
      ASSERT_LE(hits, 1);
      ASSERT_EQ(hits == 1, diagramContains(d, p)) << "trial " << t;
    }
  }
}

TEST_F(ZoneDiagrams, ZonesOfTerminals) {
  EXPECT_TRUE(zonesOf(Cdd::falseCdd()).empty());
  EXPECT_TRUE(zonesOf(Cdd()).empty());
  auto all = zonesOf(Cdd::trueCdd());
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]->relation(zoneOf("").get()), Zone::equal);
}

// The deadlock question on one clock: valuations of 0 <= x <= 10 that can never reach a guard
// x <= 3 by waiting are those above 3; with an invariant x <= 3 none are left.
TEST_F(ZoneDiagrams, ZoneMinusThePastOfAGuard) {
  ZonePtr guard = zoneOf("x <= 3");
  guard->past();
  Cdd stuck = Cdd::reduce(cddOf(*zoneOf("x <= 10")) - cddOf(*guard));
  ASSERT_FALSE(stuck.isFalse());
  auto zones = zonesOf(stuck);
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0]->relation(zoneOf("x > 3, x <= 10").get()), Zone::equal);
  EXPECT_TRUE(Cdd::reduce(cddOf(*zoneOf("x <= 3")) - cddOf(*guard)).isFalse());
}

}  // namespace
