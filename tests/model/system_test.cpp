// tests/model/system_test.cpp: successor computation, time elapse, invariants, backward step.
#include "model/system.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/model/net_builder.h"

using namespace net;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class Successors : public testing::Test {
 protected:
  void SetUp() override { resetTables(); }
  void TearDown() override {
    list.clear();
    resetTables();
  }

  // The successors of from (by default the initial state after delay) into list, named.
  std::vector<std::string> step(const System& system, Ref<GlobalState> from = nullptr) {
    start = from ? from : system.initialState(true);
    list.clear();
    system.successors(start.get(), true, false, list);
    return names();
  }
  std::vector<std::string> names() const {
    std::vector<std::string> result;
    for (const WaitingEntry& e : list) result.push_back(pairName(e));
    return result;
  }

  SuccessorList list;
  Ref<GlobalState> start;
};

// A clock guard that counts its evaluations and answers a fixed value.
class CountingGuard : public ClockGuard {
 public:
  CountingGuard(int x, int& count, bool result)
      : ClockGuard(x, 0, 100, false), count_(count), result_(result) {}
  bool apply(GlobalState*) const override {
    ++count_;
    return result_;
  }

 private:
  int& count_;
  bool result_;
};

TEST_F(Successors, ComeInPairOrderInternalMovesFirstThenEdgeOrder) {
  int ch = channel("ch");
  Automaton p("P"), q("Q"), r("R");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, +ch);  // 0:0
  p.edge(a, b);       // 0:1
  p.edge(a, b, +ch);  // 0:2
  int c = q.location("c"), d = q.location("d");
  q.edge(c, d, -ch);  // 1:0
  q.edge(c, d, -ch);  // 1:1
  int e = r.location("e"), f = r.location("f");
  r.edge(e, f);  // 2:0
  EXPECT_THAT(step(*build({&p, &q, &r})),
              ElementsAre("0:1", "0:0+1:0", "0:0+1:1", "0:2+1:0", "0:2+1:1", "2:0"));
  EXPECT_THAT(locations(list[1].state.get()), ElementsAre(b, d, e));
  EXPECT_THAT(locations(list[5].state.get()), ElementsAre(a, c, f));
}

TEST_F(Successors, CommittedLocationAllowsOnlyMovesInvolvingIt) {
  int ch = channel("ch");
  Automaton p("P"), q("Q"), r("R");
  int a = p.location("a", true), b = p.location("b");
  p.edge(a, b, +ch);
  p.edge(a, b);
  int c = q.location("c"), d = q.location("d");
  q.edge(c, d, -ch);
  q.edge(c, d);
  int e = r.location("e"), f = r.location("f");
  r.edge(e, f);
  r.edge(e, f, +ch);  // Q and R may synchronise, but not while P is committed
  Ref<System> system = build({&p, &q, &r});
  EXPECT_THAT(step(*system), ElementsAre("0:1", "0:0+1:0"));
  EXPECT_EQ(system->committedCount(start.get()), 1);
  // Once P has left its committed location everybody moves again.
  EXPECT_THAT(step(*system, list[0].state), ElementsAre("1:1", "1:0+2:1", "2:0"));

  // A committed partner of a higher process enables the synchronisation.
  resetTables();
  ch = channel("ch");
  Automaton s("S"), t("T");
  int g = s.location("g"), h = s.location("h");
  s.edge(g, h, -ch);
  s.edge(g, h);
  int k = t.location("k", true), l = t.location("l");
  t.edge(k, l, +ch);
  EXPECT_THAT(step(*build({&s, &t})), ElementsAre("0:0+1:0"));
}

TEST_F(Successors, TimeDoesNotPassInUrgentOrCommittedTargets) {
  for (int kind = 0; kind < 3; ++kind) {  // the target b is plain, committed, urgent
    SCOPED_TRACE(kind);
    resetTables();
    int x = clock("x");
    clock("y");
    Automaton p("P");
    int a = p.location("a"), b = p.location("b", kind == 1, kind == 2);
    p.edge(a, b, 0, {}, {reset(x)});
    Ref<System> system = build({&p});
    ASSERT_EQ(step(*system).size(), 1u);
    EXPECT_TRUE(start->isUnbounded());
    const GlobalState* next = list[0].state.get();
    EXPECT_EQ(zoneText(next), kind == 0 ? "x-y<=0" : "x<=0, x-y<=0");
    EXPECT_EQ(next->isUnbounded(), kind == 0);
    EXPECT_EQ(system->inUrgentLocation(next), kind == 2);
    EXPECT_EQ(system->committedCount(next), kind == 1 ? 1 : 0);
  }
}

TEST_F(Successors, EnabledUrgentSynchronisationStopsTime) {
  for (int guardValue : {1, 0}) {
    SCOPED_TRACE(guardValue);
    resetTables();
    int u = channel("u", true);
    int x = clock("x");
    int i = variable("i", 0, 1, 0);
    // a -(x := 0, i := 1)-> a, a -(u!, i == guardValue)-> b; c -(u?)-> d
    Automaton p("P"), q("Q");
    int a = p.location("a"), b = p.location("b");
    p.edge(a, a, 0, {}, {reset(x), assign(var(i), num(1))});
    p.edge(a, b, +u, {varEquals(i, guardValue)});
    int c = q.location("c"), d = q.location("d");
    q.edge(c, d, -u);
    Ref<System> system = build({&p, &q});
    ASSERT_GE(step(*system).size(), 1u);
    EXPECT_EQ(system->urgentSyncEnabled(start.get()), guardValue == 0);
    EXPECT_EQ(pairName(list[0]), "0:0");
    EXPECT_EQ(cell(list[0].state.get(), 0), 1);
    EXPECT_EQ(system->urgentSyncEnabled(list[0].state.get()), guardValue == 1);
    EXPECT_EQ(list[0].state->isUnbounded(), guardValue == 0);
  }
}

TEST_F(Successors, SenderAssignsBeforeReceiverWhicheverProcessSends) {
  int ch = channel("ch");
  int v = variable("v", -100, 100, 0);
  // Process 0 receives and doubles what process 1 sends.
  Automaton p("P"), q("Q");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, -ch, {}, {assign(var(v), new ProductExpression(var(v), num(2)))});
  int c = q.location("c"), d = q.location("d");
  q.edge(c, d, +ch, {}, {assign(var(v), num(3))});
  // Process 0 sends, process 1 adds one.
  Automaton r("R"), s("S");
  int e = r.location("e"), f = r.location("f");
  r.edge(e, f, +ch, {}, {assign(var(v), num(3))});
  int g = s.location("g"), h = s.location("h");
  s.edge(g, h, -ch, {}, {assign(var(v), new SumExpression(var(v), num(1)))});

  ASSERT_THAT(step(*build({&p, &q})), ElementsAre("0:0+1:0"));
  EXPECT_EQ(cell(list[0].state.get(), 0), 6);
  ASSERT_THAT(step(*build({&r, &s})), ElementsAre("0:0+1:0"));
  EXPECT_EQ(cell(list[0].state.get(), 0), 4);
}

TEST_F(Successors, EveryGuardIsEvaluatedEvenAfterOneFails) {
  int x = clock("x");
  int count = 0;
  Automaton p("P");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, 0, {new CountingGuard(x, count, false), new CountingGuard(x, count, true)});
  p.edge(a, b, 0, {new CountingGuard(x, count, true), new CountingGuard(x, count, true)});
  EXPECT_THAT(step(*build({&p})), ElementsAre("0:1"));
  EXPECT_EQ(count, 4);
}

TEST_F(Successors, IntegerGuardsCombineWithAndAndReadSafely) {
  // The failing guard comes first; the second one, reading arr[9], must still be evaluated and
  // must not read outside the valuation.
  int i = variable("i", 0, 3, 0);
  int arr = variable("arr", 0, 3, 0, 2);
  Automaton p("P");
  int a = p.location("a"), b = p.location("b");
  Transition* e =
      p.edge(a, b, 0, {varEquals(i, 1), test(var(arr, num(9)), IntegerGuard::opEqual, num(0))});
  Ref<System> system = build({&p});
  start = system->initialState(true);
  EXPECT_FALSE(e->applyGuards(start.get()));
  EXPECT_FALSE(e->integerGuardsHold(start.get()));
  (*start->valuation())[0] = 1;
  EXPECT_TRUE(e->integerGuardsHold(start.get()));
  EXPECT_TRUE(e->applyGuards(start.get()));
}

TEST_F(Successors, GuardsAndInvariantsShapeTheZones) {
  int x = clock("x");
  int i = variable("i", 0, 9, 0);
  // a {x <= 3} -(x >= 5)-> b and -(x >= 2)-> b: only the second is enabled.
  Automaton p("P");
  int a = p.location("a", false, false, {atMost(x, 3)}), b = p.location("b");
  p.edge(a, b, 0, {atLeast(x, 5)});
  p.edge(a, b, 0, {atLeast(x, 2)});
  Ref<System> system = build({&p});
  ASSERT_THAT(step(*system), ElementsAre("0:1"));
  EXPECT_EQ(zoneText(start.get()), "x<=3");
  EXPECT_EQ(zoneText(list[0].state.get()), "x>=2");
  // c -(x := 0)-> d {x <= 4} and c -(x >= 5)-> d: the target invariant bounds the delay and
  // disables the second edge.
  Automaton q("Q");
  int c = q.location("c"), d = q.location("d", false, false, {atMost(x, 4)});
  q.edge(c, d, 0, {}, {reset(x)});
  q.edge(c, d, 0, {atLeast(x, 5)});
  ASSERT_THAT(step(*build({&q})), ElementsAre("0:0"));
  EXPECT_EQ(zoneText(list[0].state.get()), "x<=4");
  // An initial invariant x < 0 gives no initial state; an integer one leaves the zone alone.
  Automaton r("R"), u("U");
  r.location("e", false, false, {atMost(x, 0, true)});
  u.location("f", false, false, {varEquals(i, 5)});
  Ref<System> impossible = build({&r});
  EXPECT_FALSE(impossible->initialState(true) || impossible->initialState(false));
  EXPECT_TRUE(build({&u})->initialState(true)->isUnbounded());
}

TEST_F(Successors, ExtrapolationDropsBoundsBeyondTheMaximalConstant) {
  int x = clock("x");
  Automaton p("P");
  int a = p.location("a", false, false, {atMost(x, 7)});
  int b = p.location("b");
  p.edge(a, b, 0, {atLeast(x, 6)});
  Ref<System> system = build({&p});
  for (const char* expected : {"x>=6, x<=7", "x>=6"}) {
    list.clear();
    system->successors(system->initialState(true).get(), false, true, list);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(zoneText(list[0].state.get()), expected);
    ClockInfo::setConstants({0, 5}, DiagonalGuards());
  }
}

TEST_F(Successors, DiscreteSuccessorsIgnoreLabels) {
  int ch = channel("ch");
  int i = variable("i", 0, 1, 0);
  Automaton p("P"), q("Q");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, 0, {varEquals(i, 1)});
  p.edge(a, b, +ch);
  int c = q.location("c"), d = q.location("d");
  q.edge(c, d, -ch, {varEquals(i, 1)});
  Ref<System> system = build({&p, &q});
  EXPECT_THAT(step(*system), IsEmpty());
  system->discreteSuccessors(start.get(), list);
  ASSERT_THAT(names(), ElementsAre("0:0", "0:1+1:0"));
  EXPECT_THAT(locations(list[0].state.get()), ElementsAre(b, c));
  EXPECT_THAT(locations(list[1].state.get()), ElementsAre(b, d));
  EXPECT_EQ(list[1].state->zone(), nullptr);
  EXPECT_EQ(list[1].state->valuation(), nullptr);
}

TEST_F(Successors, SuccessorThroughAChosenPair) {
  int ch = channel("ch");
  Automaton p("P"), q("Q");
  int a = p.location("a"), b = p.location("b");
  Transition* send = p.edge(a, b, +ch);
  Transition* internal = p.edge(b, a);
  int c = q.location("c"), d = q.location("d");
  Transition* receive = q.edge(c, d, -ch);
  Ref<System> system = build({&p, &q});
  start = system->initialState(true);
  Ref<GlobalState> next = system->successor(start.get(), send, receive, true);
  ASSERT_TRUE(next);
  EXPECT_THAT(locations(next.get()), ElementsAre(b, d));
  // A synchronising edge alone, a pair that does not match, an edge not leaving the current
  // location: all disabled.
  EXPECT_FALSE(system->successor(start.get(), nullptr, send, true));
  EXPECT_FALSE(system->successor(start.get(), send, send, true));
  EXPECT_FALSE(system->successor(start.get(), nullptr, internal, true));
  EXPECT_TRUE(system->successor(next.get(), nullptr, internal, true));
  // The committed rule holds for a chosen edge too: R is committed, so U may not move alone.
  resetTables();
  Automaton r("R"), u("U");
  int e = r.location("e", true), f = r.location("f");
  Transition* leave = r.edge(e, f);
  int g = u.location("g"), h = u.location("h");
  Transition* other = u.edge(g, h);
  Ref<System> committed = build({&r, &u});
  start = committed->initialState(true);
  EXPECT_FALSE(committed->successor(start.get(), nullptr, other, true));
  next = committed->successor(start.get(), nullptr, leave, true);
  ASSERT_TRUE(next);
  EXPECT_TRUE(committed->successor(next.get(), nullptr, other, true));
}

TEST_F(Successors, DelayStepAppliesTheRulesToTheStateItself) {
  int x = clock("x");
  Automaton p("P");
  int a = p.location("a", false, false, {atMost(x, 3)});
  int b = p.location("b", true);
  p.edge(a, b);
  Ref<System> system = build({&p});
  start = system->initialState(false);
  GlobalState* raw = start.get();
  Ref<GlobalState> delayed = system->delayStep(std::move(start), false);
  EXPECT_EQ(delayed.get(), raw);
  EXPECT_EQ(zoneText(delayed.get()), "x<=3");

  Ref<GlobalState> committed(delayed->copy());
  committed->setLocation(0, b);
  UnpackedZone* zone = UnpackedZone::create(2, true);
  zone->setZero();
  committed->setZone(zone);
  committed = system->delayStep(std::move(committed), false);
  EXPECT_EQ(zoneText(committed.get()), "x<=0");

  // x >= 5 cannot meet a's invariant x <= 3.
  Ref<GlobalState> late(delayed->copy());
  static_cast<UnpackedZone*>(late->zone())->reset(x, 5);
  EXPECT_FALSE(system->delayStep(std::move(late), false));

  // A packed zone is unpacked first.
  Ref<GlobalState> packed(delayed->copyPacked(false));
  packed = system->delayStep(std::move(packed), true);
  ASSERT_TRUE(packed);
  EXPECT_FALSE(packed->isPacked());
  EXPECT_EQ(zoneText(packed.get()), "x<=3");
}

TEST_F(Successors, OutOfDomainCellsAndLocationsFromOutsideStaySafe) {
  int v = variable("v", 0, 2, 0);
  int arr = variable("arr", 0, 5, 0, 3);
  Automaton p("P");
  int a = p.location("a"), b = p.location("b");
  p.edge(a, b, 0, {test(var(arr, var(v)), IntegerGuard::opEqual, num(0))},
         {assign(var(arr, var(v)), new SumExpression(var(v), num(10))),
          assign(var(v), new SumExpression(var(v), num(1)))});
  Ref<System> system = build({&p});
  Ref<GlobalState> from = system->initialState(true);
  (*from->valuation())[0] = 100;  // v outside [0, 2]
  (*from->valuation())[1] = -50;  // arr[0] outside [0, 5]
  ASSERT_THAT(step(*system, from), ElementsAre("0:0"));
  // arr[100] reads the default 0 and is not written; v + 1 = 101 wraps into [0, 2].
  EXPECT_EQ(cell(list[0].state.get(), 0), 101 - 3 * 33);
  EXPECT_EQ(cell(list[0].state.get(), 1), -50);
  EXPECT_LT(system->makeDiscreteHasher()->operator()(start.get(), 1009), 1009u);

  from->setLocation(0, 7);  // a location P does not have
  step(*system, from);
  system->discreteSuccessors(start.get(), list);
  EXPECT_THAT(list, IsEmpty());
  EXPECT_EQ(system->committedCount(start.get()), 0);
  EXPECT_FALSE(system->inUrgentLocation(start.get()));
  EXPECT_TRUE(system->applyInvariants(start.get()));
}

// The zone before an edge: the guard holds, resets are undone (the receiver's before the
// sender's), and time runs backwards unless the target stops it.
TEST_F(Successors, BackwardStep) {
  int ch = channel("ch");
  int x = clock("x");
  clock("y");
  Automaton p("P"), q("Q");
  int a = p.location("a"), b = p.location("b"), k = p.location("k", true);
  Transition* internal = p.edge(a, b, 0, {atLeast(x, 2)}, {reset(x)});
  Transition* send = p.edge(a, k, +ch, {}, {reset(x, 0)});
  Transition* late = p.edge(a, k, 0, {atMost(x, 2)});
  int c = q.location("c"), d = q.location("d");
  Transition* receive = q.edge(c, d, -ch, {}, {reset(x, 5)});
  Ref<System> system = build({&p, &q});
  start = system->initialState(true);
  Ref<GlobalState> next = system->successor(start.get(), nullptr, internal, true);
  ASSERT_TRUE(next);
  EXPECT_EQ(zoneText(next.get()), "y>=2, x-y<=-2");
  ZonePtr zone = zoneOf("y >= 5, x - y <= -2");  // a part of it: y >= 5 comes from waiting
  EXPECT_TRUE(system->predecessorZone(nullptr, internal, next.get(), zone.get()));
  EXPECT_EQ(zone->relation(zoneOf("x >= 2, y >= 2").get()), Zone::equal);

  next = system->successor(start.get(), send, receive, true);
  ASSERT_TRUE(next);
  EXPECT_EQ(zoneText(next.get()), "x>=5, x<=5, x-y<=5");  // the receiver's reset is the last
  zone.reset(static_cast<UnpackedZone*>(next->zone()->copy()));
  EXPECT_TRUE(system->predecessorZone(send, receive, next.get(), zone.get()));
  EXPECT_EQ(zone->relation(zoneOf("").get()), Zone::equal);

  zone = zoneOf("x >= 5");  // in the committed k, so x <= 2 could not hold before
  EXPECT_FALSE(system->predecessorZone(nullptr, late, next.get(), zone.get()));
}

}  // namespace
