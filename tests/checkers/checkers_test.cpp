// Verdicts and traces of the checkers, driven through the verification session as the server
// and the command-line verifier drive them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "base/error.h"
#include "cdd/cdd.h"
#include "checkers/liveness.h"
#include "core/session.h"
#include "engine/enumeration.h"
#include "gta/parser.h"
#include "model/global_state.h"
#include "model/system.h"
#include "tctl/deadlock.h"
#include "tctl/parser.h"
#include "tctl/tctl_expression.h"
#include "tests/support/zone_builder.h"
#include "trace/trace.h"
#include "zones/zone.h"

namespace {

// A loaded model in a session with traces on (breadth-first, full zones, no reuse).
class Checkers : public ::testing::Test {
protected:
  void TearDown() override {
    session_.reset();
    GlobalState::destroyAllRegistered();
  }

  void load(const char* model) {
    ParseResult parsed = parseSystem(std::string_view(model));
    ASSERT_TRUE(parsed.system) << parsed.diagnostics;
    session_ = std::make_unique<Session>();
    session_->setOption(Session::traceOption, 1);
    session_->setSystem(parsed.system);
  }

  ParsedProperty property(const char* text) {
    CheckedProperty parsed = parsePropertyText(std::string(text) + "\n", session_->system());
    EXPECT_TRUE(parsed.expression) << text << ": " << parsed.diagnostics;
    return parsed;
  }

  // "T" or "F" as the model-check reply gives it; the checker's own result and trace are kept.
  char verdict(const char* text) {
    ParsedProperty p = property(text);
    return p.expression ? check(p.kind, p.expression) : '?';
  }
  char check(PropertyKind kind, Ref<TCTLExpression> expression) {
    last_ = session_->check(kind, std::move(expression));
    return char(last_.verdict);
  }

  std::unique_ptr<Session> session_;
  CheckResult last_;
};

// A: x <= 5, left for B once x >= 3; C needs x < 2 in B, which never holds.
const char* const chain =
    "process P { clock x; state A { x <= 5 }, B, C; init A;\n"
    "  trans A -> B { guard x >= 3; }, B -> C { guard x < 2; }; }\nsystem P;\n";
// One location, no invariant, no edge: time diverges in it.
const char* const idle = "process P { clock x; state A; init A; }\nsystem P;\n";
// Invariant x <= 5 and no edge: every run ends in a deadlock at x == 5.
const char* const bounded = "process P { clock x; state A { x <= 5 }; init A; }\nsystem P;\n";
// A self-loop enabled only at x == 5 under x <= 5, without a reset: the loop repeats on the zone
// x == 5, but no time passes on the way.
const char* const pinned =
    "process P { clock x; state A { x <= 5 }; init A; trans A -> A { guard x == 5; }; }\n"
    "system P;\n";
// A self-loop that resets the clock between 3 and 5: a time-divergent cycle.
const char* const resetting =
    "process P { clock x; state A { x <= 5 }; init A;\n"
    "  trans A -> A { guard x >= 3; assign x := 0; }; }\nsystem P;\n";
// The loop resets x but never y, so y - x grows by at least 1 on every round: the zones of the
// cycle test keep shrinking towards larger differences and never repeat exactly.
const char* const drifting =
    "process P { clock x, y; state A { x <= 2 }; init A;\n"
    "  trans A -> A { guard x >= 1; assign x := 0; }; }\nsystem P;\n";
// Two locations that hand the token back and forth, each within [1, 2].
const char* const pingPong =
    "process P { clock x; state A { x <= 2 }, B { x <= 2 }; init A;\n"
    "  trans A -> B { guard x >= 1; assign x := 0; }, B -> A { guard x >= 1; assign x := 0; }; }\n"
    "system P;\n";
// A is left for B by force; B is a time-bounded dead end.
const char* const deadEnd =
    "process P { clock x; state A { x <= 2 }, B { x <= 4 }; init A;\n"
    "  trans A -> B { guard x >= 1; }; }\nsystem P;\n";
// A committed location entered with 1 <= x <= 10 can only be left when x >= 5: below that the
// run is stuck, since time cannot pass there.
const char* const committedTrap =
    "process P { clock x; state A { x <= 10 }, B, C; commit B; init A;\n"
    "  trans A -> B { guard x >= 1; }, B -> C { guard x >= 5; }; }\nsystem P;\n";
// The predicate x < 3 or x >= 3 holds everywhere, but only by moving from one clause to the
// other: waiting in A until x >= 5 and going on to the idle B is a run that keeps it.
const char* const crossing =
    "process P { clock x; state A { x <= 6 }, B; init A; trans A -> B { guard x >= 5; }; }\n"
    "system P;\n";
// Valuations with x > 5 are deadlocked, the others can take the loop.
const char* const untilFive =
    "process P { clock x; state A; init A; trans A -> A { guard x <= 5; }; }\nsystem P;\n";
// A is entered with x == 0 (resetTo 0) or x == 3 (resetTo 3), then time passes without end.
const char* const resetToZero =
    "process P { clock x; state S { x <= 2 }, A; init S;\n"
    "  trans S -> A { guard x == 2; assign x := 0; }; }\nsystem P;\n";
const char* const resetToThree =
    "process P { clock x; state S { x <= 2 }, A; init S;\n"
    "  trans S -> A { guard x == 2; assign x := 3; }; }\nsystem P;\n";
// C is entered with x == 0 and left at once for the idle A: no time passes in C.
const char* const committedStop =
    "process P { clock x; state S { x <= 2 }, C, A; commit C; init S;\n"
    "  trans S -> C { guard x == 2; assign x := 0; }, C -> A { }; }\nsystem P;\n";
const char* const urgentStop =
    "process P { clock x; state S { x <= 2 }, C, A; urgent C; init S;\n"
    "  trans S -> C { guard x == 2; assign x := 0; }, C -> A { }; }\nsystem P;\n";
// A forced chain A -> B -> C, then C idle.
const char* const forced =
    "process P { clock x; state A { x <= 3 }, B { x <= 2 }, C, D; init A;\n"
    "  trans A -> B { guard x >= 1; assign x := 0; }, B -> C { guard x >= 1; },\n"
    "    C -> D { guard x < 0; }; }\nsystem P;\n";
// A can be left for B, but need not be.
const char* const optional =
    "process P { clock x; state A, B; init A; trans A -> B { guard x >= 2; }; }\nsystem P;\n";
// Two processes that must meet on a channel; Q waits in W until P sends.
const char* const meeting =
    "chan go;\nprocess P { clock x; state A { x <= 4 }, B; init A;\n"
    "  trans A -> B { guard x >= 2; sync go!; }; }\n"
    "process Q { state W, R; init W; trans W -> R { sync go?; }; }\nsystem P, Q;\n";

// Verdicts worked out by hand on the small models above.
TEST_F(Checkers, Verdicts) {
  struct Case {
    const char* model;
    const char* property;
    char verdict;
  } cases[] = {
      {chain, "E<> P.B", 'T'},
      {chain, "E<> P.B and P.x > 10", 'T'},
      {chain, "E<> P.C", 'F'},
      {chain, "E<> P.A and P.x > 5", 'F'},
      {chain, "A[] not P.C", 'T'},
      {chain, "A[] (P.A imply P.x <= 5)", 'T'},
      {chain, "A[] P.x <= 5", 'F'},
      {idle, "E[] P.x <= 3", 'F'},  // time must pass beyond 3
      {idle, "A<> P.x > 3", 'T'},
      {idle, "E[] not P.A", 'F'},
      {idle, "E[] P.x < 3 or P.x >= 3", 'T'},
      {bounded, "E[] P.A", 'T'},  // the deadlock keeps P.A
      {bounded, "E[] P.x <= 5", 'T'},
      {bounded, "E[] P.x < 5", 'F'},  // the deadlock is at x == 5, outside
      {bounded, "A<> P.x >= 5", 'T'},
      {bounded, "A<> P.x > 5", 'F'},
      {resetting, "E[] P.x <= 4", 'T'},  // the loop may be taken as soon as x reaches 3 ...
      {resetting, "E[] P.x <= 2", 'F'},  // ... but not before
      {resetting, "A<> P.x > 2", 'T'},
      {pingPong, "E[] P.A", 'F'},  // A must be left within 2
      {pingPong, "A<> P.B", 'T'},
      {deadEnd, "E[] P.A", 'F'},
      {deadEnd, "A<> P.B", 'T'},
      {committedTrap, "A<> P.C", 'F'},
      {crossing, "E[] P.x < 3 or P.x >= 3", 'T'},
      {crossing, "E[] P.x <= 3 or P.x > 3", 'T'},
      {crossing, "E[] P.x < 3 or P.x > 3", 'F'},  // the gap at x == 3 cannot be crossed
      {crossing, "E[] P.A or P.B", 'T'},  // time diverges in B
      {crossing, "A<> P.B", 'T'},
      {forced, "P.A --> P.B", 'T'},
      {forced, "P.A --> P.A", 'T'},  // q holds where p does
      {forced, "P.D --> P.A", 'T'},  // p never holds
      {forced, "P.x > 1 --> P.C", 'T'},
      {optional, "P.A --> P.x > 1", 'T'},  // waiting itself reaches x > 1
      {meeting, "Q.W --> Q.R", 'T'},
      {meeting, "A<> P.B and Q.R", 'T'},
      {meeting, "E[] Q.W", 'F'},
      // A state satisfies a predicate when some valuation of its zone does, clause by clause of
      // the normal form; deadlock is decided per valuation. A run visits every state a
      // transition enters before time passes in it; a delay need not visit the values it
      // passes over; a cycle whose rounds take no time is no run.
      {idle, "E<> (P.x < 2 or P.x > 4) and P.x > 3", 'T'},
      {idle, "E<> P.x > 3 and (P.x < 2 or P.x > 4)", 'T'},
      {idle, "A[] (P.x < 1 or P.x > 2) imply P.x != 3", 'F'},  // x == 3 is reachable
      {idle, "A<> P.x == 2", 'F'},                              // a delay from 0 to 3 skips 2
      {idle, "E<> ((P.x < 1 or (P.x > 5 or P.x == 3)) and P.x > 2) and P.x < 4", 'T'},
      {idle, "E<> (P.x < 1 or (P.x > 5 or (P.x == 4 or P.x == 2))) and P.x > 2 and P.x < 4", 'F'},
      {idle, "A[] not (P.x > 1 and (P.x < 1 or (P.x == 1 or P.x > 7)))", 'F'},
      {untilFive, "A[] deadlock", 'F'},  // x == 0 is not deadlocked
      {untilFive, "E<> not deadlock", 'T'},
      {untilFive, "E<> deadlock and P.x < 5", 'F'},
      {untilFive, "A[] deadlock imply P.x > 5", 'T'},
      {untilFive, "A[] not deadlock", 'F'},
      {untilFive, "E<> not (deadlock or P.x > 1)", 'T'},
      {untilFive, "E<> not (not deadlock or P.x > 1)", 'F'},
      {untilFive, "A[] not (deadlock and P.x <= 5)", 'T'},
      {untilFive, "E<> deadlock and not deadlock", 'F'},
      {committedTrap, "E<> P.B and deadlock", 'T'},  // below x == 5 B can neither wait nor act
      {committedTrap, "E<> P.B and P.x >= 5 and deadlock", 'F'},
      {resetToZero, "A<> P.A and P.x < 1", 'T'},
      {resetToZero, "E[] not (P.A and P.x < 1)", 'F'},
      {resetToZero, "P.S --> P.A and P.x < 1", 'T'},
      {resetToZero, "A<> P.S and P.x < 1", 'T'},  // the start state is visited before it waits
      {resetToThree, "A<> P.A and P.x == 3", 'T'},
      {resetToThree, "A<> P.A and P.x < 3", 'F'},
      {resetToThree, "E<> P.A and P.x < 3", 'F'},
      {resetToThree, "P.S --> P.A and P.x <= 3", 'T'},
      {committedStop, "A<> P.C and P.x < 1", 'T'},
      {committedStop, "E[] not (P.C and P.x < 1)", 'F'},
      {committedStop, "E<> P.C and P.x > 0", 'F'},
      {urgentStop, "A<> P.C and P.x < 1", 'T'},
      {urgentStop, "P.S --> P.C", 'T'},
      {pinned, "E[] P.A", 'F'},  // the loop at x == 5 takes no time: a Zeno run
      {pinned, "A<> P.x > 5", 'T'},
  };
  for (const Case& c : cases) {
    load(c.model);
    EXPECT_EQ(verdict(c.property), c.verdict) << c.property << " on\n" << c.model;
  }
}

// B is entered with y - x == 1 and left by x <= 2, so y <= 3 there. Extrapolated by y's
// constant 0 alone, the bound on y goes; with the property's constant 5 for y it stays.
const char* const skewed =
    "process P { clock x, y; state A { x <= 1 }, B { x <= 2 }; init A;\n"
    "  trans A -> B { guard x == 1; assign x := 0; }; }\nsystem P;\n";

// A check continues the previous exploration only when it extrapolates by the same constants.
TEST_F(Checkers, ReuseNeedsTheSameExtrapolationConstants) {
  load(skewed);
  session_->setOption(Session::reuseOption, 1);
  EXPECT_EQ(verdict("E<> P.B"), 'T');
  EXPECT_EQ(verdict("E<> P.B and P.y > 5"), 'F');
  EXPECT_EQ(verdict("E<> P.B and P.y >= 5"), 'F');  // the same constants: reused
  EXPECT_EQ(verdict("E<> P.B and P.y > 2"), 'T');
}

// The right side of --> may hold a deadlock literal once the reader allows it; it is decided per
// valuation of its clause, never on the whole zone.
TEST_F(Checkers, DeadlockInsideLeadsTo) {
  load(untilFive);
  auto holds = [&](Ref<TCTLExpression> q) {
    return check(propertyLeadsTo, new OrExpr(property("E<> P.A").expression, std::move(q))) == 'T';
  };
  Ref<TCTLExpression> deadlock(new CddDeadlockExpr(session_->system()));
  // Below 5 every valuation can act at once; from above 5 nothing ever acts again.
  EXPECT_TRUE(holds(new OrExpr(new NotExpr(deadlock), property("E<> P.x >= 5").expression)));
  EXPECT_FALSE(holds(new NotExpr(deadlock)));
  load(bounded);
  EXPECT_TRUE(holds(new CddDeadlockExpr(session_->system())));  // every run ends stuck at x == 5
}

// Traces replay from the start state; a liveness witness's loop ends in the discrete state
// where its path ends, and a run that ends in a deadlock is a witness too.
TEST_F(Checkers, TracesReplayToTheirEnds) {
  constexpr int any = -1, some = -2;  // a length not checked; at least one step
  struct Case {
    const char* model;
    const char* property;
    char verdict;
    bool found;
    int path, loop, end;  // trace lengths; the location where the path ends
  } cases[] = {
      {chain, "E<> P.B", 'T', true, 1, 0, 1},
      {chain, "A[] not P.C", 'T', false, any, any, any},  // nothing found: no trace is shown
      {chain, "E<> P.A", 'T', true, 0, 0, 0},             // the start state itself: no steps
      {chain, "E<> P.C", 'F', false, 0, any, any},
      {idle, "E[] P.A", 'T', true, 0, 0, 0},
      {resetting, "E[] P.A", 'T', true, any, 1, any},
      {drifting, "E[] P.A", 'T', true, any, some, any},
      {pingPong, "E[] true", 'T', true, 0, 2, 0},
      {deadEnd, "E[] true", 'T', true, 1, any, 1},
      {committedTrap, "E[] not P.C", 'T', true, 1, any, 1},
      {forced, "P.A --> P.C", 'T', false, any, any, any},
      // From B every run ends in C and stays there: A -> B by the enumeration, B -> C by the
      // search.
      {forced, "P.B --> P.A", 'F', true, 2, 0, 2},
      {optional, "P.A --> P.B", 'F', true, 0, 0, 0},  // by waiting in A forever
      {optional, "P.B --> P.A", 'F', true, 1, any, 1},
      {meeting, "E<> Q.R", 'T', true, 1, 0, 1},  // a synchronisation is one step
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.property) + " on\n" + c.model);
    load(c.model);
    ASSERT_EQ(verdict(c.property), c.verdict);
    EXPECT_EQ(last_.found, c.found);
    if (c.path != any) { EXPECT_EQ(last_.path->length(), c.path); }
    if (c.loop == some) { EXPECT_GE(last_.loop->length(), 1); }
    if (c.loop >= 0) { EXPECT_EQ(last_.loop->length(), c.loop); }
    if (!c.found) continue;
    // Every step must be enabled in the state the previous one reached.
    std::vector<ReplayedStep> steps = session_->replay(*last_.path, *last_.loop);
    const std::size_t length = std::size_t(last_.path->length());
    Ref<GlobalState> pathEnd = length ? steps[length - 1].state : session_->startState();
    Ref<GlobalState> loopEnd = steps.empty() ? pathEnd : steps.back().state;
    ASSERT_TRUE(pathEnd && loopEnd);
    if (c.end != any) { EXPECT_EQ(pathEnd->location(0), c.end); }
    if (last_.loop->length() > 0) { EXPECT_TRUE(loopEnd->sameDiscrete(pathEnd.get())); }
  }
}

TEST_F(Checkers, OverlappingClausesDoNotMultiply) {
  load(idle);
  std::string overlapping = "E[] P.x < 1";
  for (int c = 2; c <= 14; ++c) overlapping += " or P.x < " + std::to_string(c);
  EXPECT_EQ(verdict(overlapping.c_str()), 'F');  // waiting passes x == 14 at last
  std::string touching = "E[] P.x < 1";
  for (int c = 1; c <= 14; ++c)
    touching += " or (P.x >= " + std::to_string(c) + " and P.x < " + std::to_string(c + 1) + ")";
  EXPECT_EQ(verdict(touching.c_str()), 'F');
  EXPECT_EQ(verdict((touching + " or P.x >= 15").c_str()), 'T');
}

TEST_F(Checkers, SplittingFollowsWaitingAcrossClauses) {
  load(idle);
  // The zones of the parts a splitter makes of the start state (x == 0).
  auto parts = [&](const char* text) {
    PredicateSplitter splitter(session_->system(),
                               disjunctiveNormalForm(property(text).expression.get()));
    SuccessorList out;
    splitter.split(WaitingEntry{nullptr, nullptr, session_->startState()}, out);
    std::vector<std::string> zones;
    for (const WaitingEntry& part : out) zones.push_back(printed(*part.state->zone()));
    return zones;
  };
  using ::testing::ElementsAre;
  // Each clause's own part comes last, after the parts that waiting reaches from it.
  EXPECT_THAT(parts("E[] P.x < 3 or P.x >= 3"), ElementsAre("P.x>=3", "P.x<3"));
  EXPECT_THAT(parts("E[] P.x <= 3 or P.x > 3"), ElementsAre("P.x>3", "P.x<=3"));
}

// Asks the loop to stop at the first state.
class StopAtOnce : public Progress {
public:
  bool tick(const GlobalState*) override { return true; }
};

// Leaves the session's diagram library no room for a page beyond those it has.
class StarveDiagrams : public Progress {
public:
  bool tick(const GlobalState*) override {
    Cdd::setPageLimit(1);
    return false;
  }
};

// A search asked to stop has no answer: it throws instead of giving a verdict.
TEST_F(Checkers, StoppedSearchesThrowInsteadOfAnswering) {
  load(forced);
  session_->setProgress(new StopAtOnce);
  EXPECT_THROW(verdict("P.A --> P.C"), CheckError);
  EXPECT_THROW(verdict("A<> P.C"), CheckError);
  // So does a search whose deadlock test the diagram library cannot complete.
  session_->setProgress(new StarveDiagrams);
  EXPECT_THROW(verdict("A<> P.C"), CheckError);
}

// A hasher by location: with a tiny table it forces the front's index to grow.
class LocationHasher : public GlobalStateHasher {
public:
  unsigned operator()(const GlobalState* state, unsigned size) const override {
    return unsigned(state->location(0)) % size;
  }
};

TEST(FrontStack, IndexGrowsAndKeepsNewestFirst) {
  auto stateAt = [](int location) {
    Ref<GlobalState> state(GlobalState::create(1));
    state->setLocation(0, location);
    state->setZone(UnpackedZone::create(1, true));
    return state;
  };
  FrontStack front(new LocationHasher, 2);
  for (int k = 0; k < 40; ++k) front.push(stateAt(k % 5), nullptr, nullptr).depth = std::size_t(k);
  EXPECT_GT(front.bucketCount(), 40u);
  // The nodes of location 3 the lookup visits until the test accepts one below `accept`.
  Ref<GlobalState> probe = stateAt(3);
  using Visits = std::pair<std::vector<std::size_t>, std::int64_t>;
  auto visits = [&](std::size_t accept) {
    Visits seen{{}, 0};
    seen.second = front.lookup(probe.get(), [&](std::size_t k) {
      seen.first.push_back(k);
      return k < accept;
    });
    return seen;
  };
  EXPECT_EQ(visits(20), (Visits{{38, 33, 28, 23, 18}, 18}));
  // Popping removes the newest node from its chain.
  for (int k = 0; k < 3; ++k) ASSERT_TRUE(front.pop());
  EXPECT_EQ(visits(0), (Visits{{33, 28, 23, 18, 13, 8, 3}, -1}));
  while (front.pop()) {
  }
  EXPECT_TRUE(front.empty());
  EXPECT_EQ(visits(100), (Visits{{}, -1}));
}

}  // namespace
