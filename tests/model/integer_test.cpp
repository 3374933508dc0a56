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
