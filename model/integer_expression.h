// model/integer_expression.h: integer expressions evaluated against a state (guard operands, assigned
// values, array indices). Trees are immutable and share their operands through Ref.
#pragma once
#include <algorithm>
#include <cstdint>
#include <functional>
#include <iosfwd>

#include "model/guard.h"
#include "base/ref.h"

class GlobalState;
class VariableExpression;

// Told when a check's arithmetic leaves what the model declares: a value stored outside its
// variable's range (it wraps), or an array index outside the array (the element read is the
// default, the element written is none). The model's semantics is unchanged; the watch only
// learns of it, so that a modelling mistake does not pass unseen. The expression tells where:
// each node of a model belongs to one edge. The watch that listens is the current model tables'
// (ModelTables::rangeWatch); it is looked up only when a value or index is out of range, so
// evaluation within range pays nothing for it.
class RangeWatch {
 public:
  virtual ~RangeWatch() = default;
  virtual void outOfRange(const VariableExpression& target, std::int32_t value) = 0;
  virtual void outOfBounds(const VariableExpression& access, std::int32_t index) = 0;
};

// Arithmetic wraps in 32-bit two's complement; a null operand counts as 0 and prints as "???".
//
// Trees may be as deep as the reader allows (a long chain of sums is a tree as deep as it is
// long), so evaluation, printing and destruction never recurse over the whole tree: a tree no
// higher than shallowHeight is evaluated recursively (the fast path of guards and assignments),
// a higher one with an explicit stack.
class IntegerExpression : public Object {
 public:
  // The node shapes the tree walks know; extensions outside this file are leaves.
  enum class Shape : std::uint8_t {
    leaf,
    variable,
    minimum,
    maximum,
    product,
    sum,
    difference,
    quotient,
    conditional
  };
  static constexpr std::int32_t shallowHeight = 48;

  // Reads only the state's valuation; a null state or valuation reads every variable as the
  // value of an element outside its array.
  std::int32_t eval(const GlobalState* state) const {
    return height_ <= shallowHeight ? evaluate(state) : evaluateDeep(state);
  }
  // The fully parenthesised text.
  void print(std::ostream& out) const;
  // Destroys the tree below the last handle one node at a time.
  void release() override;
  // Calls visit on every node of the tree, this one first, without recursion.
  void visit(const std::function<void(const IntegerExpression&)>& visit) const;

  Shape shape() const { return shape_; }
  // Nodes on the longest path to a leaf, this one included.
  std::int32_t height() const { return height_; }

  // The recursive evaluation of this node; only called on trees no higher than shallowHeight,
  // whose operands are lower still, so an operand is evaluated with evaluate() as well.
  virtual std::int32_t evaluate(const GlobalState* state) const = 0;
  // The text of a leaf; the built-in inner nodes are printed by print().
  virtual void printLeaf(std::ostream& out) const;

 protected:
  explicit IntegerExpression(Shape shape = Shape::leaf, std::int32_t height = 1)
      : shape_(shape), height_(height) {}
  static std::int32_t heightOf(const IntegerExpression* e) { return e ? e->height_ : 0; }

 private:
  std::int32_t evaluateDeep(const GlobalState* state) const;

  Shape shape_;
  std::int32_t height_;
};

class ConstantExpression : public IntegerExpression {
 public:
  explicit ConstantExpression(std::int32_t value) : value_(value) {}
  std::int32_t evaluate(const GlobalState*) const override { return value_; }
  void printLeaf(std::ostream& out) const override;
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
  std::int32_t evaluate(const GlobalState* state) const override;
  // The value at the given index, the index already evaluated.
  std::int32_t valueAt(const GlobalState* state, std::int32_t index) const;

  // Wraps the value cyclically into [lo, hi] and writes it; an index outside the array, or a
  // cell the valuation does not have, changes nothing.
  void store(GlobalState* state, std::int32_t value) const;

  std::int32_t variable() const { return variable_; }
  std::int32_t symbolIndex() const { return symbolIndex_; }
  IntegerExpression* index() const { return index_.get(); }

 private:
  // The cell of the element at index i in this state, or -1.
  std::int64_t cell(const GlobalState* state, std::int32_t i) const;

  std::int32_t variable_;
  std::int32_t symbolIndex_;
  Ref<IntegerExpression> index_;
  std::int32_t lo_ = 0, hi_ = 0, offset_ = 0, size_ = 0, default_ = 0;
};

// Common shape of the two-operand expressions.
class BinaryExpression : public IntegerExpression {
 public:
  IntegerExpression* left() const { return left_.get(); }
  IntegerExpression* right() const { return right_.get(); }
  // The operation on the operands' values.
  std::int32_t combine(std::int32_t a, std::int32_t b) const;

 protected:
  BinaryExpression(Shape shape, Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : IntegerExpression(shape, 1 + std::max(heightOf(left.get()), heightOf(right.get()))),
        left_(std::move(left)),
        right_(std::move(right)) {}
  std::int32_t leftValue(const GlobalState* state) const {
    return left_ ? left_->evaluate(state) : 0;
  }
  std::int32_t rightValue(const GlobalState* state) const {
    return right_ ? right_->evaluate(state) : 0;
  }

  Ref<IntegerExpression> left_;
  Ref<IntegerExpression> right_;
};

// The smaller operand, the left one when equal.
class MinExpression : public BinaryExpression {
 public:
  MinExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : BinaryExpression(Shape::minimum, std::move(left), std::move(right)) {}
  std::int32_t evaluate(const GlobalState* state) const override;
};

// The larger operand, the left one when equal.
class MaxExpression : public BinaryExpression {
 public:
  MaxExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : BinaryExpression(Shape::maximum, std::move(left), std::move(right)) {}
  std::int32_t evaluate(const GlobalState* state) const override;
};

class ProductExpression : public BinaryExpression {
 public:
  ProductExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : BinaryExpression(Shape::product, std::move(left), std::move(right)) {}
  std::int32_t evaluate(const GlobalState* state) const override;
};

class SumExpression : public BinaryExpression {
 public:
  SumExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : BinaryExpression(Shape::sum, std::move(left), std::move(right)) {}
  std::int32_t evaluate(const GlobalState* state) const override;
};

// Unary minus is a difference with the constant 0 on the left.
class DifferenceExpression : public BinaryExpression {
 public:
  DifferenceExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : BinaryExpression(Shape::difference, std::move(left), std::move(right)) {}
  std::int32_t evaluate(const GlobalState* state) const override;
};

// Quotient rounded toward negative infinity; division by 0 gives 0.
class DivideExpression : public BinaryExpression {
 public:
  DivideExpression(Ref<IntegerExpression> left, Ref<IntegerExpression> right)
      : BinaryExpression(Shape::quotient, std::move(left), std::move(right)) {}
  std::int32_t evaluate(const GlobalState* state) const override;

  static std::int32_t floorDivide(std::int32_t a, std::int32_t b);
};

// condition ? then : else; only the chosen branch is evaluated.
class IfExpression : public IntegerExpression {
 public:
  IfExpression(Ref<IntegerGuard> condition, Ref<IntegerExpression> thenValue,
               Ref<IntegerExpression> elseValue)
      : IntegerExpression(Shape::conditional, 1 + heightBelow(condition.get(), thenValue.get(),
                                                              elseValue.get())),
        condition_(std::move(condition)),
        then_(std::move(thenValue)),
        else_(std::move(elseValue)) {}
  std::int32_t evaluate(const GlobalState* state) const override;

  IntegerGuard* condition() const { return condition_.get(); }
  IntegerExpression* thenValue() const { return then_.get(); }
  IntegerExpression* elseValue() const { return else_.get(); }

 private:
  static std::int32_t heightBelow(const IntegerGuard* condition, const IntegerExpression* a,
                                  const IntegerExpression* b);

  Ref<IntegerGuard> condition_;
  Ref<IntegerExpression> then_;
  Ref<IntegerExpression> else_;
};
