// model/guard.h: the conditions on edges and in invariants: the abstract Guard and the integer
// comparison; clock guards are in model/clock.h.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <set>
#include <vector>

#include "base/ref.h"

class GlobalState;
class IntegerExpression;
class DiagonalGuards;  // the ordered set of diagonal clock guards, kept with the clock table

// Clock numbers, ordered.
using ClockSet = std::set<std::int32_t>;

// A condition on an edge or in an invariant. Integer guards test the valuation; clock guards
// restrict the zone.
class Guard : public Object {
 public:
  virtual std::int32_t kind() const = 0;  // 5 integer, 4 clock
  // Restricts the state to the guard; false when it fails. Integer guards change nothing.
  virtual bool apply(GlobalState* state) const = 0;
  virtual void print(std::ostream& out) const = 0;
  // Raises the maximal constant of every clock the guard compares (one entry per clock) and
  // records diagonal guards.
  virtual void collectConstants(std::vector<std::int32_t>& maxConstants,
                                DiagonalGuards& diagonals) const;
  // Adds the clocks the guard reads to tested; owner is the process number.
  virtual void collectClocks(std::int32_t owner, ClockSet& tested, ClockSet& reset) const;
};

// left op right over integer expressions.
class IntegerGuard : public Guard {
 public:
  enum Operator : std::int32_t {
    opGreaterEqual = 0,
    opLessEqual = 1,
    opLess = 2,
    opGreater = 3,
    opEqual = 4,
    opNotEqual = 5
  };

  IntegerGuard();  // null operands, operator !=
  IntegerGuard(Ref<IntegerExpression> left, std::int32_t op, Ref<IntegerExpression> right);
  ~IntegerGuard() override;

  std::int32_t kind() const override { return 5; }
  bool apply(GlobalState* state) const override { return holds(state); }
  void print(std::ostream& out) const override;

  // The comparison in the state; an unknown operator is an internal error.
  bool holds(const GlobalState* state) const;
  // a op b; an unknown operator is an internal error.
  static bool compare(std::int32_t a, std::int32_t op, std::int32_t b) {
    switch (op) {
      case opGreaterEqual:
        return a >= b;
      case opLessEqual:
        return a <= b;
      case opLess:
        return a < b;
      case opGreater:
        return a > b;
      case opEqual:
        return a == b;
      case opNotEqual:
        return a != b;
    }
    unknownOperator();
  }

  IntegerExpression* left() const { return left_.get(); }
  std::int32_t op() const { return op_; }
  IntegerExpression* right() const { return right_.get(); }

  static const char* operatorText(std::int32_t op);  // " >= " ... " != ", null when unknown

 private:
  [[noreturn]] static void unknownOperator();

  Ref<IntegerExpression> left_;
  std::int32_t op_;
  Ref<IntegerExpression> right_;
  bool shallow_ = false;  // both operands present and evaluated recursively
};
