#include "model/integer_expression.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "model/model_tables.h"
#include "tests/model/net_builder.h"

using namespace net;

namespace {
using Expr = Ref<IntegerExpression>;

template <class E>
Expr make(Expr left, Expr right) {
  return Expr(new E(std::move(left), std::move(right)));
}
std::string text(const IntegerExpression& e) {
  std::ostringstream out;
  e.print(out);
  return out.str();
}

// Counts its evaluations, to see which operands are evaluated.
class Counted : public IntegerExpression {
 public:
  explicit Counted(std::int32_t value) : value_(value) {}
  std::int32_t evaluate(const GlobalState*) const override {
    ++evaluations;
    return value_;
  }
  mutable int evaluations = 0;

 private:
  std::int32_t value_;
};

class Expressions : public testing::Test {
 protected:
  void SetUp() override { resetTables(); }
  void TearDown() override { resetTables(); }
};
}  // namespace

TEST(Division, RoundsTowardNegativeInfinity) {
  struct Case {
    std::int32_t a, b, q;
  } cases[] = {{7, 2, 3},   {-7, 2, -4}, {7, -2, -4},         {-7, -2, 3},
               {-8, 2, -4}, {5, 0, 0},   {0, -3, 0},          {-1, 5, -1},
               {1, -5, -1}, {INT32_MIN, -1, INT32_MIN},       {INT32_MIN, 3, -715827883}};
  for (const Case& c : cases)
    EXPECT_EQ(make<DivideExpression>(num(c.a), num(c.b))->eval(nullptr), c.q)
        << c.a << " / " << c.b;
}

TEST(Arithmetic, WrapsInThirtyTwoBitsAndMinMaxPickTheRightOperand) {
  EXPECT_EQ(make<SumExpression>(num(INT32_MAX), num(1))->eval(nullptr), INT32_MIN);
  EXPECT_EQ(make<DifferenceExpression>(num(INT32_MIN), num(1))->eval(nullptr), INT32_MAX);
  EXPECT_EQ(make<ProductExpression>(num(65536), num(65536))->eval(nullptr), 0);
  EXPECT_EQ(make<MinExpression>(num(-1), num(4))->eval(nullptr), -1);
  EXPECT_EQ(make<MinExpression>(num(5), num(4))->eval(nullptr), 4);
  EXPECT_EQ(make<MaxExpression>(num(-1), num(4))->eval(nullptr), 4);
  EXPECT_EQ(make<MaxExpression>(num(9), num(4))->eval(nullptr), 9);
}

TEST(Conditional, EvaluatesOnlyTheChosenBranch) {
  for (bool condition : {true, false}) {
    Ref<Counted> yes(new Counted(1)), no(new Counted(2));
    Ref<IntegerGuard> guard(new IntegerGuard(num(1), IntegerGuard::opEqual, num(condition)));
    IfExpression e(guard, yes, no);
    EXPECT_EQ(e.eval(nullptr), condition ? 1 : 2);
    EXPECT_EQ(yes->evaluations, condition ? 1 : 0);
    EXPECT_EQ(no->evaluations, condition ? 0 : 1);
  }
}

TEST_F(Expressions, VariablesReadTheValuationAsStoredEvenOutsideTheirDomain) {
  int x = intVar("x", 0, 10);
  int a = intVar("a", 0, 10, 3);
  Ref<GlobalState> state = valueState();
  (*state->valuation())[0] = 100;  // a state text may carry any value
  (*state->valuation())[1 + 2] = 9;
  EXPECT_EQ(var(x)->eval(state.get()), 100);
  EXPECT_EQ(var(a, make<SumExpression>(num(1), num(1)))->eval(state.get()), 9);
  EXPECT_EQ(text(*var(a, var(x))), "a[x]");
}

TEST_F(Expressions, ElementsOutsideTheArrayReadTheDefault) {
  int wide = intVar("wide", defaultIntegerLo, defaultIntegerHi, 3);
  int narrow = intVar("narrow", 2, 9, 3);
  int negative = intVar("negative", -9, -2, 3);
  Ref<GlobalState> state = valueState();
  for (std::int32_t k = 0; k < 9; ++k) (*state->valuation())[k] = 5;
  EXPECT_EQ(var(wide, num(5))->eval(state.get()), 0);
  EXPECT_EQ(var(negative, num(3))->eval(state.get()), -9);
  for (int index : {3, -1, INT32_MIN}) EXPECT_EQ(var(narrow, num(index))->eval(state.get()), 2);
  EXPECT_EQ(var(narrow, num(2))->eval(state.get()), 5);
  // Index -1 writes nothing either.
  var(narrow, num(-1))->store(state.get(), 4);
  for (std::int32_t k = 0; k < 9; ++k) EXPECT_EQ((*state->valuation())[k], 5);
}

TEST_F(Expressions, ShortOrMissingValuationsAreNeverOverrun) {
  intVar("x", 0, 9);
  int a = intVar("a", 1, 9, 4);
  Ref<GlobalState> shortState(GlobalState::create(1));
  shortState->setValuation(IntegerValuation::create(2));  // a state text with too few cells
  (*shortState->valuation())[1] = 6;
  EXPECT_EQ(var(a, num(0))->eval(shortState.get()), 6);
  EXPECT_EQ(var(a, num(3))->eval(shortState.get()), 1);
  var(a, num(3))->store(shortState.get(), 2);
  EXPECT_EQ(var(a, num(3))->eval(nullptr), 1);
  Ref<GlobalState> noValues(GlobalState::create(1));
  EXPECT_EQ(var(a, num(0))->eval(noValues.get()), 1);
  var(a, num(0))->store(noValues.get(), 3);
  EXPECT_EQ(noValues->valuation(), nullptr);
}

TEST_F(Expressions, UnknownVariableReadsZeroAndPrintsPlaceholder) {
  Ref<GlobalState> state = valueState();
  VariableExpression unknown(5, 0);
  EXPECT_EQ(unknown.eval(state.get()), 0);
  unknown.store(state.get(), 1);
  EXPECT_EQ(text(unknown), "???");
}

TEST_F(Expressions, TreesDeeperThanAnyStackAreEvaluatedPrintedAndDestroyed) {
  // Chains as long as a model may write; each row's value is worked out by hand.
  constexpr int n = 100000;
  int a = intVar("a", 0, 9, 3);
  Ref<GlobalState> state = valueState();
  for (std::int32_t k = 0; k < 3; ++k) (*state->valuation())[k] = (k + 1) % 3;  // a = {1,2,0}
  Ref<IntegerGuard> yes(new IntegerGuard(num(1), IntegerGuard::opEqual, num(1)));
  struct Row {
    const char* what;
    std::function<Expr(Expr)> wrap;
    std::int32_t start, value;
  } rows[] = {
      {"sum", [](Expr e) { return make<SumExpression>(e, num(1)); }, 0, n},
      {"difference", [](Expr e) { return make<DifferenceExpression>(e, num(1)); }, 0, -n},
      {"product", [](Expr e) { return make<ProductExpression>(num(1), e); }, 7, 7},
      {"quotient", [](Expr e) { return make<DivideExpression>(e, num(-1)); }, 5, 5},
      {"minimum", [](Expr e) { return make<MinExpression>(num(6), e); }, 4, 4},
      {"maximum", [](Expr e) { return make<MaxExpression>(e, num(3)); }, 4, 4},
      {"condition", [&](Expr e) { return Expr(new IfExpression(yes, e, num(9))); }, 2, 2},
      {"index", [&](Expr e) { return Expr(var(a, e)); }, 0, n % 3},  // a[a[...a[0]...]]
  };
  for (const Row& row : rows) {
    Expr e = num(row.start);
    for (int k = 0; k < n; ++k) e = row.wrap(e);
    EXPECT_EQ(e->eval(state.get()), row.value) << row.what;
  }
  Expr chain = num(0);
  for (int k = 0; k < n; ++k) chain = make<SumExpression>(chain, num(1));
  std::string printed = text(*chain);
  EXPECT_EQ(printed.size(), std::size_t(n + 1 + 5 * n));
  EXPECT_EQ(printed.substr(n - 2, 12), "((0 + 1) + 1");
}

TEST_F(Expressions, TheRangeWatchHearsOfWrapsAndStrayIndices) {
  int x = intVar("x", 0, 3);
  int a = intVar("a", 0, 9, 2);
  struct Log : RangeWatch {
    std::vector<std::string> events;
    void outOfRange(const VariableExpression& v, std::int32_t value) override {
      events.push_back(text(v) + " := " + std::to_string(value));
    }
    void outOfBounds(const VariableExpression& v, std::int32_t index) override {
      events.push_back(text(v) + " at " + std::to_string(index));
    }
  } log;
  Ref<GlobalState> state = valueState();
  Ref<Transition> edge(new Transition(
      0, {test(var(a, num(5)), IntegerGuard::opEqual, num(0)), test(var(a, num(1)), 0, num(0))},
      {assign(var(x), num(3)), assign(var(x), num(5)), assign(var(a, num(-1)), num(1))}));
  modelTables().rangeWatch = &log;
  edge->integerGuardsHold(state.get());
  edge->applyAssignments(state.get());
  modelTables().rangeWatch = nullptr;
  EXPECT_EQ(log.events, (std::vector<std::string>{"a[5] at 5", "x := 5", "a[-1] at -1"}));
  EXPECT_EQ(cell(state.get(), 0), 1);  // 5 wraps to 1 in [0, 3]
}
