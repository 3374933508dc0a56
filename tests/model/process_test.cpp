// tests/model/process_test.cpp: process preparation: edge indexes, channel sets, loop entries,
// active clocks and the active-clock reduction, listings.
#include "model/process.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/model/net_builder.h"

using namespace net;
using testing::ElementsAre;

namespace {

class Preparation : public testing::Test {
 protected:
  void SetUp() override { resetTables(); }
  void TearDown() override { resetTables(); }

  static std::vector<int> loopEntries(const Process* process) {
    std::vector<int> result;
    for (int k = 0; k < process->locationCount(); ++k)
      if (process->isLoopEntry(k)) result.push_back(k);
    return result;
  }
  static std::vector<int> positions(const std::vector<Ref<Transition>>& edges) {
    std::vector<int> result;
    for (const Ref<Transition>& e : edges) result.push_back(e->position());
    return result;
  }
};

TEST_F(Preparation, ChannelSetsAndUrgentEdges) {
  int c3 = channel("c3"), u = channel("u", true);
  Automaton p("P");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, -c3);
  p.edge(a, b, +u);
  p.edge(a, b);
  p.edge(b, a, -u);
  Ref<System> system = build({&p});
  const ControlState* la = system->process(0)->location(a);
  const ControlState* lb = system->process(0)->location(b);
  EXPECT_THAT(positions(la->urgentEdges()), ElementsAre(1));
  EXPECT_TRUE(lb->canSynchroniseWith(*la) && lb->canSynchroniseUrgentlyWith(*la));
  EXPECT_FALSE(la->canSynchroniseWith(*la));
}

TEST_F(Preparation, LoopEntriesFollowTheSearchInIncreasingLocationOrder) {
  // a -> b -> c -> b, and c -> a: both a and b close a cycle on the search path.
  Automaton p("P");
  int a = p.location("a"), b = p.location("b"), c = p.location("c");
  p.edge(a, b);
  p.edge(b, c);
  p.edge(c, b);
  p.edge(c, a);
  // a -> c, a -> b, b -> c, c -> b: b is searched first, so b -> c -> b marks b only.
  Automaton q("Q");
  int d = q.location("d"), e = q.location("e"), f = q.location("f");
  q.edge(d, f);
  q.edge(d, e);
  q.edge(e, f);
  q.edge(f, e);
  // A cycle that cannot be reached from the initial location has no entry.
  Automaton r("R");
  int g = r.location("g"), h = r.location("h"), i = r.location("i");
  (void)g;
  r.edge(h, i);
  r.edge(i, h);
  // A self-loop on the initial location; a diamond without cycles.
  Automaton s("S"), t("T");
  int j = s.location("j"), k = s.location("k");
  s.edge(j, k);
  s.edge(j, j);
  int l = t.location("l"), m = t.location("m"), n = t.location("n"), o = t.location("o");
  t.edge(l, m);
  t.edge(l, n);
  t.edge(m, o);
  t.edge(n, o);
  Ref<System> system = build({&p, &q, &r, &s, &t});
  EXPECT_THAT(loopEntries(system->process(0)), ElementsAre(a, b));
  EXPECT_THAT(loopEntries(system->process(1)), ElementsAre(e));
  EXPECT_THAT(loopEntries(system->process(2)), ElementsAre());
  EXPECT_THAT(loopEntries(system->process(3)), ElementsAre(j));
  EXPECT_THAT(loopEntries(system->process(4)), ElementsAre());
}

TEST_F(Preparation, LongChainsDoNotExhaustTheSearch) {
  Automaton p("P");
  const int n = 30000;
  for (int k = 0; k < n; ++k)
    p.process()->addLocation(new ControlState(std::int16_t(k), -1, false, false));
  for (int k = 0; k + 1 < n; ++k) p.edge(k, k + 1);
  p.edge(n - 1, 0);
  Ref<System> system = build({&p});
  EXPECT_THAT(loopEntries(system->process(0)), ElementsAre(0));
}

class ActiveClocks : public Preparation {};

TEST_F(ActiveClocks, ClockReadBeforeItsResetIsActive) {
  int x = clock("x"), y = clock("y");
  // a -(x >= 1, x := 0)-> b -(y <= 4)-> c -(x := 0, y := 0)-> a
  Automaton p("P");
  int a = p.location("a"), b = p.location("b"), c = p.location("c");
  p.edge(a, b, 0, {atLeast(x, 1)}, {reset(x)});
  p.edge(b, c, 0, {atMost(y, 4)});
  p.edge(c, a, 0, {}, {reset(x), reset(y)});
  Ref<System> system = build({&p});
  const Process* process = system->process(0);
  EXPECT_THAT(process->location(a)->activeClocks(), ElementsAre(0, x, y));
  EXPECT_THAT(process->location(b)->activeClocks(), ElementsAre(0, y));
  EXPECT_THAT(process->location(c)->activeClocks(), ElementsAre(0));

  system->addActiveClocks({x});
  EXPECT_THAT(process->location(c)->activeClocks(), ElementsAre(0, x));
  EXPECT_THAT(process->location(b)->activeClocks(), ElementsAre(0, x, y));

  // Invariants and both clocks of a difference guard are read too.
  int z = clock("z");
  Automaton q("Q");
  int d = q.location("d", false, false, {atMost(z, 5)}), e = q.location("e");
  q.edge(d, e, 0, {difference(x, y, 2)});
  system = build({&q});
  EXPECT_THAT(system->process(0)->location(d)->activeClocks(), ElementsAre(0, x, y, z));
  EXPECT_THAT(system->process(0)->location(e)->activeClocks(), ElementsAre());
}

TEST_F(ActiveClocks, ReductionFreesInactiveClocksAndKeepsTheReferenceClock) {
  int x = clock("x"), y = clock("y");
  Automaton p("P");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, 0, {difference(x, y, 2)});
  p.edge(b, a, 0, {}, {reset(x), reset(y)});
  Automaton q("Q");
  q.location("c");
  Ref<System> system = build({&p, &q});
  Ref<GlobalState> state = system->initialState(false);
  auto* zone = static_cast<UnpackedZone*>(state->zone());
  zone->reset(x, 3);
  zone->reset(y, 1);
  system->reduceActiveClocks(state.get());
  EXPECT_EQ(zoneText(state.get()), "x>=3, y>=1, x<=3, x-y<=2, y<=1, y-x<=-2");

  state->setLocation(0, b);
  system->reduceActiveClocks(state.get());
  EXPECT_EQ(zoneText(state.get()), "");
  EXPECT_EQ(zone->at(0, 0), zeroBound);
}

TEST_F(Preparation, AutomatonListedTwiceGetsOneCopyPerSlot) {
  Automaton p("P");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b);
  Ref<System> system(new System(2));
  system->setProcess(0, p.process());
  system->setProcess(1, p.process());
  system->prepare();
  ASSERT_NE(system->process(0), system->process(1));
  EXPECT_EQ(system->process(0)->edge(0)->processNumber(), 0);
  EXPECT_EQ(system->process(1)->edge(0)->processNumber(), 1);
  SuccessorList list;
  Ref<GlobalState> start = system->initialState(true);
  system->successors(start.get(), true, false, list);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_THAT(locations(list[0].state.get()), ElementsAre(b, a));
  EXPECT_THAT(locations(list[1].state.get()), ElementsAre(a, b));
}

}  // namespace
