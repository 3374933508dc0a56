#include "model/integer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/model/net_builder.h"

using namespace net;

namespace {
class IntegerModel : public testing::Test {
 protected:
  void SetUp() override { resetTables(); }
  void TearDown() override { resetTables(); }

  void store(GlobalState* state, Ref<VariableExpression> target, std::int32_t value) {
    IntegerAssign(std::move(target), num(value)).apply(state);
  }
};
}  // namespace

TEST_F(IntegerModel, CellsOfAllVariablesAreContiguousAndStartAtTheirDefaults) {
  EXPECT_EQ(intVar("a", defaultIntegerLo, defaultIntegerHi), 0);
  EXPECT_EQ(intVar("arr", 1, 9, 3), 1);
  EXPECT_EQ(intVar("b", -5, -1), 2);
  EXPECT_EQ(integerVariables()[2].offset, 4);
  EXPECT_EQ(integerVariables().cellCount(), 5);
  EXPECT_EQ(integerVariables().find(3), nullptr);
  EXPECT_EQ(integerVariables().find(-1), nullptr);

  IntegerValuation* filled = integerVariables().createValuation(true);
  IntegerValuation* zero = integerVariables().createValuation(false);
  ASSERT_EQ(filled->size(), 5);
  EXPECT_EQ((*filled)[0], 0) << "zero when the domain holds it";
  EXPECT_EQ((*filled)[3], 1) << "else the lower bound";
  EXPECT_EQ((*filled)[4], -5);
  EXPECT_EQ((*zero)[4], 0);
  IntegerValuation::destroy(filled);
  IntegerValuation::destroy(zero);
}

TEST_F(IntegerModel, LocalVariablesAreNamedAfterTheirProcess) {
  symbols().declare("P", processKind, 1);
  symbols().newFrame();
  symbols().declare("x", integerKind, 0);
  integerVariables().declare(symbols().indexOf("x"), symbols().indexOf("P"), 0, 1, 0, 1);
  symbols().popFrame();
  intVar("x", 0, 1);
  EXPECT_EQ(integerVariables()[0].name, "P.x");
  EXPECT_EQ(integerVariables()[1].name, "x");
  std::ostringstream out;
  integerVariables().dump(out, 0);
  EXPECT_EQ(out.str(), "Integer #0 -- P.x (0-0)\n  Domain: [0, 1] = 0\n");
}

TEST_F(IntegerModel, StoresWrapAroundTheDomainWithoutOverflow) {
  struct Case {
    std::int32_t lo, hi, value, stored;
  } cases[] = {{0, 5, 6, 0},
               {0, 5, -1, 5},
               {0, 5, 13, 1},
               {0, 5, 5, 5},
               {0, 5, -7, 5},
               {3, 3, INT32_MAX, 3},
               {3, 3, INT32_MIN, 3},
               {INT32_MIN, INT32_MAX, INT32_MIN, INT32_MIN},
               {-10, -8, INT32_MAX, -8}};  // 2147483647 + 10 = 3 * 715827885 + 2
  for (const Case& c : cases) {
    resetTables();
    int v = intVar("v", c.lo, c.hi);
    Ref<GlobalState> state = valueState();
    store(state.get(), var(v), c.value);
    EXPECT_EQ(cell(state.get(), 0), c.stored) << "[" << c.lo << "," << c.hi << "] := " << c.value;
  }
}

TEST_F(IntegerModel, StoresOutsideTheArrayChangeNothing) {
  int a = intVar("a", 0, 9, 3);
  intVar("after", 0, 9);
  Ref<GlobalState> state = valueState();
  store(state.get(), var(a, num(2)), 7);
  for (std::int32_t index : {3, -1, 100, INT32_MIN}) {
    store(state.get(), var(a, num(index)), 4);
    for (std::int32_t k = 0; k < 4; ++k) EXPECT_EQ(cell(state.get(), k), k == 2 ? 7 : 0) << index;
  }
}

TEST_F(IntegerModel, GuardOperators) {
  struct Case {
    std::int32_t a, op, b;
    bool holds;
  } cases[] = {{3, 0, 3, true}, {2, 0, 3, false}, {3, 1, 3, true},  {4, 1, 3, false},
               {2, 2, 3, true}, {3, 2, 3, false}, {3, 3, 3, false}, {4, 3, 3, true},
               {3, 4, 3, true}, {3, 4, 4, false}, {3, 5, 4, true},  {3, 5, 3, false}};
  for (const Case& c : cases) {
    IntegerGuard guard(num(c.a), c.op, num(c.b));
    EXPECT_EQ(guard.apply(nullptr), c.holds) << c.a << IntegerGuard::operatorText(c.op) << c.b;
  }
}

TEST(IntegerGuardDeathTest, UnknownOperatorIsABug) {
  IntegerGuard guard(Ref<IntegerExpression>(new ConstantExpression(1)), 6,
                     Ref<IntegerExpression>(new ConstantExpression(1)));
  EXPECT_EXIT(guard.holds(nullptr), testing::ExitedWithCode(255),
              "Quorix BUG: IntegerGuard::eval\\(\\) -- Unknown operation in guard.");
}

TEST_F(IntegerModel, LabelsPrintReadably) {
  int x = intVar("x", 0, 10);
  int a = intVar("a", 0, 10, 2);
  std::ostringstream out;
  IntegerGuard(var(x), IntegerGuard::opLessEqual, num(4)).print(out);
  out << '|';
  IntegerAssign(var(a, num(1)), Ref<IntegerExpression>(new SumExpression(var(x), num(1))))
      .print(out);
  out << '|';
  IntegerGuard().print(out);
  out << '|';
  IntegerAssign().print(out);
  EXPECT_EQ(out.str(), "x <= 4|a[1] := (x + 1)|??? != ???|??? := ???");
}

TEST(IntegerValuations, CompareCellByCell) {
  IntegerValuation* none = IntegerValuation::create(0);
  IntegerValuation* a = IntegerValuation::create(3);
  IntegerValuation* b = IntegerValuation::copy(a);
  EXPECT_EQ(IntegerValuation::equal(nullptr, none), 4);
  EXPECT_EQ(IntegerValuation::equal(a, b), 4);
  (*b)[2] = -1;
  EXPECT_EQ(IntegerValuation::equal(a, b), 0);
  EXPECT_EQ(IntegerValuation::equal(b, a), 0);
  EXPECT_EQ(IntegerValuation::equal(a, none), 0) << "different sizes";
  EXPECT_EQ(IntegerValuation::copy(nullptr), nullptr);
  for (IntegerValuation* v : {none, a, b}) IntegerValuation::destroy(v);
  IntegerValuation::destroy(nullptr);
}

TEST_F(IntegerModel, ValuationsPrintAsListAndConjunction) {
  int x = intVar("x", -5, 5);
  int a = intVar("a", 0, 9, 2);
  Ref<GlobalState> state = valueState();
  store(state.get(), var(x), -3);
  store(state.get(), var(a, num(1)), 8);
  std::ostringstream list, conjunction;
  integerVariables().print(list, state->valuation());
  integerVariables().printConjunction(conjunction, state->valuation());
  EXPECT_EQ(list.str(), "x=-3 a={0,8} ");
  EXPECT_EQ(conjunction.str(), " and x==-3 and a[0]==0 and a[1]==8");
}
