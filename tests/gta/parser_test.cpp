#include "gta/parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "model/channel.h"
#include "model/integer.h"
#include "model/integer_expression.h"
#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "model/clock.h"

using testing::HasSubstr;

namespace {

// Every accepted text leaves its own tables current, so the tests read them directly.
class ParserTest : public testing::Test {
 protected:
  // The diagnostics of a text that must be rejected.
  static std::string errors(const std::string& text) {
    ParseResult r = parseSystem(text);
    EXPECT_FALSE(r.system) << text;
    return r.diagnostics;
  }
  // The system of a text that must be accepted without any report.
  static Ref<System> accept(const std::string& text) {
    ParseResult r = parseSystem(text);
    EXPECT_TRUE(r.system) << r.diagnostics;
    EXPECT_EQ(r.diagnostics, "");
    return r.system;
  }
  static std::string listing(const System& system) {
    std::ostringstream out;
    for (int p = 0; p < system.processCount(); ++p) system.process(p)->print(out);
    return out.str();
  }
  // The labels of edge k of process p, as "{ guard ...; sync ...; assign ...; }".
  static std::string labels(const System& system, int p, int k) {
    std::ostringstream out;
    system.process(p)->edge(k)->printLabels(out);
    return out.str();
  }
  static std::string invariant(const System& system, int p, int location) {
    std::ostringstream out;
    system.process(p)->location(location)->printInvariant(out);
    return out.str();
  }
  // A one-process model around a process body, or around the labels of one edge.
  static std::string model(const std::string& globals, const std::string& body) {
    return globals + "process P {\n" + body + "\n}\nsystem P;\n";
  }
  static std::string edge(const std::string& globals, const std::string& labels) {
    return model(globals, "state a; init a;\ntrans a -> a { " + labels + " };");
  }
};

TEST_F(ParserTest, RoundTripOfAProcess) {
  Ref<System> system = accept(
      "clock x, y;\nint[0,3] i;\nchan c;\n"
      "process P {\n"
      "  state a { x <= 3 }, b { x < 5, y <= 2 }, c2;\n"
      "  commit c2; urgent b; init b;\n"
      "  trans a -> b { guard x > 1, i == 2; sync c!; assign x := 0, i := i + 1; },\n"
      "        b -> c2 { guard x == 4, y >= 0 ; },\n"
      "        c2 -> a { assign y := 0; };\n"
      "}\n"
      "process Q { state s; init s; trans s -> s { sync c?; }; }\n"
      "system P, Q;\n");
  ASSERT_TRUE(system);
  const Process* p = system->process(0);
  EXPECT_EQ(p->initial(), 1);
  EXPECT_FALSE(p->location(0)->isCommitted() || p->location(1)->isCommitted());
  EXPECT_TRUE(p->location(1)->isUrgent() && p->location(2)->isCommitted());
  EXPECT_EQ(invariant(*system, 0, 0) + invariant(*system, 0, 1) + invariant(*system, 0, 2),
            "{ x<=3}{ x<5, y<=2}{ }");
  EXPECT_EQ(labels(*system, 0, 0), "{ guard 1<x, i == 2; sync c!; assign x:=0, i := (i + 1); }");
  EXPECT_EQ(labels(*system, 1, 0), "{ sync c?; }");
}

TEST_F(ParserTest, ClockConstraintsBecomeBoundsOnDifferences) {
  Ref<System> system =
      accept(model("clock x, y;\n",
                   "state a; init a;\n"
                   "trans a -> a { guard x == 5; }, -> a { guard x >= 2, x > 3, x < 4; },\n"
                   "  -> a { guard x <= y + 2, x > y, x == y + 1, x >= y; };"));
  ASSERT_TRUE(system);
  EXPECT_EQ(labels(*system, 0, 0), "{ guard x<=5, 5<=x; }");
  EXPECT_EQ(labels(*system, 0, 1), "{ guard 2<=x, 3<x, x<4; }");
  EXPECT_EQ(labels(*system, 0, 2), "{ guard x-y<=2, y-x<0, x-y<=1, y-x<=-1, y-x<=0; }");
  // Difference bounds are collected as diagonal guards.
  accept(edge("clock x, y;\n", "guard x <= y + 2;"));
  EXPECT_EQ(ClockInfo::diagonals().size(), 2u);
  EXPECT_TRUE(ClockInfo::diagonals().contains(1, 2, 2 * 2 + 1));
  EXPECT_TRUE(ClockInfo::diagonals().contains(2, 1, 2 * -2));
  EXPECT_EQ(ClockInfo::maxConstants()[1], 2);
}

// Constant expressions fold at read time, dividing towards zero and wrapping in 32 bits.
TEST_F(ParserTest, ConstantsFoldWithTruncatingDivisionAndWrap) {
  struct Case {
    const char* name;
    const char* expression;
    std::int32_t value;
  } cases[] = {{"N", "2*3+1", 7},      {"M", "-7/2", -3},    {"A", "2-3-4", -5},
               {"B", "16/4/2", 2},     {"C", "-(2+3)*2", -10}, {"D", "N*N - M", 52},
               {"E", "7/-2", -3},      {"F", "- -3", 3},       {"G", "2147483647 + 1", INT32_MIN},
               {"H", "-2147483647 - 1", INT32_MIN},            {"I", "H / -1", INT32_MIN},
               {"J", "65536 * 65536", 0}};
  std::string globals;
  for (const Case& c : cases)
    globals += std::string("const ") + c.name + " " + c.expression + ";\n";
  accept(model(globals, "state a; init a;"));
  for (const Case& c : cases) {
    EXPECT_EQ(symbols().find(c.name).kind, constantKind) << c.name;
    EXPECT_EQ(symbols().find(c.name).extra, c.value) << c.expression;
  }
}

TEST_F(ParserTest, IntegerExpressionsKeepPrecedenceAndAssociativity) {
  Ref<System> system = accept(
      model("int[-100,100] v, w;\nint a[3];\nconst K 2;\n",
            "state s; init s;\n"
            "trans s -> s { assign v := -7/2, w := 1 + 2 * 3 - 4, v := 8 / 4 / 2, w := -v * K,\n"
            "  v := a[v + 1] - (w - 1), w := <?(v, 3) + >?(1, w), v := (v >= 2 ? 1 : -1) ; };"));
  ASSERT_TRUE(system);
  EXPECT_EQ(labels(*system, 0, 0),
            "{ assign v := ((0 - 7) / 2), w := ((1 + (2 * 3)) - 4), v := ((8 / 4) / 2), "
            "w := ((0 - v) * 2), v := (a[(v + 1)] - (w - 1)), w := (min(v , 3) + max(1 , w)), "
            "v := (v >= 2?1:(0 - 1)); }");
}

TEST_F(ParserTest, IntegerDeclarationsAndTheirDefaults) {
  accept(model("int x, y := 3;\nint[1,3] a[2];\nint[-5,-1] n;\n", "int[0,1] l;\nstate s; init s;"));
  std::ostringstream out;
  for (std::int32_t k = 0; k < integerVariables().size(); ++k) integerVariables().dump(out, k);
  EXPECT_EQ(out.str(),
            "Integer #0 -- x (0-0)\n  Domain: [-32767, 32767] = 0\n"
            "Integer #1 -- y (1-1)\n  Domain: [-32767, 32767] = 3\n"
            "Integer #2 -- a (2-3)\n  Domain: [1, 3] = 1\n"
            "Integer #3 -- n (4-4)\n  Domain: [-5, -1] = -5\n"
            "Integer #4 -- P.l (5-5)\n  Domain: [0, 1] = 0\n");
}

TEST_F(ParserTest, LocalNamesShadowGlobalOnesAndGlobalDotReachesThem) {
  Ref<System> system = accept(
      "int x;\nclock c;\n"
      "process P {\n"
      "  int x; clock c;\n"
      "  state s { c <= 2, global.c <= 3 }; init s;\n"
      "  trans s -> s { guard x == global.x, global.c > 1; assign x := 1, global.x := 2, "
      "global.c := 0; };\n"
      "}\n"
      "process Q { state s; init s; trans s -> s { assign x := 3; }; }\n"
      "system P, Q;\n");
  ASSERT_TRUE(system);
  EXPECT_EQ(invariant(*system, 0, 0), "{ P.c<=2, c<=3}");
  EXPECT_EQ(labels(*system, 0, 0), "{ guard P.x == x, 1<c; assign P.x := 1, x := 2, c:=0; }");
  EXPECT_EQ(labels(*system, 1, 0), "{ assign x := 3; }");
}

TEST_F(ParserTest, EveryCheckHasItsMessage) {
  struct Case {
    std::string text;
    int line;
    std::string message;
  } cases[] = {
      {model("int[5,1] z;\n", "state a; init a;"), 1, "Empty variable domain."},
      {model("int[0,3] w := 7;\n", "state a; init a;"), 1, "Initial value not in domain of w"},
      {model("int q[0];\n", "state a; init a;"), 1, "Illegal array size."},
      {model("int q[-2];\n", "state a; init a;"), 1, "Illegal array size."},
      {model("clock x;\nint x;\n", "state a; init a;"), 2, "Redefined symbol x"},
      {model("const N 1;\nconst N 2;\n", "state a; init a;"), 2, "Redefined symbol N"},
      {model("int a;\nchan a;\n", "state s; init s;"), 2, "Redefined symbol a"},
      {model("", "state a, b,\na; init a;"), 3, "Redefined symbol a"},
      {"process P { state a; init a; }\nprocess P { state a; init a; }\nsystem P;",
       2, "Redefined symbol P"},
      {model("clock x;\n", "state a { x <= -1 }; init a;"), 3, "RHS of invariant < 0."},
      {model("clock x;\n", "state a; init a;\ntrans a { x < 0-1 } -> a {};"),
       4, "RHS of invariant < 0."},
      {model("", "state a; init a;\ntrans -> a {};"),
       3, "First transition must have an explicit source state."},
      {model("", "state a; init a;\ntrans a -> b {};"),
       3, "Transition destination is not a state."},
      {model("", "state a; init a;\ntrans a -> P {};"),
       3, "Transition destination is not a state."},
      {model("", "state a; init a;\ntrans b -> a {};"), 3, "Transition source is not a state."},
      {edge("clock x;\n", "guard x < -1;"), 4, "Clock x compared to negative value. (-1)"},
      {edge("clock x;\n", "guard x != -1;"), 4, "Clock x compared to negative value. (-1)"},
      {edge("clock x;\n", "guard x != 1;"), 4, "Operator != not supported for clocks."},
      {edge("clock x, y;\n", "guard x != y;"), 4, "Operator != not supported for clocks."},
      {edge("clock x;\n", "assign x := -2;"), 4, "Clock x set to negative value. (-2)"},
      {model("clock x;\nurgent chan u;\n",
             "state a; init a;\ntrans a -> a { guard x > 1; sync u!; };"),
       5, "Clock guards are not allowed on urgent transitions."},
      {"process P { state a; init a; }\nsystem P,\nQ;", 3, "Type inconsistensy: Q not a process."},
      {"process P { state a; init a; }\nsystem a;", 2, "Type inconsistensy: a not a process."},
      {model("", "state a;\ncommit b;\ninit a;"), 3, "Unknown state b"},
      {model("", "state a;\nurgent P;\ninit a;"), 3, "Unknown state P"},
      {model("", "state a;\ninit c;"), 3, "Unknown state c"},
      {model("const D 1/(2-2);\n", "state a; init a;"),
       1, "Division by zero in constant expression."},
      {edge("clock x;\n", "guard x < 1073741823;"), 4, "Clock constant out of range."},
      // Beyond 2^20 the zone arithmetic could overflow while closing a matrix.
      {edge("clock x;\n", "guard x <= 1048577;"), 4, "Clock constant out of range."},
      {model("", "state a; init a; rate"), 2, "parse error"},
      {edge("int i;\n", "assign i += 1;"), 4, "parse error"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(errors(c.text), "Error at line " + std::to_string(c.line) + " : " + c.message + "\n")
        << c.text;
  // global.name cannot be declared; channels and clocks are no states; a channel name is taken;
  // only "+" may follow the second clock of a difference.
  for (const std::string& text : std::vector<std::string>{
           "int x;\nprocess P {\n int global.x;\n state s; init s; }\nsystem P;",
        "int x;\nprocess P {\n int[0,1] global.x;\n state s; init s; }\nsystem P;",
        "clock x;\nprocess P {\n state global.x, s; init s; }\nsystem P;",
        model("chan a;\n", "state s; init s;\ntrans s -> a {};"),
        model("clock x;\n", "state s; init s;\ntrans x -> s {};"),
        model("chan a;\nchan a;\n", "state s; init s;"),
        model("chan a;\nint a;\n", "state s; init s;"),
        edge("clock x, y;\n", "guard x <= y - 1;")})
    EXPECT_THAT(errors(text), testing::MatchesRegex("Error at line [2-4] : parse error\n")) << text;
  // At most 255 clocks, the reference clock included.
  std::string clocks = "clock";
  for (int k = 1; k <= 254; ++k) clocks += (k == 1 ? " c" : ", c") + std::to_string(k);
  accept(model(clocks + ";\n", "state a; init a;"));
  EXPECT_EQ(ClockInfo::count(), 255);
  EXPECT_EQ(errors(model(clocks + ";\nclock extra;\n", "state a; init a;")),
            "Error at line 2 : Too many clocks.\n");
}

TEST_F(ParserTest, StructureErrorsAreParseErrors) {
  const std::string p = "process P { state a; init a; }";
  for (const std::string& text : std::vector<std::string>{
           "", "system P;", p, p + "\nint x;\nsystem P;", p + "\nsystem P;\nsystem P;",
           p + "\nsystem P; hide P; hide P;", p + " system P", "const N = 3;\n" + p + "\nsystem P;",
           "process P { init a; state a; }\nsystem P;",
           "process P { state a; urgent a; commit a; init a; }\nsystem P;",
           "process P { state a; init a; trans a -> a {} }\nsystem P;",
           "process P { state a; init a; trans a -> a { assign; }; }\nsystem P;",
           "process P { state a; init a; trans a -> a { sync; guard; }; }\nsystem P;",
           "clock x;\nprocess P { state a; init a; trans a -> a { guard 1 < x; }; }\nsystem P;"})
    EXPECT_THAT(errors(text), HasSubstr("parse error")) << text;
}

TEST_F(ParserTest, RecoveryReportsSeveralErrors) {
  EXPECT_EQ(errors("int[5,1] a;\n"
                   "clock x;\n"
                   "int b c;\n"
                   "process P {\n"
                   "  state s { x <= -1 }, t;\n"
                   "  init s;\n"
                   "  trans s -> t { guard x != 1, x < -2; assign x := -1; },\n"
                   "        t -> u {};\n"
                   "}\n"
                   "system P, Q;\n"),
            "Error at line 1 : Empty variable domain.\n"
            "Error at line 3 : parse error\n"
            "Error at line 5 : RHS of invariant < 0.\n"
            "Error at line 7 : Operator != not supported for clocks.\n"
            "Error at line 7 : Clock x compared to negative value. (-2)\n"
            "Error at line 7 : Clock x set to negative value. (-1)\n"
            "Error at line 8 : Transition destination is not a state.\n");

  // Reading resumes in lists and declarations.
  std::string diagnostics = errors(
      "clock x;\n"
      "int i j;\n"  // 2: declaration
      "process P {\n"
      "  int k := ;\n"                          // 4: local declaration
      "  state a { x <= }, b, c { x <= 1 };\n"  // 5: state list
      "  init a;\n"
      "  trans a -> b { guard x <= , i == 1; },\n"     // 7: guard list
      "        b -> c { sync y!; assign x := 0; },\n"  // 8: sync clause
      "        c -> a { assign x := , i := 2; },\n"    // 9: assignment list
      "        a ->,\n"                                // 10: transition list
      "        c -> d {};\n"                           // 11: still checked
      "}\n"
      "system P;\n");
  EXPECT_EQ(diagnostics,
            "Error at line 2 : parse error\n"
            "Error at line 4 : parse error\n"
            "Error at line 5 : parse error\n"
            "Error at line 7 : parse error\n"
            "Error at line 8 : parse error\n"
            "Error at line 9 : parse error\n"
            "Error at line 10 : parse error\n"
            "Error at line 11 : Transition destination is not a state.\n");
}

TEST_F(ParserTest, LaterTransitionsTakeThePreviousSource) {
  Ref<System> system = accept(model("clock x;\n",
                                    "state a, b, c; init a;\n"
                                    "trans a -> b {}, -> c {}, b { x <= 4 } -> a {}, -> c {};"));
  ASSERT_TRUE(system);
  const Process* p = system->process(0);
  ASSERT_EQ(p->edgeCount(), 4);
  std::string ends;
  for (int k = 0; k < 4; ++k)
    ends += std::to_string(p->edge(k)->source()) + std::to_string(p->edge(k)->destination());
  EXPECT_EQ(ends, "01021012");
  // Bounds after a source name join that state's invariant.
  EXPECT_EQ(invariant(*system, 0, 1), "{ x<=4}");
}

TEST_F(ParserTest, LayoutInformationIsIgnored) {
  Ref<System> system = accept(
      "const W 5;\nclock x;\nchan c;\n"
      "process P [(1,2)] {\n"
      "  state a [(0,-1)] \"Start\" [(2, W)] { x <= 2 } [(-W,0)], b \"two\nlines\";\n"
      "  init a;\n"
      "  trans a { x <= 1 } [(1,1),(2,2)] -> [(3,3)] b\n"
      "    { guard x < 1 [(0,0)]; sync c! [(1,1)]; assign x := 0 [(2,2)]; },\n"
      "    b -> [] a { };\n"
      "}\n"
      "process Q { state s; init s; trans s -> s { sync c?; }; }\n"
      "system P, Q;\n");
  ASSERT_TRUE(system);
  EXPECT_EQ(invariant(*system, 0, 0), "{ x<=2, x<=1}");
  EXPECT_EQ(labels(*system, 0, 0), "{ guard x<1; sync c!; assign x:=0; }");
  // The two-line string does not count: the error is reported one line early.
  EXPECT_EQ(errors("process P { state a \"x\ny\"; init a; }\n\nsystem P;\nx"),
            "Error at line 4 : parse error\n");
}

TEST_F(ParserTest, SystemLineChoosesAndOrdersProcesses) {
  const char* processes =
      "process A { clock x; state s { x <= 7 }; init s; }\n"
      "process B { clock x; state s; init s; trans s -> s { guard x > 3; }; }\n"
      "process C { state s; init s; }\n";
  Ref<System> system = accept(std::string(processes) + "hide h, i;\nsystem C, B;\n");
  ASSERT_TRUE(system);
  ASSERT_EQ(system->processCount(), 2);
  EXPECT_EQ(system->process(0)->processSymbol(), 2);
  EXPECT_EQ(system->process(1)->processSymbol(), 1);
  // A's clock is declared although A is not in the system, but adds no maximal constant.
  ASSERT_EQ(ClockInfo::count(), 3);
  EXPECT_EQ(std::string(ClockInfo::name(1)) + " " + ClockInfo::name(2), "A.x B.x");
  EXPECT_STREQ(ClockInfo::name(3), "t(3)") << "numbers outside the table still print";
  EXPECT_EQ(ClockInfo::table().maxConstants, (std::vector<std::int32_t>{0, 0, 3}));

  accept(std::string(processes) + "system A; hide B;\n");
  ParseResult twice = parseSystem(std::string(processes) + "system A, A;\n");
  ASSERT_TRUE(twice.system);
  EXPECT_EQ(twice.system->processCount(), 2);
}

TEST_F(ParserTest, RejectedTextLeavesThePreviousTablesIntact) {
  Ref<System> good = accept(model("clock x;\nint[0,4] i;\nchan c;\n",
                                  "state a { x <= 5 }; init a;\n"
                                  "trans a -> a { guard x >= 3; assign i := i + 1, x := 0; };"));
  ASSERT_TRUE(good);
  // Everything the tables hold, as text.
  auto tables = [&] {
    std::ostringstream out;
    symbols().dump(out);
    channels().print(out);
    for (std::int32_t k = 0; k < integerVariables().size(); ++k) integerVariables().dump(out, k);
    for (int k = 0; k < ClockInfo::count(); ++k)
      out << ClockInfo::name(k) << ' ' << ClockInfo::maxConstants()[std::size_t(k)] << '\n';
    return out.str() + listing(*good);
  };
  std::string before = tables();
  std::string diagnostics = errors(
      "clock u, v, w;\nint[0,9] j, k[4];\nurgent chan d, e;\nconst N 4;\n"
      "process Z { clock z; state s { z <= 1 }; init s; }\nsystem Z, Y;\n");
  EXPECT_EQ(diagnostics, "Error at line 7 : Type inconsistensy: Y not a process.\n");

  EXPECT_EQ(tables(), before);
}

TEST_F(ParserTest, DeepNestingIsRefusedNotOverflowed) {
  // An expression may keep 10000 constructs open; a parenthesis opens three (the group, its
  // sum and its term), a unary minus one.
  auto nested = [](int n, const char* inner) {
    return std::string(std::size_t(n), '(') + inner + std::string(std::size_t(n), ')');
  };
  std::string deep(200000, '(');
  EXPECT_EQ(errors(model("int i;\n", "state a; init a;\ntrans a -> a { guard " + deep + "; };")),
            "Error at line 4 : parser stack overflow\n");
  EXPECT_EQ(errors("const N " + nested(3333, "1") + ";"),
            "Error at line 1 : parser stack overflow\n");
  EXPECT_EQ(errors("const N " + std::string(10000, '-') + "1;"),
            "Error at line 1 : parser stack overflow\n");
  accept("const N " + std::string(9997, '-') + "1;\n" + model("", "state a; init a;"));
  accept(model("const N " + nested(3332, "1") + ";\nint i;\n",
                "state a; init a;\ntrans a -> a { guard " + nested(3332, "i") + " == 1; };"));

  // A 400000-term sum in an assignment, and a 100000-term guard.
  std::string sum = "0", guard = "1";
  for (int k = 0; k < 400000; ++k) sum += "+1";
  for (int k = 0; k < 100000; ++k) guard += "*1-0";
  Ref<System> system = accept(model(
      "int k;\n", "state a; init a;\ntrans a -> a { guard " + guard + " == 1; assign k := " + sum +
                      "; };"));
  const Transition& transition = *system->process(0)->edge(0);
  auto* assign = static_cast<const IntegerAssign*>(transition.assignments()[0].get());
  auto* test = static_cast<const IntegerGuard*>(transition.guards()[0].get());
  EXPECT_EQ(assign->value()->eval(nullptr), 400000);
  EXPECT_TRUE(test->holds(nullptr));
}

}  // namespace

TEST_F(ParserTest, StrictReportsNameTheTokenWithItsPlaceAndAHint) {
  struct Case {
    std::string text, reports;
  } cases[] = {
      {edge("int i;\n", "assign i = 1;"),
       "4:25: unexpected '=': write ':=' to give a value, '==' to compare\n"},
      {edge("int i;\n", "guard i == 1 && i == 2;"),
       "4:29: unexpected '&&': write ',' between the constraints of a guard\n"},
      {edge("int i;\n", "guard y == 1;"), "4:22: unknown name 'y'\n"},
      {"int x == 3;\n" + model("", "state a; init a;"),
       "1:7: unexpected '==': write ':=' to give a value, '==' to compare\n"},
      {model("", "state a; init a;\ntrans a -> b { };"),
       "3:12: Transition destination is not a state: 'b'\n"},
      {"const N " + std::string(20000, '(') + "1;", "1:3341: parser stack overflow\n"},
  };
  for (const Case& c : cases) {
    ParseResult r = parseSystem(c.text, true);
    EXPECT_FALSE(r.system);
    EXPECT_EQ(r.diagnostics, c.reports) << c.text.substr(0, 80);
  }
}
