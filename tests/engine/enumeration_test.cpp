// tests/engine/enumeration_test.cpp: whole state spaces of small models worked out by hand,
// the storage reduction, traces of handed-out states, and the caching enumeration's replay.
#include "engine/enumeration.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine_fixture.h"

using namespace engine_test;

namespace {

struct Options {
  int reduction = 1;
  bool stack = false, hull = false, reuse = false;
};

class EnumerationTest : public EngineTest {
protected:
  // Builds the enumeration as the server does, and resets it with the initial state.
  void start(const std::string& text, Options options = {}) {
    system = load(text);
    ASSERT_TRUE(system);
    Ref<GlobalStateHasher> hasher = system->makeDiscreteHasher();
    Ref<WaitingList> waiting;
    if (options.hull) {
      passed = new ConvexHullPassedList(hasher, 17609);
      waiting = options.stack ? Ref<WaitingList>(new ConvexHullWaitingStack(hasher, 1009))
                              : Ref<WaitingList>(new ConvexHullWaitingQueue(hasher, 1009));
    } else {
      passed = new ClassicPassedList(hasher, 17609, false);
      waiting = options.stack ? Ref<WaitingList>(new WaitingStack(hasher, 1009))
                              : Ref<WaitingList>(new WaitingQueue(hasher, 1009));
    }
    traces = new MemoryTraceStore;
    Ref<GenericStateSpaceEnumeration> generic =
        new GenericStateSpaceEnumeration(system, passed, waiting, traces, options.reduction);
    enumeration = generic;
    if (options.reuse)
      enumeration = new CachingStateSpaceEnumeration(generic, system, passed, traces);
    enumeration->reset(system->initialState(false));
    GlobalState::destroyAllRegistered();
  }

  // "A,B i=2" for a state: its location names and integer cells.
  std::string name(const GlobalState* state) {
    std::string text;
    for (int p = 0; p < system->processCount(); ++p) {
      if (p) text += ",";
      text +=
          symbols().find(stateKind, system->process(p)->firstSymbol() + state->location(p)).name;
    }
    if (state->valuation())
      for (int k = 0; k < state->valuation()->size(); ++k)
        text += " " + std::to_string((*state->valuation())[k]);
    return text;
  }

  // The names of the next count states handed out (fewer when the state space ends).
  std::vector<std::string> take(int count) {
    std::vector<std::string> names;
    for (int k = 0; k < count; ++k) {
      Ref<GlobalState> state = enumeration->next();
      if (!state) break;
      names.push_back(name(state.get()));
    }
    return names;
  }
  std::vector<std::string> all() { return take(1 << 20); }

  Ref<System> system;
  Ref<TraceStore> traces;
  Ref<PassedList> passed;
  Ref<StateSpaceEnumeration> enumeration;
};

// Counts i from 0 to 3: four states in a line.
const char* const counter =
    "int[0,3] i := 0;\n"
    "process P { state A; init A; trans A -> A { guard i < 3; assign i := i + 1; }; }\n"
    "system P;\n";

TEST_F(EnumerationTest, InitialStateWithoutSuccessorsIsHandedOutAlone) {
  start("process P { state A; init A; }\nsystem P;\n");
  EXPECT_EQ(all(), std::vector<std::string>{"A"});
  EXPECT_EQ(enumeration->next(), nullptr);
  EXPECT_EQ(enumeration->getTrace()->length(), 0) << "the trace of -1 after exhaustion";
}

TEST_F(EnumerationTest, CounterWithItsTraces) {
  start(counter);
  for (int i = 0; i <= 3; ++i) {
    Ref<GlobalState> state = enumeration->next();
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(name(state.get()), "A " + std::to_string(i));
    Ref<Trace> trace = enumeration->getTrace();
    EXPECT_EQ(trace->length(), i);
    for (trace->reset(); !trace->atEnd(); trace->next()) {
      EXPECT_EQ(trace->current().first, nullptr);
      EXPECT_EQ(trace->current().second.get(), system->process(0)->edge(0));
    }
  }
  EXPECT_EQ(enumeration->next(), nullptr);
  enumeration->reset(nullptr);
  EXPECT_EQ(all().size(), 4u) << "reset with null starts again from the remembered state";
}

// A -> B resets x after x >= 1; B -> A needs x >= 3 and comes back to A's whole zone, which the
// passed list already holds. Two states: (A, 0 <= x <= 2) and (B, x >= 0).
TEST_F(EnumerationTest, StateReachedAgainWithAnIncludedZoneIsNotHandedOutTwice) {
  start("clock x;\nprocess P { state A { x <= 2 }, B; init A;\n"
        "  trans A -> B { guard x >= 1; assign x := 0; }, B -> A { guard x >= 3; assign x := 0; };\n"
        "}\nsystem P;\n");
  Ref<GlobalState> first = enumeration->next();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(zoneText(first.get()), "x<=2") << "the start state has let time pass";
  Ref<GlobalState> second = enumeration->next();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(name(second.get()), "B");
  EXPECT_TRUE(second->isUnbounded());
  EXPECT_EQ(enumeration->next(), nullptr);
}

// P sends on c and resets x; Q receives, then must leave B exactly at x == 1.
TEST_F(EnumerationTest, SynchronisationCountsAsOneStepWithBothEdges) {
  start("chan c;\nclock x;\n"
        "process P { state A, B; init A; trans A -> B { sync c!; assign x := 0; }; }\n"
        "process Q { state A, B { x <= 1 }; init A;\n"
        "  trans A -> B { sync c?; }, B -> A { guard x == 1; }; }\nsystem P, Q;\n");
  EXPECT_THAT(take(2), testing::ElementsAre("A,A", "B,B"));
  Ref<GlobalState> last = enumeration->next();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(name(last.get()), "B,A");
  EXPECT_EQ(zoneText(last.get()), "x>=1");
  Ref<Trace> trace = enumeration->getTrace();
  ASSERT_EQ(trace->length(), 2);
  trace->reset();
  EXPECT_EQ(trace->current().first.get(), system->process(0)->edge(0));
  EXPECT_EQ(trace->current().second.get(), system->process(1)->edge(0));
  trace->next();
  EXPECT_EQ(trace->current().first, nullptr);
  EXPECT_EQ(trace->current().second.get(), system->process(1)->edge(1));
  EXPECT_EQ(enumeration->next(), nullptr);
}

// Two paths of different lengths meet in C, which lies on no cycle; breadth-first, the first C
// is handed out before the second arrives.
std::string twoPaths(const char* extra) {
  return std::string("process P {\n  state A, B1, B2, B3, C;\n") + extra +
         "  init A;\n  trans A -> B1 {}, A -> B2 {}, B1 -> C {}, B2 -> B3 {}, B3 -> C {};\n"
         "}\nsystem P;\n";
}

TEST_F(EnumerationTest, StorageReductionDecidesWhetherARevisitIsHandedOutAgain) {
  struct Case {
    const char* extra;
    int reduction;
    std::vector<std::string> expected;
  };
  std::vector<std::string> once{"A", "B1", "B2", "C", "B3"};
  std::vector<std::string> twice{"A", "B1", "B2", "C", "B3", "C"};
  for (const Case& c :
       {Case{"", 0, once}, Case{"", 1, once}, Case{"", 2, twice}, Case{"  commit C;\n", 0, once},
        Case{"  commit C;\n", 1, twice}, Case{"  commit C;\n", 2, twice}}) {
    start(twoPaths(c.extra), Options{c.reduction});
    EXPECT_EQ(all(), c.expected) << c.extra << " reduction " << c.reduction;
    resetTables();
    // Loop entries are stored under every reduction: the counter ends.
    start(counter, Options{c.reduction});
    EXPECT_EQ(all().size(), 4u) << c.reduction;
    resetTables();
  }
}

TEST_F(EnumerationTest, DepthFirstOrderFromAStack) {
  start(twoPaths(""), Options{1, true});
  EXPECT_EQ(all(), (std::vector<std::string>{"A", "B2", "B3", "C", "B1"}));
}

// Two clocks whose zones differ after the two branches; the convex hull keeps one state per
// location.
TEST_F(EnumerationTest, ConvexHullKeepsOneStatePerDiscretePart) {
  start("clock x, y;\nprocess P { state A { x <= 4 }, B; init A;\n"
        "  trans A -> B { guard x <= 1; assign x := 0; }, A -> B { guard x >= 3; assign y := 0; };\n"
        "}\nsystem P;\n",
        Options{1, false, true});
  std::vector<std::string> names = all();
  EXPECT_EQ(names.front(), "A");
  EXPECT_EQ(std::count(names.begin(), names.end(), "B"), 1);
  auto* hashed = dynamic_cast<HashBasedPassedList*>(passed.get());
  ASSERT_NE(hashed, nullptr);
  EXPECT_EQ(hashed->storedCount(), 2u);
}

// A committed location C between every two A's: the A states are stored, the C states are not.
const char* const committedSteps =
    "int[0,2] i := 0;\nprocess P { state A, C; commit C; init A;\n"
    "  trans A -> C { guard i < 2; assign i := i + 1; }, C -> A {}; }\nsystem P;\n";

TEST_F(EnumerationTest, CachingReplaysStoredStatesAndRebuildsUnstoredOnes) {
  start(committedSteps, Options{1, false, false, true});
  EXPECT_EQ(all(), (std::vector<std::string>{"A 0", "C 1", "A 1", "C 2", "A 2"}));
  enumeration->reset(nullptr);
  std::map<std::string, int> seen;
  while (Ref<GlobalState> state = enumeration->next()) {
    std::string key = name(state.get());
    ++seen[key];
    // The trace leads back to the start through every step, unstored ones included.
    EXPECT_EQ(enumeration->getTrace()->length(),
              2 * state->valuation()->cells()[0] - (key[0] == 'C'))
        << key;
  }
  EXPECT_EQ(seen, (std::map<std::string, int>{
                      {"A 0", 1}, {"A 1", 1}, {"A 2", 1}, {"C 1", 1}, {"C 2", 1}}));
}

TEST_F(EnumerationTest, CachingReplaysFirstThenContinuesTheExploration) {
  start(counter, Options{1, false, false, true});
  EXPECT_EQ(take(2), (std::vector<std::string>{"A 0", "A 1"}));
  enumeration->reset(nullptr);
  std::vector<std::string> second = all();
  ASSERT_EQ(second.size(), 4u);
  EXPECT_THAT(std::vector<std::string>(second.begin(), second.begin() + 2),
              testing::UnorderedElementsAre("A 0", "A 1"));
  EXPECT_EQ(second[2], "A 2");
  EXPECT_EQ(second[3], "A 3");
  EXPECT_EQ(enumeration->getTrace()->length(), 0);
  // A reset with a state replays nothing.
  enumeration->reset(system->initialState(false));
  EXPECT_EQ(all(), (std::vector<std::string>{"A 0", "A 1", "A 2", "A 3"}));
}

}  // namespace
