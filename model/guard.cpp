#include "model/guard.h"

#include <ostream>

#include "base/error.h"
#include "model/integer_expression.h"

void Guard::collectConstants(std::vector<std::int32_t>&, DiagonalGuards&) const {}
void Guard::collectClocks(std::int32_t, ClockSet&, ClockSet&) const {}

IntegerGuard::IntegerGuard() : op_(opNotEqual) {}

IntegerGuard::IntegerGuard(Ref<IntegerExpression> left, std::int32_t op,
                           Ref<IntegerExpression> right)
    : left_(std::move(left)), op_(op), right_(std::move(right)) {
  shallow_ = left_ && right_ && left_->height() <= IntegerExpression::shallowHeight &&
             right_->height() <= IntegerExpression::shallowHeight;
}

IntegerGuard::~IntegerGuard() = default;

bool IntegerGuard::holds(const GlobalState* state) const {
  // The common case without the tests for missing or deep operands.
  if (shallow_) return compare(left_->evaluate(state), op_, right_->evaluate(state));
  std::int32_t a = left_ ? left_->eval(state) : 0;
  std::int32_t b = right_ ? right_->eval(state) : 0;
  return compare(a, op_, b);
}

void IntegerGuard::unknownOperator() {
  internalError("IntegerGuard::eval() -- Unknown operation in guard.");
}

const char* IntegerGuard::operatorText(std::int32_t op) {
  static const char* const texts[] = {" >= ", " <= ", " < ", " > ", " == ", " != "};
  return op >= 0 && op <= 5 ? texts[op] : nullptr;
}

void IntegerGuard::print(std::ostream& out) const {
  if (left_)
    left_->print(out);
  else
    out << "???";
  const char* text = operatorText(op_);
  out << (text ? text : " ??? ");
  if (right_)
    right_->print(out);
  else
    out << "???";
}
