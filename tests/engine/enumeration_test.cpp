// tests/engine/enumeration_test.cpp: whole state spaces of small models worked out by hand,
// the storage reduction and traces of handed-out states.
#include "engine/enumeration.h"

#include <gtest/gtest.h>

#include <string>

#include "engine_fixture.h"

using namespace engine_test;

namespace {

class EnumerationTest : public EngineTest {
protected:
  // Builds the enumeration as the server does (breadth-first, full zones, with traces), and
  // resets it with the initial state.
  void start(const std::string& text, int reduction = 1) {
    system = load(text);
    ASSERT_TRUE(system);
    Ref<GlobalStateHasher> hasher = system->makeDiscreteHasher();
    enumeration = new GenericStateSpaceEnumeration(
        system, new ClassicPassedList(hasher, 17609, false), new WaitingQueue(hasher, 1009),
        new MemoryTraceStore, reduction);
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

  // The names of the states handed out until the state space ends.
  std::vector<std::string> all() {
    std::vector<std::string> names;
    while (Ref<GlobalState> state = enumeration->next()) names.push_back(name(state.get()));
    return names;
  }

  Ref<System> system;
  Ref<StateSpaceEnumeration> enumeration;
};

// Counts i from 0 to 3: four states in a line.
const char* const counter =
    "int[0,3] i := 0;\n"
    "process P { state A; init A; trans A -> A { guard i < 3; assign i := i + 1; }; }\n"
    "system P;\n";

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
  EXPECT_EQ(enumeration->getTrace()->length(), 0) << "the trace of -1 after exhaustion";
  enumeration->reset(nullptr);
  EXPECT_EQ(all().size(), 4u) << "reset with null starts again from the remembered state";
}

// A -> B resets x after x >= 1; B -> A needs x >= 3 and comes back to A's whole zone, which the
// passed list already holds. Two states: (A, 0 <= x <= 2) and (B, x >= 0).
TEST_F(EnumerationTest, StateReachedAgainWithAnIncludedZoneIsNotHandedOutTwice) {
  start("clock x;\nprocess P { state A { x <= 2 }, B; init A;\n"
        "  trans A -> B { guard x >= 1; assign x := 0; },\n"
        "        B -> A { guard x >= 3; assign x := 0; }; }\nsystem P;\n");
  Ref<GlobalState> first = enumeration->next();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(zoneText(first.get()), "x<=2") << "the start state has let time pass";
  Ref<GlobalState> second = enumeration->next();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(name(second.get()), "B");
  EXPECT_TRUE(second->isUnbounded());
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
    start(twoPaths(c.extra), c.reduction);
    EXPECT_EQ(all(), c.expected) << c.extra << " reduction " << c.reduction;
    resetTables();
    // Loop entries are stored under every reduction: the counter ends.
    start(counter, c.reduction);
    EXPECT_EQ(all().size(), 4u) << c.reduction;
    resetTables();
  }
}

}  // namespace
