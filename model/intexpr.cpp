#include "model/intexpr.h"

#include <ostream>

#include "model/globstat.h"

namespace {
// Two's complement arithmetic without the undefined behaviour of signed overflow.
std::int32_t wrap(std::uint32_t value) { return std::int32_t(value); }

void printOperand(std::ostream& out, const IntegerExpression* operand) {
  if (operand)
    operand->print(out);
  else
    out << "???";
}
}  // namespace

void ConstantExpression::print(std::ostream& out) const { out << value_; }

VariableExpression::VariableExpression(std::int32_t variable, std::int32_t symbolIndex,
                                       Ref<IntegerExpression> index)
    : variable_(variable), symbolIndex_(symbolIndex), index_(std::move(index)) {
  if (const IntegerVariable* v = integerVariables().find(variable)) {
    lo_ = v->lo;
    hi_ = v->hi;
    offset_ = v->offset;
    size_ = v->size;
    default_ = defaultIntegerValue(lo_, hi_);
  }
}

std::int64_t VariableExpression::cell(const GlobalState* state) const {
  std::int32_t i = index_ ? index_->eval(state) : 0;
  if (i < 0 || i >= size_ || !state) return -1;
  const IntegerValuation* valuation = state->valuation();
  std::int64_t cell = std::int64_t(offset_) + i;
  if (!valuation || cell >= valuation->size()) return -1;
  return cell;
}

std::int32_t VariableExpression::eval(const GlobalState* state) const {
  std::int64_t c = cell(state);
  return c < 0 ? default_ : (*state->valuation())[std::int32_t(c)];
}

void VariableExpression::store(GlobalState* state, std::int32_t value) const {
  std::int64_t c = cell(state);
  if (c < 0) return;
  // Cyclic wrap into [lo, hi], done by remainder so that far-off values cost nothing.
  std::int64_t range = std::int64_t(hi_) - lo_ + 1;
  if (range > 0 && (value < lo_ || value > hi_)) {
    std::int64_t shift = (std::int64_t(value) - lo_) % range;
    if (shift < 0) shift += range;
    value = std::int32_t(lo_ + shift);
  }
  (*state->valuation())[std::int32_t(c)] = value;
}

void VariableExpression::print(std::ostream& out) const {
  const IntegerVariable* v = integerVariables().find(variable_);
  out << (v ? v->name.c_str() : "???");
  if (index_) {
    out << '[';
    index_->print(out);
    out << ']';
  }
}

void BinaryExpression::printAs(std::ostream& out, const char* prefix, const char* middle) const {
  out << prefix;
  printOperand(out, left_.get());
  out << middle;
  printOperand(out, right_.get());
  out << ')';
}

std::int32_t MinExpression::eval(const GlobalState* state) const {
  std::int32_t b = rightValue(state);
  std::int32_t a = leftValue(state);
  return b < a ? b : a;
}

void MinExpression::print(std::ostream& out) const { printAs(out, "min(", " , "); }

std::int32_t MaxExpression::eval(const GlobalState* state) const {
  std::int32_t b = rightValue(state);
  std::int32_t a = leftValue(state);
  return b > a ? b : a;
}

void MaxExpression::print(std::ostream& out) const { printAs(out, "max(", " , "); }

std::int32_t ProductExpression::eval(const GlobalState* state) const {
  return wrap(std::uint32_t(leftValue(state)) * std::uint32_t(rightValue(state)));
}

void ProductExpression::print(std::ostream& out) const { printAs(out, "(", " * "); }

std::int32_t SumExpression::eval(const GlobalState* state) const {
  return wrap(std::uint32_t(leftValue(state)) + std::uint32_t(rightValue(state)));
}

void SumExpression::print(std::ostream& out) const { printAs(out, "(", " + "); }

std::int32_t DifferenceExpression::eval(const GlobalState* state) const {
  return wrap(std::uint32_t(leftValue(state)) - std::uint32_t(rightValue(state)));
}

void DifferenceExpression::print(std::ostream& out) const { printAs(out, "(", " - "); }

std::int32_t DivideExpression::floorDivide(std::int32_t a, std::int32_t b) {
  if (b == 0) return 0;
  // In 64 bits, so that the smallest value divided by -1 wraps instead of trapping.
  std::int64_t x = a, y = b;
  std::int64_t q = x / y;
  if ((x < 0) != (y < 0) && q * y != x) --q;
  return wrap(std::uint32_t(std::uint64_t(q)));
}

std::int32_t DivideExpression::eval(const GlobalState* state) const {
  std::int32_t a = leftValue(state);
  return floorDivide(a, rightValue(state));
}

void DivideExpression::print(std::ostream& out) const { printAs(out, "(", " / "); }

std::int32_t IfExpression::eval(const GlobalState* state) const {
  bool holds = condition_ && condition_->holds(state);
  const IntegerExpression* branch = holds ? then_.get() : else_.get();
  return branch ? branch->eval(state) : 0;
}

void IfExpression::print(std::ostream& out) const {
  out << '(';
  if (condition_)
    condition_->print(out);
  else
    out << "???";
  out << '?';
  printOperand(out, then_.get());
  out << ':';
  printOperand(out, else_.get());
  out << ')';
}
