#include "model/assignment.h"

#include <ostream>

#include "model/integer_expression.h"

void Assignment::release(Zone*) const {}
bool Assignment::constrain(Zone*) const { return true; }
void Assignment::collectClocks(std::int32_t, ClockSet&, ClockSet&) const {}

IntegerAssign::IntegerAssign() = default;

IntegerAssign::IntegerAssign(Ref<VariableExpression> target, Ref<IntegerExpression> value)
    : target_(std::move(target)), value_(std::move(value)) {
  shallow_ = target_ && value_ && value_->height() <= IntegerExpression::shallowHeight;
}

IntegerAssign::~IntegerAssign() = default;

void IntegerAssign::apply(GlobalState* state) const {
  if (shallow_) return target_->store(state, value_->evaluate(state));
  if (!target_) return;
  target_->store(state, value_ ? value_->eval(state) : 0);
}

void IntegerAssign::print(std::ostream& out) const {
  if (target_)
    target_->print(out);
  else
    out << "???";
  out << " := ";
  if (value_)
    value_->print(out);
  else
    out << "???";
}
