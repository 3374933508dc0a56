// tests/model/global_state_hasher_test.cpp: the discrete and zone hashers of a system.
#include <gtest/gtest.h>

#include <set>

#include "tests/model/net_builder.h"

using namespace net;

namespace {

class StateHashers : public testing::Test {
 protected:
  void SetUp() override { resetTables(); }
  void TearDown() override { resetTables(); }
};

// Every discrete part (2 * 3 locations, v in [3, 9], two cells in [-1, 1]) gets a bucket of its
// own in a large table, whatever the zone; extreme values stay in the table.
TEST_F(StateHashers, DiscreteHashTellsDiscretePartsApartAndIgnoresTheZone) {
  int x = clock("x");
  variable("v", 3, 9, 3);
  variable("arr", -1, 1, -1, 2);
  Automaton p("P"), q("Q");
  p.location("a", false, false, {atMost(x, 10)});
  p.location("b");
  for (const char* name : {"c", "d", "e"}) q.location(name);
  Ref<System> system = build({&p, &q});
  Ref<GlobalStateHasher> discrete = system->makeDiscreteHasher();
  Ref<GlobalState> s = system->initialState(true);
  std::set<unsigned> buckets;
  for (int k = 0; k < 2 * 3 * 7 * 3 * 3; ++k) {
    s->setLocation(0, k % 2);
    s->setLocation(1, k / 2 % 3);
    (*s->valuation())[0] = 3 + k / 6 % 7;
    (*s->valuation())[1] = -1 + k / 42 % 3;
    (*s->valuation())[2] = -1 + k / 126;
    buckets.insert((*discrete)(s.get(), 100000));
  }
  EXPECT_EQ(buckets.size(), 378u);
  Ref<GlobalState> one = system->initialState(false), two = system->initialState(true);
  for (unsigned size : {1u, 2u, 1009u, 65536u})
    EXPECT_EQ((*discrete)(one.get(), size), (*discrete)(two.get(), size)) << size;
  (*two->valuation())[0] = 1 << 30;
  (*two->valuation())[1] = -(1 << 30);
  EXPECT_LT((*discrete)(two.get(), 4294967291u), 4294967291u);
}

// Packed and unpacked forms hash alike; bounds beyond the maximal constant 5 count as "<= 5",
// bounds within it tell zones apart.
TEST_F(StateHashers, ZoneHash) {
  int x = clock("x");
  Automaton p("P");
  p.location("a");
  Ref<System> system = build({&p});
  ClockInfo::setConstants({0, 5}, DiagonalGuards());
  Ref<GlobalStateHasher> zones = system->makeZoneHasher();
  Ref<GlobalState> start = system->initialState(false);
  auto hash = [&](int c, bool strict) {
    Ref<GlobalState> state(start->copy());
    UnpackedZone* zone = UnpackedZone::create(2, true);
    zone->tighten(x, 0, c, strict);
    zone->close();
    state->setZone(zone);
    EXPECT_EQ((*zones)(Ref<GlobalState>(state->copyPacked(false)).get(), 1000003),
              (*zones)(state.get(), 1000003));
    return (*zones)(state.get(), 1000003);
  };
  EXPECT_EQ(hash(7, false), hash(9, false));
  EXPECT_NE(hash(4, false), hash(5, false));
  EXPECT_NE(hash(5, true), hash(5, false));
  EXPECT_NE(hash(0, false), hash(4, false));
}

}  // namespace
