#include "model/integer.h"

#include <gtest/gtest.h>

#include <sstream>

#include "model/globstat.h"
#include "model/intexpr.h"
#include "model/symtable.h"

namespace {
class IntegerModel : public testing::Test {
 protected:
  void SetUp() override {
    symbols() = SymbolTable();
    integerVariables() = IntegerVariables();
  }
  void TearDown() override {
    GlobalState::destroy(state_);
    SetUp();
  }

  // What the reader does for a declaration: the symbol, then the variable record.
  static std::int32_t declare(const char* name, std::int32_t lo, std::int32_t hi,
                              std::int32_t size = 1, std::int32_t process = -1) {
    std::int32_t number = integerVariables().size();
    symbols().declare(name, integerKind, number);
    return integerVariables().declare(symbols().indexOf(name), process, lo, hi,
                                      defaultIntegerValue(lo, hi), size);
  }
  // A one-process state holding the initial values.
  GlobalState* state() {
    if (!state_) {
      state_ = GlobalState::create(1);
      state_->setValuation(integerVariables().createValuation(true));
    }
    return state_;
  }
  static Ref<VariableExpression> var(std::int32_t number, Ref<IntegerExpression> index = nullptr) {
    return Ref<VariableExpression>(
        new VariableExpression(number, integerVariables()[number].symbolIndex, std::move(index)));
  }
  static Ref<IntegerExpression> num(std::int32_t value) {
    return Ref<IntegerExpression>(new ConstantExpression(value));
  }
  void assign(Ref<VariableExpression> target, std::int32_t value) {
    IntegerAssign(std::move(target), num(value)).apply(state());
  }
  std::int32_t cell(std::int32_t k) { return (*state()->valuation())[k]; }

  GlobalState* state_ = nullptr;
};
}  // namespace

TEST(IntegerDefaults, InitialValueIsZeroOrTheLowerBound) {
  EXPECT_EQ(defaultIntegerLo, -32767);
  EXPECT_EQ(defaultIntegerHi, 32767);
  EXPECT_EQ(defaultIntegerValue(defaultIntegerLo, defaultIntegerHi), 0);
  EXPECT_EQ(defaultIntegerValue(1, 5), 1);
  EXPECT_EQ(defaultIntegerValue(-5, -1), -5);
  EXPECT_EQ(defaultIntegerValue(0, 0), 0);
}

TEST_F(IntegerModel, CellsOfAllVariablesAreContiguous) {
  EXPECT_EQ(declare("a", 0, 5), 0);
  EXPECT_EQ(declare("arr", 1, 9, 3), 1);
  EXPECT_EQ(declare("b", -5, -1), 2);
  EXPECT_EQ(integerVariables()[1].offset, 1);
  EXPECT_EQ(integerVariables()[2].offset, 4);
  EXPECT_EQ(integerVariables().cellCount(), 5);
  EXPECT_EQ(integerVariables().find(3), nullptr);
  EXPECT_EQ(integerVariables().find(-1), nullptr);

  IntegerValuation* filled = integerVariables().createValuation(true);
  IntegerValuation* zero = integerVariables().createValuation(false);
  ASSERT_EQ(filled->size(), 5);
  EXPECT_EQ((*filled)[0], 0);
  EXPECT_EQ((*filled)[2], 1);
  EXPECT_EQ((*filled)[4], -5);
  EXPECT_EQ((*zero)[4], 0);
  IntegerValuation::destroy(filled);
  IntegerValuation::destroy(zero);
}

TEST_F(IntegerModel, LocalVariablesAreNamedAfterTheirProcess) {
  symbols().declare("P", processKind, 1);
  symbols().newFrame();
  declare("x", 0, 1, 1, symbols().indexOf("P"));
  symbols().popFrame();
  declare("x", 0, 1);
  EXPECT_EQ(integerVariables()[0].name, "P.x");
  EXPECT_EQ(integerVariables()[1].name, "x");
  std::ostringstream out;
  integerVariables().dump(out, 0);
  EXPECT_EQ(out.str(), "Integer #0 -- P.x (0-0)\n  Domain: [0, 1] = 0\n");
}

TEST_F(IntegerModel, StoresWrapAroundTheDomain) {
  std::int32_t v = declare("v", 0, 5);
  for (auto [value, stored] : {std::pair{6, 0}, {-1, 5}, {13, 1}, {5, 5}, {0, 0}, {-7, 5}}) {
    assign(var(v), value);
    EXPECT_EQ(cell(0), stored) << value;
  }
}

TEST_F(IntegerModel, FarValuesWrapWithoutOverflow) {
  std::int32_t one = declare("one", 3, 3);
  std::int32_t full = declare("full", INT32_MIN, INT32_MAX);
  std::int32_t neg = declare("neg", -10, -8);
  assign(var(one), INT32_MAX);
  EXPECT_EQ(cell(0), 3);
  assign(var(one), INT32_MIN);
  EXPECT_EQ(cell(0), 3);
  assign(var(full), INT32_MIN);
  EXPECT_EQ(cell(1), INT32_MIN);
  assign(var(neg), INT32_MAX);  // 2147483647 + 10 = 2147483657 = 3 * 715827885 + 2
  EXPECT_EQ(cell(2), -8);
}

TEST_F(IntegerModel, StoresOutsideTheArrayChangeNothing) {
  std::int32_t a = declare("a", 0, 9, 3);
  declare("after", 0, 9);
  assign(var(a, num(2)), 7);
  EXPECT_EQ(cell(2), 7);
  for (std::int32_t index : {3, -1, 100, INT32_MIN}) {
    assign(var(a, num(index)), 4);
    for (std::int32_t k = 0; k < 4; ++k) EXPECT_EQ(cell(k), k == 2 ? 7 : 0) << index;
  }
}

TEST_F(IntegerModel, ValueIsEvaluatedBeforeTheStore) {
  std::int32_t x = declare("x", 0, 100);
  assign(var(x), 10);
  IntegerAssign(var(x), Ref<IntegerExpression>(new SumExpression(var(x), num(1)))).apply(state());
  EXPECT_EQ(cell(0), 11);
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
    EXPECT_EQ(guard.apply(state()), c.holds) << c.a << IntegerGuard::operatorText(c.op) << c.b;
    EXPECT_EQ(guard.kind(), 5);
  }
}

TEST_F(IntegerModel, GuardReadsTheState) {
  std::int32_t x = declare("x", 0, 10);
  IntegerGuard guard(var(x), IntegerGuard::opGreater, num(2));
  EXPECT_FALSE(guard.apply(state()));
  assign(var(x), 3);
  EXPECT_TRUE(guard.apply(state()));
  EXPECT_EQ(cell(0), 3) << "a guard changes nothing";
}

TEST(IntegerGuardDeathTest, UnknownOperatorIsABug) {
  IntegerGuard guard(Ref<IntegerExpression>(new ConstantExpression(1)), 6,
                     Ref<IntegerExpression>(new ConstantExpression(1)));
  EXPECT_EXIT(guard.holds(nullptr), testing::ExitedWithCode(255),
              "Quorix BUG: IntegerGuard::eval\\(\\) -- Unknown operation in guard.");
}

TEST_F(IntegerModel, LabelsPrintReadably) {
  std::int32_t x = declare("x", 0, 10);
  std::int32_t a = declare("a", 0, 10, 2);
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

TEST_F(IntegerModel, AssignmentsBackwardsLeaveStatesAlone) {
  std::int32_t x = declare("x", 0, 10);
  IntegerAssign assignment(var(x), num(4));
  EXPECT_EQ(assignment.kind(), 5);
  EXPECT_TRUE(assignment.constrain(state()));
  assignment.release(state());
  EXPECT_TRUE(assignment.constrain(static_cast<Region*>(nullptr)));
  EXPECT_EQ(cell(0), 0);
  ClockSet tested, reset;
  assignment.collectClocks(0, tested, reset);
  EXPECT_TRUE(tested.empty() && reset.empty());
}

TEST(IntegerValuations, CompareCellByCell) {
  IntegerValuation* none1 = IntegerValuation::create(0);
  IntegerValuation* none2 = IntegerValuation::create(0);
  EXPECT_EQ(IntegerValuation::equal(none1, none2), 4);
  EXPECT_EQ(IntegerValuation::equal(nullptr, none2), 4);

  IntegerValuation* a = IntegerValuation::create(3);
  IntegerValuation* b = IntegerValuation::copy(a);
  EXPECT_EQ(IntegerValuation::equal(a, b), 4);
  (*b)[2] = -1;
  EXPECT_EQ(IntegerValuation::equal(a, b), 0);
  EXPECT_EQ(IntegerValuation::equal(b, a), 0);
  IntegerValuation* c = IntegerValuation::copy(b);
  EXPECT_EQ((*c)[2], -1);
  EXPECT_EQ(IntegerValuation::equal(c, b), 4);
  EXPECT_EQ(IntegerValuation::equal(a, none1), 0) << "different sizes";
  EXPECT_EQ(IntegerValuation::copy(nullptr), nullptr);
  for (IntegerValuation* v : {none1, none2, a, b, c}) IntegerValuation::destroy(v);
  IntegerValuation::destroy(nullptr);
}

TEST_F(IntegerModel, ValuationsPrintAsListAndConjunction) {
  std::int32_t x = declare("x", -5, 5);
  std::int32_t a = declare("a", 0, 9, 2);
  assign(var(x), -3);
  assign(var(a, num(1)), 8);
  std::ostringstream list, conjunction;
  integerVariables().print(list, state()->valuation());
  integerVariables().printConjunction(conjunction, state()->valuation());
  EXPECT_EQ(list.str(), "x=-3 a={0,8} ");
  EXPECT_EQ(conjunction.str(), " and x==-3 and a[0]==0 and a[1]==8");
}

TEST_F(IntegerModel, SavedTableComesBack) {
  declare("x", 0, 1);
  IntegerVariables saved = integerVariables();
  integerVariables() = IntegerVariables();
  EXPECT_EQ(integerVariables().size(), 0);
  EXPECT_EQ(integerVariables().cellCount(), 0);
  integerVariables() = saved;
  EXPECT_EQ(integerVariables()[0].name, "x");
}
