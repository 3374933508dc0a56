// model/integer.h: bounded integer variables, their valuations, and the edge labels: the
// abstract Guard and Assignment with their integer implementations.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <set>
#include <string>
#include <vector>

#include "base/ref.h"

class GlobalState;
class Zone;
class IntegerExpression;
class VariableExpression;
class DiagonalGuards;  // the ordered set of diagonal clock guards, kept with the clock table

// Clock numbers, ordered.
using ClockSet = std::set<std::int32_t>;

// Domain of a variable declared without a range.
constexpr std::int32_t defaultIntegerLo = -32767;
constexpr std::int32_t defaultIntegerHi = 32767;

// The value a variable starts with when its declaration gives none, and the value read from an
// array element outside the array: 0 when the domain holds 0, else its lower bound.
inline std::int32_t defaultIntegerValue(std::int32_t lo, std::int32_t hi) {
  return lo <= 0 && 0 <= hi ? 0 : lo;
}

struct IntegerVariable {
  std::int32_t symbolIndex;  // index of its symbol (integer kind)
  std::int32_t process;      // index of the declaring process symbol, -1 for a global
  std::int32_t lo;
  std::int32_t hi;
  std::int32_t init;    // initial value of every cell
  std::int32_t offset;  // first cell in the valuation
  std::int32_t size;    // 1 for a scalar, N for an array of N
  std::string name;     // "x", or "P.x" for a variable local to process P
};

// The values of all integer cells of a state: one block, a two-word header and the cells.
class IntegerValuation {
 public:
  // Cells start at 0. Blocks go back through destroy().
  static IntegerValuation* create(std::int32_t cells);
  static IntegerValuation* copy(const IntegerValuation* from);  // null gives null
  static void destroy(IntegerValuation* valuation);             // null does nothing
  // 4 (equal) when both hold the same cells, 0 (no inclusion) otherwise. Two valuations
  // without cells, or two nulls, are equal.
  static int equal(const IntegerValuation* a, const IntegerValuation* b);

  std::int32_t size() const { return count_; }
  std::int32_t* cells() { return reinterpret_cast<std::int32_t*>(this + 1); }
  const std::int32_t* cells() const { return reinterpret_cast<const std::int32_t*>(this + 1); }
  std::int32_t& operator[](std::int32_t cell) { return cells()[cell]; }
  std::int32_t operator[](std::int32_t cell) const { return cells()[cell]; }

  IntegerValuation(const IntegerValuation&) = delete;
  IntegerValuation& operator=(const IntegerValuation&) = delete;

 private:
  explicit IntegerValuation(std::int32_t cells) : count_(cells) {}
  ~IntegerValuation() = default;

  std::int32_t count_;
  std::int32_t dataOffset_ = 2;  // words from the start of the block to the first cell
};

// The current model's table of integer variables in declaration order; a value, saved by copying
// and reset by assigning a fresh one:
//   IntegerVariables saved = integerVariables();  integerVariables() = IntegerVariables();
class IntegerVariables {
 public:
  // Appends a variable after the cells of the previous one and returns its number. The symbol
  // (integer kind) and the process symbol must already be declared: they give the name.
  std::int32_t declare(std::int32_t symbolIndex, std::int32_t process, std::int32_t lo,
                       std::int32_t hi, std::int32_t init, std::int32_t size);

  std::int32_t size() const { return std::int32_t(variables_.size()); }
  const IntegerVariable& operator[](std::int32_t number) const { return variables_[number]; }
  // Null for a number outside the table.
  const IntegerVariable* find(std::int32_t number) const;
  // Cells of all variables together.
  std::int32_t cellCount() const;

  // A valuation of the given number of cells; with fill, every cell holds its variable's
  // initial value, otherwise 0.
  IntegerValuation* createValuation(std::int32_t cells, bool fill) const;
  IntegerValuation* createValuation(bool fill) const { return createValuation(cellCount(), fill); }

  // "x=1 a={0,2} " (each variable followed by a space).
  void print(std::ostream& out, const IntegerValuation* valuation) const;
  // " and x==1 and a[0]==0 and a[1]==2"
  void printConjunction(std::ostream& out, const IntegerValuation* valuation) const;
  // "Integer #n -- name (first-last)" and "  Domain: [lo, hi] = init", each on its own line.
  void dump(std::ostream& out, std::int32_t number) const;

 private:
  std::vector<IntegerVariable> variables_;
};

IntegerVariables& integerVariables();

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

// An update on an edge: integer variables get values, clocks get reset.
class Assignment : public Object {
 public:
  using Object::release;
  virtual std::int32_t kind() const = 0;  // 5 integer, 4 clock
  virtual void apply(GlobalState* state) const = 0;
  // The backward step through the update: constrain to the values it leaves behind, then
  // release what it overwrote. constrain is false when the zone becomes empty.
  virtual void release(GlobalState* state) const = 0;
  virtual bool constrain(GlobalState* state) const = 0;
  virtual void release(Zone* zone) const;
  virtual bool constrain(Zone* zone) const;
  virtual void print(std::ostream& out) const = 0;
  // Adds the clocks the update resets to reset; owner is the process number.
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

// target := value, wrapped into the target's domain; an index outside the array changes nothing.
class IntegerAssign : public Assignment {
 public:
  using Assignment::constrain;
  using Assignment::release;

  IntegerAssign();  // null handles
  IntegerAssign(Ref<VariableExpression> target, Ref<IntegerExpression> value);
  ~IntegerAssign() override;

  std::int32_t kind() const override { return 5; }
  void apply(GlobalState* state) const override;
  void release(GlobalState*) const override {}
  bool constrain(GlobalState*) const override { return true; }
  void print(std::ostream& out) const override;

  VariableExpression* target() const { return target_.get(); }
  IntegerExpression* value() const { return value_.get(); }

 private:
  Ref<VariableExpression> target_;
  Ref<IntegerExpression> value_;
  bool shallow_ = false;  // target and value present, the value evaluated recursively
};
