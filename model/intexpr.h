// model/intexpr.h: integer expressions evaluated against a state (guard operands, assigned
// values, array indices). Trees are immutable and share their operands through Ref.
#pragma once
#include <cstdint>
#include <iosfwd>

#include "model/integer.h"
#include "model/ref.h"

class GlobalState;

// Arithmetic wraps in 32-bit two's complement; a null operand counts as 0 and prints as "???".
class IntegerExpression : public Object {
 public:
  // Reads only the state's valuation; a null state or valuation reads every variable as the
  // value of an element outside its array.
  virtual std::int32_t eval(const GlobalState* state) const = 0;
  virtual void print(std::ostream& out) const = 0;
};

class ConstantExpression : public IntegerExpression {
 public:
  explicit ConstantExpression(std::int32_t value) : value_(value) {}
  std::int32_t eval(const GlobalState*) const override { return value_; }
  void print(std::ostream& out) const override;
  std::int32_t value() const { return value_; }

 private:
  std::int32_t value_;
};

// A scalar variable, or an element of an array variable when index is not null. The domain and
// cell position are taken from the variable table when the expression is made.
class VariableExpression : public IntegerExpression {
 public:
  VariableExpression(std::int32_t variable, std::int32_t symbolIndex,
                     Ref<IntegerExpression> index = nullptr);

  // An index outside the array reads the variable's default value.
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;

  // Wraps the value cyclically into [lo, hi] and writes it; an index outside the array, or a
  // cell the valuation does not have, changes nothing.
  void store(GlobalState* state, std::int32_t value) const;

  std::int32_t variable() const { return variable_; }
  std::int32_t symbolIndex() const { return symbolIndex_; }
  IntegerExpression* index() const { return index_.get(); }

 private:
  // The cell the expression designates in this state, or -1.
  std::int64_t cell(const GlobalState* state) const;

  std::int32_t variable_;
  std::int32_t symbolIndex_;
  Ref<IntegerExpression> index_;
  std::int32_t lo_ = 0, hi_ = 0, offset_ = 0, size_ = 0, default_ = 0;
};

// Common shape of the two-operand expressions.
class BinaryExpression : public IntegerExpression {
 public:
  BinaryExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : left_(std::move(left)), right_(std::move(right)) {}
  IntegerExpression* left() const { return left_.get(); }
  IntegerExpression* right() const { return right_.get(); }

 protected:
  std::int32_t leftValue(const GlobalState* state) const { return left_ ? left_->eval(state) : 0; }
  std::int32_t rightValue(const GlobalState* state) const {
    return right_ ? right_->eval(state) : 0;
  }
  // prefix left middle right ")"
  void printAs(std::ostream& out, const char* prefix, const char* middle) const;

  Ref<IntegerExpression> left_;
  Ref<IntegerExpression> right_;
};

// The smaller operand, the left one when equal.
class MinExpression : public BinaryExpression {
 public:
  using BinaryExpression::BinaryExpression;
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;
};

// The larger operand, the left one when equal.
class MaxExpression : public BinaryExpression {
 public:
  using BinaryExpression::BinaryExpression;
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;
};

class ProductExpression : public BinaryExpression {
 public:
  using BinaryExpression::BinaryExpression;
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;
};

class SumExpression : public BinaryExpression {
 public:
  using BinaryExpression::BinaryExpression;
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;
};

// Unary minus is a difference with the constant 0 on the left.
class DifferenceExpression : public BinaryExpression {
 public:
  using BinaryExpression::BinaryExpression;
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;
};

// Quotient rounded toward negative infinity; division by 0 gives 0.
class DivideExpression : public BinaryExpression {
 public:
  using BinaryExpression::BinaryExpression;
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;

  static std::int32_t floorDivide(std::int32_t a, std::int32_t b);
};

// condition ? then : else; only the chosen branch is evaluated.
class IfExpression : public IntegerExpression {
 public:
  IfExpression(Ref<IntegerGuard> condition, Ref<IntegerExpression> thenValue,
               Ref<IntegerExpression> elseValue)
      : condition_(std::move(condition)),
        then_(std::move(thenValue)),
        else_(std::move(elseValue)) {}
  std::int32_t eval(const GlobalState* state) const override;
  void print(std::ostream& out) const override;

  IntegerGuard* condition() const { return condition_.get(); }
  IntegerExpression* thenValue() const { return then_.get(); }
  IntegerExpression* elseValue() const { return else_.get(); }

 private:
  Ref<IntegerGuard> condition_;
  Ref<IntegerExpression> then_;
  Ref<IntegerExpression> else_;
};
