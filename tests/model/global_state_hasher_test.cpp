// tests/model/global_state_hasher_test.cpp: the discrete and zone hashers of a system.
#include <gtest/gtest.h>

#include "tests/model/net_builder.h"

using namespace net;

namespace {

class StateHashers : public testing::Test {
 protected:
  void SetUp() override { resetTables(); }
  void TearDown() override { resetTables(); }
};

TEST_F(StateHashers, DiscretePartIsAMixedRadixNumber) {
  // Locations of Q count 3, the variable's range [3, 9] counts 7, the array's [-1, 1] counts 3.
  variable("v", 3, 9, 3);
  variable("arr", -1, 1, -1, 2);
  Automaton p("P"), q("Q");
  p.location("a");
  p.location("b");
  q.location("c");
  q.location("d");
  q.location("e");
  Ref<System> system = build({&p, &q});
  Ref<GlobalStateHasher> hasher = system->makeDiscreteHasher();
  Ref<GlobalState> state = system->initialState(true);
  // The lower end of every range contributes 0.
  EXPECT_EQ((*hasher)(state.get(), 100000), 0u);
  state->setLocation(0, 1);
  state->setLocation(1, 2);
  (*state->valuation())[0] = 5;  // digit 2
  (*state->valuation())[1] = 1;  // digit 2
  (*state->valuation())[2] = 0;  // digit 1
  // (((1 * 3 + 2) * 7 + 2) * 3 + 2) * 3 + 1 = 340, also when reduced at every step.
  EXPECT_EQ((*hasher)(state.get(), 100000), 340u);
  EXPECT_EQ((*hasher)(state.get(), 7), 340u % 7);
}

TEST_F(StateHashers, ProductsBeyondThirtyTwoBitsAreReducedInSixtyFourBits) {
  for (const char* name : {"u", "v", "w"}) variable(name, -32767, 32767, 0);
  Automaton p("P");
  p.location("a");
  Ref<System> system = build({&p});
  Ref<GlobalStateHasher> hasher = system->makeDiscreteHasher();
  Ref<GlobalState> state = system->initialState(true);
  for (int k = 0; k < 3; ++k) (*state->valuation())[k] = 32767;
  const unsigned size = 4294967291u;  // the largest prime below 2^32
  // digits 65534 in radix 65535: 65534 * 65536 = 4294836224 after two variables, then
  // (4294836224 * 65535 + 65534) mod size.
  const std::uint64_t expected = (4294836224ull * 65535ull + 65534ull) % size;
  EXPECT_EQ((*hasher)(state.get(), size), unsigned(expected));
}

TEST_F(StateHashers, EqualDiscretePartsShareABucketWhateverTheirZones) {
  int x = clock("x");
  variable("i", 0, 3, 0);
  Automaton p("P"), q("Q");
  int a = p.location("a", false, false, {atMost(x, 10)});
  int b = p.location("b");
  p.edge(a, b, 0, {atLeast(x, 10)});
  q.location("c");
  Ref<System> system = build({&p, &q});
  Ref<GlobalStateHasher> discrete = system->makeDiscreteHasher();
  Ref<GlobalStateHasher> region = system->makeZoneHasher();
  Ref<GlobalState> one = system->initialState(false);
  Ref<GlobalState> two = system->initialState(true);
  Ref<GlobalState> three(two->copy());
  (*three->valuation())[0] = 2;
  for (unsigned size : {1u, 2u, 1009u, 65536u}) {
    EXPECT_EQ((*discrete)(one.get(), size), (*discrete)(two.get(), size)) << size;
    EXPECT_LT((*region)(two.get(), size), size);
  }
  EXPECT_NE((*discrete)(two.get(), 1009), (*discrete)(three.get(), 1009));
  // x == 0 against 0 <= x <= 10: bounds inside the maximal constant 10 tell them apart.
  EXPECT_NE((*region)(one.get(), 1000003), (*region)(two.get(), 1000003));
  Ref<GlobalState> packed(two->copyPacked(false));
  EXPECT_EQ((*region)(two.get(), 1000003), (*region)(packed.get(), 1000003));
}

TEST_F(StateHashers, BoundsBeyondTheMaximalConstantHashAlike) {
  int x = clock("x");
  Automaton p("P");
  p.location("a");
  Ref<System> system = build({&p});
  ClockInfo::setConstants({0, 5}, DiagonalGuards());
  Ref<GlobalStateHasher> region = system->makeZoneHasher();
  Ref<GlobalState> start = system->initialState(false);
  auto withUpperBound = [&](int c, bool strict) {
    Ref<GlobalState> state(start->copy());
    UnpackedZone* zone = UnpackedZone::create(2, true);
    zone->tighten(x, 0, c, strict);
    zone->close();
    state->setZone(zone);
    return state;
  };
  // x <= 7 and x <= 9 both count as "<= 5"; x <= 4, x <= 5 and x < 5 stay apart.
  EXPECT_EQ((*region)(withUpperBound(7, false).get(), 1000003),
            (*region)(withUpperBound(9, false).get(), 1000003));
  EXPECT_NE((*region)(withUpperBound(4, false).get(), 1000003),
            (*region)(withUpperBound(5, false).get(), 1000003));
  EXPECT_NE((*region)(withUpperBound(5, true).get(), 1000003),
            (*region)(withUpperBound(5, false).get(), 1000003));
}

}  // namespace
