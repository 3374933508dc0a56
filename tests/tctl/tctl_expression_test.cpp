#include <gtest/gtest.h>

#include <string>

#include "model/global_state.h"
#include "model/integer.h"
#include "model/integer_expression.h"
#include "tests/support/zone_builder.h"
#include "tests/tctl/fixture.h"
#include "model/clock.h"
#include "zones/zone.h"

namespace {

const char* const clockModel =
    "clock x, y;\nint[0,5] i;\n"
    "process P { state s, t; init s; trans s -> t { guard x > 3; }; }\n"
    "process Q { state s, t; init s; }\nsystem P, Q;\n";

class Formula : public testing::Test {
 protected:
  void SetUp() override {
    system_ = loadModel(clockModel);
    ASSERT_TRUE(system_);
  }

  // The formula of "E<> text".
  Ref<TCTLExpression> formula(const std::string& text) {
    CheckedProperty p = parsePropertyText("E<> " + text + "\n", system_);
    EXPECT_EQ(p.diagnostics, "") << text;
    return p.expression;
  }
  // A state in locations (p, q), i = value, whose zone is the unconstrained one narrowed by
  // the clock formula `zone` ("" for no narrowing).
  Ref<GlobalState> state(const std::string& zone, int p = 0, int q = 0, int value = 0) {
    Ref<GlobalState> s(GlobalState::create(2));
    s->setLocation(0, p);
    s->setLocation(1, q);
    s->setZone(UnpackedZone::create(ClockInfo::count(), true));
    s->setValuation(integerVariables().createValuation(true));
    s->valuation()->cells()[0] = value;
    if (!zone.empty()) {
      EXPECT_TRUE(formula(zone)->satisfiedBy(s.get())) << zone;
    }
    return s;
  }
  // The state's zone holds exactly the valuations of the clock formula.
  bool zoneIs(const GlobalState* s, const std::string& zone) {
    Ref<GlobalState> expected = state(zone);
    return expected->zone()->relation(static_cast<const UnpackedZone*>(s->zone())) ==
           Zone::equal;
  }

  Ref<System> system_;
  static constexpr int x_ = 1, y_ = 2;  // the clocks' numbers
};

// Whether the formula holds in a state in locations (p, 0) whose zone is `start`, and the zone
// it leaves: narrowed to where it holds, to the first side of an "or" or the first clause of the
// normal form that leaves the zone non-empty; a failed operand or clause leaves nothing behind.
TEST_F(Formula, NarrowsTheZoneToWhereItHolds) {
  struct Case {
    const char* start;
    const char* formula;
    const char* zone;  // "" when the formula does not hold
    int p = 0;
  } cases[] = {
      {"x <= 10", "x > 3", "x > 3 and x <= 10"},
      {"x <= 10", "x > 10", ""},
      {"x <= 10", "x >= 10", "x == 10"},
      {"x <= 10 and y <= 10", "x < y - 2", "x < y - 2 and y <= 10"},
      {"x <= 10 and y <= 10", "x > 3 or y > 3", "x > 3 and x <= 10 and y <= 10"},
      {"x <= 2 and y <= 10", "x > 3 or y > 3", "x <= 2 and y > 3 and y <= 10"},
      {"x <= 2 and y <= 2", "x > 3 or y > 3", ""},
      // A discrete left side needs no copy and leaves the zone alone when it holds.
      {"x <= 2", "P.s or x > 1", "x <= 2"},
      {"x <= 10 and y <= 10", "x > 3 and y < 2", "x > 3 and x <= 10 and y < 2"},
      {"", "P.s and x > 3", "", 1},
      {"", "P.t and x > 3", "x > 3", 1},
      {"x <= 10 and y <= 10", "(x < 2 or x > 4) and x > 3", "x > 4 and x <= 10 and y <= 10"},
      {"x <= 10 and y <= 10", "x > 3 and (x < 2 or x > 4)", "x > 4 and x <= 10 and y <= 10"},
      {"x <= 10 and y <= 10", "((x < 1 or (x > 5 or x == 3)) and x > 2) and x < 4",
       "x == 3 and y <= 10"},
      {"x <= 10 and y <= 10", "(x < 1 or (x > 5 or (x == 4 or x == 2))) and x > 2 and x < 4", ""},
      {"x <= 10 and y <= 10", "not ((x >= 2 and x <= 4) or x < 3) and y < 1",
       "x > 4 and x <= 10 and y < 1"},
      {"x <= 10 and y <= 10", "(x < 1 imply y > 2) and x < 1", "x < 1 and y > 2 and y <= 10"},
      {"x <= 10 and y <= 10", "(P.t or x > 8) and (Q.t or x < 9)", "x > 8 and x < 9 and y <= 10"},
      {"x <= 10 and y <= 10", "(x <= 10 or x < 1) and x > 3", "x > 3 and x <= 10 and y <= 10"},
      {"x <= 10 and y <= 10", "(y < 11 or x < 1) and (x < 1 or y < 1)", "x < 1 and y <= 10"},
      // "not" of a clock formula holds where the operand fails.
      {"x <= 10", "not (x > 3)", "x <= 3"},
      {"x >= 4 and x <= 10", "not (x > 3)", ""},
      {"x <= 2 and y <= 5", "not (x > 3) and y < 1", "x <= 2 and y < 1"},
      {"x <= 10 and y <= 10", "not (x > 3 and P.s)", "x <= 3 and y <= 10"},
      {"x <= 10", "not (x > 3 and P.t)", "x <= 3"},  // the first clause of the normal form
  };
  for (const Case& c : cases) {
    Ref<GlobalState> s = state(c.start, c.p);
    EXPECT_EQ(formula(c.formula)->satisfiedBy(s.get()), *c.zone != 0) << c.formula;
    if (*c.zone) {
      EXPECT_TRUE(zoneIs(s.get(), c.zone)) << c.formula;
    }
  }
  // The narrowed zone is closed; a packed zone is unpacked first.
  Ref<GlobalState> s = state("x <= 10");
  EXPECT_TRUE(formula("x > 3")->satisfiedBy(s.get()));
  EXPECT_FALSE(static_cast<const UnpackedZone*>(s->zone())->isDirty());
  s = state("x <= 10");
  s->setZone(s->zone()->pack());
  EXPECT_TRUE(formula("x > 3")->satisfiedBy(s.get()));
  EXPECT_FALSE(s->isPacked());
  EXPECT_TRUE(zoneIs(s.get(), "x > 3 and x <= 10"));
}

TEST_F(Formula, DiscreteTests) {
  struct Case {
    const char* text;
    bool holds;  // in locations (0, 1) with i == 2
  } cases[] = {{"P.s", true},        {"P.t", false},         {"Q.t", true},      {"not P.t", true},
               {"true", true},       {"i >= 2", true},       {"i >= 3", false},  {"i <= 2", true},
               {"i <= 1", false},    {"i < 3", true},        {"i < 2", false},   {"i > 1", true},
               {"i > 2", false},     {"i == 2", true},       {"i == 1", false},  {"i != 1", true},
               {"i != 2", false},    {"i * 2 == 4", true},   {"-i / 4 == -1", true},
               {"i - 3 < 0", true}};
  for (const Case& c : cases)
    EXPECT_EQ(formula(c.text)->satisfiedBy(state("", 0, 1, 2).get()), c.holds) << c.text;
}

TEST_F(Formula, NegationGivesTheComplement) {
  for (auto [text, negation] : {std::pair{"P.s and Q.t", "(not P.s or not Q.t)"},
                                {"i == 2", "i != 2"}, {"i <= 2", "i > 2"},
                                {"i >= 2 or i < 1", "(i < 2 and i >= 1)"}, {"x < 5", "x>=5"},
                                {"x <= y + 2", "y<x-2"}, {"not P.s", "P.s"}, {"true", "not true"}})
    EXPECT_EQ(printed(formula(text)->negate().get()), negation);
  // A single bound and its negation split a zone into two disjoint parts.
  for (const char* text : {"x < 5", "x >= 5", "x <= y - 1", "y < x + 2", "x > y"}) {
    Ref<TCTLExpression> f = formula(text);
    Ref<GlobalState> a = state("x <= 10 and y <= 10"), b = state("x <= 10 and y <= 10");
    bool inA = f->satisfiedBy(a.get()), inB = f->negate()->satisfiedBy(b.get());
    const auto& zoneA = *static_cast<const UnpackedZone*>(a->zone());
    const auto& zoneB = *static_cast<const UnpackedZone*>(b->zone());
    for (const Point& point : halfIntegerPoints(3, 10)) {  // x and y in 0, 1/2, ..., 10
      bool first = inA && contains(zoneA, point), second = inB && contains(zoneB, point);
      EXPECT_NE(first, second) << text << " at " << point[x_] << ", " << point[y_] << " quarters";
    }
  }
}

// The clock constants of a property widen extrapolation (raised only), its difference bounds
// are diagonal guards, and the clocks it reads are kept by the active-clock reduction.
TEST_F(Formula, ConstantsAndClocksOfTheProperty) {
  std::vector<std::int32_t> max(std::size_t(ClockInfo::count()), 0);
  DiagonalGuards diagonals, none;
  ClockSet clocks;
  formula("x < y + 3")->collectConstants(max, diagonals);
  EXPECT_EQ(max, (std::vector<std::int32_t>{0, 3, 0}));
  EXPECT_TRUE(diagonals.contains(x_, y_, makeBound(3, true)));
  EXPECT_TRUE(diagonals.contains(y_, x_, makeBound(-3, false)));
  EXPECT_EQ(diagonals.size(), 2u);
  max.assign(max.size(), 0);
  formula("(x > 7 or not (y <= 2)) and i == 100 and P.s")->collectConstants(max, none);
  EXPECT_EQ(max, (std::vector<std::int32_t>{0, 7, 2}));
  EXPECT_TRUE(none.empty());
  max[x_] = 20;
  formula("x < 9")->collectConstants(max, none);
  EXPECT_EQ(max[x_], 20);

  formula("x < y + 1 and P.s")->collectClocks(clocks);
  EXPECT_EQ(clocks, (ClockSet{x_, y_}));
  clocks.clear();
  formula("i == 2 or not P.t")->collectClocks(clocks);
  EXPECT_TRUE(clocks.empty());
  formula("not (y > 2)")->collectClocks(clocks);
  EXPECT_EQ(clocks, (ClockSet{0, y_}));
}

TEST_F(Formula, FilterKeepsTheSatisfyingPartsWithoutCoveredDuplicates) {
  // The zones kept, each followed by ';'.
  auto run = [&](const std::string& text, StateList states) {
    formula(text)->filter(states);
    std::string zones;
    for (const Ref<GlobalState>& kept : states) {
      for (const char* zone : {"x < 2", "x < 5", "x > 8 and x <= 10", "x > 3 and x <= 10", ""})
        if (zoneIs(kept.get(), zone)) {
          zones += zone;
          break;
        }
      zones += ';';
    }
    return zones;
  };
  // Either order: the right part includes the left one.
  EXPECT_EQ(run("x < 2 or x < 5", {state("x <= 10")}), "x < 5;");
  EXPECT_EQ(run("x < 5 or x < 2", {state("x <= 10")}), "x < 5;");
  EXPECT_EQ(run("x < 2 or x > 8", {state("x <= 10")}), "x < 2;x > 8 and x <= 10;");
  EXPECT_EQ(run("P.s or P.s", {state("x <= 10")}), ";");
  EXPECT_EQ(run("x > 3 and P.s", {state("x <= 10"), state("x <= 10", 1), state("x <= 2")}),
            "x > 3 and x <= 10;");
  EXPECT_EQ(run("true", {state(""), state("", 1)}), ";;");
  EXPECT_EQ(run("x > 20", {state("x <= 10")}), "");
  // States of different locations never cover each other.
  EXPECT_EQ(run("P.t or x < 1", {state("x <= 10", 1)}), ";");
  EXPECT_EQ(run("P.s or Q.t", {state("", 0, 1), state("", 1, 1), state("", 1, 0)}), ";;");
}

TEST_F(Formula, DisjunctiveNormalForm) {
  // The clauses joined by " | ", the conjuncts of each by " & ".
  auto dnf = [&](const char* text) {
    std::string clauses;
    for (const Conjuncts& clause : disjunctiveNormalForm(formula(text).get())) {
      clauses += clauses.empty() ? "" : " | ";
      for (std::size_t k = 0; k < clause.size(); ++k)
        clauses += (k ? " & " : "") + printed(clause[k].get());
    }
    return clauses;
  };
  EXPECT_EQ(dnf("(P.s or x < 1) and (Q.t or y > 2)"),
            "P.s & Q.t | P.s & y>2 | x<1 & Q.t | x<1 & y>2");
  EXPECT_EQ(dnf("not (P.s and x < 1)"), "not P.s | x>=1");
}

}  // namespace
