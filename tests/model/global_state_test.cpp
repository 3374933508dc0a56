#include "model/global_state.h"

#include <gtest/gtest.h>

#include <vector>

#include "model/symbol_table.h"
#include "zones/zone.h"

namespace {
// One clock x (dimension 2): lo <= x <= hi, hi < 0 for no upper bound.
UnpackedZone* zoneOf(int lo, int hi) {
  UnpackedZone* zone = UnpackedZone::create(2, true);
  if (lo > 0) zone->tighten(0, 1, -lo, false);
  if (hi >= 0) zone->tighten(1, 0, hi, false);
  zone->close();
  return zone;
}

class States : public testing::Test {
 protected:
  void SetUp() override { symbols() = SymbolTable(); }
  void TearDown() override {
    GlobalState::destroyAllRegistered();
    symbols() = SymbolTable();
  }
  // Locations, one value per cell, and the zone lo <= x <= hi.
  static Ref<GlobalState> state(std::vector<int> locations, std::vector<int> values, int lo,
                                int hi) {
    Ref<GlobalState> s(GlobalState::create(std::int32_t(locations.size())));
    for (std::size_t p = 0; p < locations.size(); ++p)
      s->setLocation(std::int32_t(p), locations[p]);
    s->setValuation(IntegerValuation::create(std::int32_t(values.size())));
    for (std::size_t k = 0; k < values.size(); ++k) (*s->valuation())[std::int32_t(k)] = values[k];
    s->setZone(zoneOf(lo, hi));
    return s;
  }
  static std::vector<GlobalState*> registry() {
    std::vector<GlobalState*> all;
    for (GlobalState* s = GlobalState::firstRegistered(); s; s = s->nextRegistered())
      all.push_back(s);
    return all;
  }
};
}  // namespace

TEST_F(States, CopiesTakeWhatTheirNameSaysAndShareNothing) {
  symbols().declare("x", clockKind, 1);
  Ref<GlobalState> s = state({1}, {7, 8}, 1, 4), full(s->copy());
  EXPECT_EQ(full->relation(s.get()), Zone::equal);
  EXPECT_EQ(IntegerValuation::equal(full->valuation(), s->valuation()), 4);
  (*full->valuation())[0] = 1;
  full->setLocation(0, 5);
  static_cast<UnpackedZone*>(full->zone())->reset(1, 0);
  EXPECT_EQ((*s->valuation())[0], 7);
  EXPECT_EQ(s->location(0), 1);
  EXPECT_EQ(s->relation(state({1}, {7, 8}, 1, 4).get()), Zone::equal);

  Ref<GlobalState> discrete(s->copyDiscrete()), bare(s->copyLocations());
  EXPECT_EQ(discrete->zone(), nullptr);
  EXPECT_EQ(IntegerValuation::equal(discrete->valuation(), s->valuation()), 4);
  EXPECT_TRUE(bare->zone() == nullptr && bare->valuation() == nullptr);

  // A packed copy cannot tell equality from inclusion; unpacked again it can.
  GlobalState* packed = s->copyPacked(true);
  Ref<GlobalState> unpacked(packed->copyUnpacked(false));
  EXPECT_TRUE(packed->isPacked() && packed->isRegistered());
  EXPECT_FALSE(unpacked->isPacked() || unpacked->isRegistered());
  EXPECT_EQ(packed->relation(s.get()), Zone::argIncludedIn);
  EXPECT_EQ(unpacked->relation(s.get()), Zone::equal);
  EXPECT_EQ(s->relation(packed), Zone::equal);
  EXPECT_EQ(GlobalState::registeredCount(), 1);
}

TEST_F(States, RegistryKeepsCreationOrderAndTheLastHandleFrees) {
  GlobalState* a = GlobalState::createRegistered(1);
  GlobalState* b = GlobalState::createRegistered(2);
  GlobalState* c = GlobalState::createRegistered(3);
  GlobalState* d = GlobalState::createRegistered(1);
  EXPECT_EQ(registry(), (std::vector<GlobalState*>{a, b, c, d}));
  GlobalState::destroyRegistered(b);
  GlobalState::destroyRegistered(d);  // the last one
  GlobalState::destroyRegistered(a);  // the first one
  GlobalState::destroyRegistered(nullptr);
  GlobalState* e = GlobalState::createRegistered(1);
  EXPECT_EQ(registry(), (std::vector<GlobalState*>{c, e}));
  {
    Ref<GlobalState> registered(GlobalState::createRegistered(2));
    registered->setZone(zoneOf(0, 3));
    registered->setValuation(IntegerValuation::create(2));
    EXPECT_EQ(GlobalState::registeredCount(), 3);
  }
  EXPECT_EQ(registry(), (std::vector<GlobalState*>{c, e})) << "release unlinks first";
  GlobalState::destroyAllRegistered();
  EXPECT_EQ(GlobalState::firstRegistered(), nullptr);
  EXPECT_EQ(GlobalState::registeredCount(), 0);
  GlobalState* f = GlobalState::createRegistered(1);
  EXPECT_EQ(registry(), (std::vector<GlobalState*>{f}));
}

// Locations always decide; values decide only when there are integer variables, zones only when
// there are clocks.
TEST_F(States, RelationComparesWhatTheSystemHas) {
  const Zone::Relation mirrored[] = {Zone::noInclusion, Zone::argIncludes, Zone::argIncludedIn,
                                     Zone::noInclusion, Zone::equal};
  struct Case {
    bool integers, clocks;
    int locationB, valueB, loB, hiB;
    Zone::Relation relation;
  } cases[] = {
      {false, true, 3, 3, 0, 5, Zone::noInclusion}, {false, true, 2, 4, 1, 3, Zone::argIncludedIn},
      {false, true, 2, 3, 0, 5, Zone::equal},       {true, false, 2, 3, 1, 3, Zone::equal},
      {true, false, 2, 4, 0, 5, Zone::noInclusion}, {true, true, 2, 3, 2, 4, Zone::argIncludedIn},
      {true, true, 2, 4, 2, 4, Zone::noInclusion},
  };
  for (const Case& c : cases) {
    symbols() = SymbolTable();
    if (c.integers) symbols().declare("i", integerKind, 0);
    if (c.clocks) symbols().declare("x", clockKind, 1);
    Ref<GlobalState> a = state({1, 2}, {3}, 0, 5),
                     b = state({1, c.locationB}, {c.valueB}, c.loB, c.hiB);
    SCOPED_TRACE(testing::Message() << c.integers << c.clocks << " " << c.valueB << " [" << c.loB
                                    << "," << c.hiB << "]");
    EXPECT_EQ(a->relation(b.get()), c.relation);
    EXPECT_EQ(b->relation(a.get()), mirrored[c.relation]);
    EXPECT_EQ(a->sameDiscrete(b.get()), c.locationB == 2 && (!c.integers || c.valueB == 3));
  }
  EXPECT_EQ(state({1}, {3}, 2, 4)->relation(state({1}, {3}, 6, 7).get()), Zone::noInclusion);
}
