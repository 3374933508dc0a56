// Tests of the conversions between zones and decision diagrams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cdd/cdd.h"
#include "base/error.h"
#include "tests/zones/zone_helpers.h"

namespace {

bool diagramContains(const cdd& d, const Point& p) {
  std::vector<double> values(p.size());
  for (std::size_t k = 0; k < p.size(); ++k) values[k] = p[k] / 4.0;
  return d.contains(values.data());
}

class ZoneDiagrams : public testing::Test {
protected:
  void SetUp() override {
    cdd::done();
    ASSERT_EQ(cdd::init(64, 10000, 10000), 0);
    cdd::setGCHandler(nullptr);
    cdd::setRehashHandler(nullptr);
    cdd::addClocks(ClockInfo::count());
  }
  void TearDown() override {
    EXPECT_EQ(cdd::stats().live, 0);
    cdd::done();
  }
  ClockScope clocks_{"x", "y", "z"};
};

TEST_F(ZoneDiagrams, AsCDDHoldsExactlyTheZonesValuations) {
  auto points = halfIntegerPoints(4, 8);
  for (const char* text : {"", "x <= 3", "x == 2, y - x == 1", "x - y < 1, y - z <= 2, z >= 1",
                           "x - y == 0, y - z == 0", "x > 1, x < 2, y <= 0"}) {
    ZonePtr zone = zoneOf(text);
    cdd d = zone->asCDD();
    for (const Point& p : points)
      ASSERT_EQ(diagramContains(d, p), contains(*zone, p)) << text;
  }
  EXPECT_TRUE(zoneOf("")->asCDD().isTrue());
}

TEST_F(ZoneDiagrams, ZonesOfGivesClosedDisjointZonesCoveringTheDiagram) {
  std::mt19937 random(17);
  auto points = halfIntegerPoints(4, 8);
  for (int t = 0; t < 30; ++t) {
    ZonePtr a = randomZone(random, 4, 4, 3), b = randomZone(random, 4, 4, 3);
    ZonePtr c = randomZone(random, 4, 3, 3);
    cdd d = (a->asCDD() | b->asCDD()) - c->asCDD();
    auto zones = UnpackedRegion::zonesOf(d);
    for (const auto& z : zones) {
      ASSERT_FALSE(z->isEmpty());
      ZonePtr closed(z->copy());
      closed->fullClose();
      ASSERT_EQ(closed->relation(z.get()), Region::equal) << "not closed";
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
  EXPECT_TRUE(UnpackedRegion::zonesOf(cdd::falseCDD()).empty());
  EXPECT_TRUE(UnpackedRegion::zonesOf(cdd()).empty());
  auto all = UnpackedRegion::zonesOf(cdd::trueCDD());
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0]->relation(zoneOf("").get()), Region::equal);
}

// The deadlock question on one clock: valuations of 0 <= x <= 10 that can never reach a guard
// x <= 3 by waiting are those above 3; with an invariant x <= 3 none are left.
TEST_F(ZoneDiagrams, ZoneMinusThePastOfAGuard) {
  ZonePtr guard = zoneOf("x <= 3");
  guard->wp();
  cdd stuck = cdd::reduce(zoneOf("x <= 10")->asCDD() - guard->asCDD());
  ASSERT_FALSE(stuck.isFalse());
  auto zones = UnpackedRegion::zonesOf(stuck);
  ASSERT_EQ(zones.size(), 1u);
  EXPECT_EQ(zones[0]->relation(zoneOf("x > 3, x <= 10").get()), Region::equal);
  EXPECT_TRUE(cdd::reduce(zoneOf("x <= 3")->asCDD() - guard->asCDD()).isFalse());
}

TEST_F(ZoneDiagrams, PackedZonesRefuseTheConversions) {
  PackedPtr packed(zoneOf("x <= 3")->pack());
  _dbm_* d = _dbm_::create(4);
  EXPECT_THAT([&] { packed->asDBM(d); },
              testing::ThrowsMessage<Bug>(
                  testing::StrEq("NI: struct _dbm_ * PackedRegion::asDBM(_dbm_ *) const")));
  EXPECT_THAT([&] { packed->asCDD(); },
              testing::ThrowsMessage<Bug>(testing::StrEq("NI: class cdd PackedRegion::asCDD() const")));
  _dbm_::destroy(d);
}

}  // namespace
