#include "model/integer.h"

#include <gtest/gtest.h>

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

// The last row: 2147483647 + 10 = 3 * 715827885 + 2.
TEST_F(IntegerModel, StoresWrapAroundTheDomainWithoutOverflow) {
  const std::int32_t min = INT32_MIN, max = INT32_MAX;
  struct Case {
    std::int32_t lo, hi, value, stored;
  } cases[] = {{0, 5, 6, 0},   {0, 5, -1, 5},        {0, 5, 13, 1},
               {0, 5, 5, 5},   {0, 5, -7, 5},        {3, 3, max, 3},
               {3, 3, min, 3}, {min, max, min, min}, {-10, -8, max, -8}};
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
