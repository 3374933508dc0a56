// tctl/tctl_expression.h: state formulas of properties, evaluated on symbolic states. A clock
// constraint narrows the state's zone to the part where it holds, so a positive answer also
// tells the checker which valuations satisfy the formula.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "model/guard.h"
#include "base/ref.h"

class DiagonalGuards;
class GlobalState;
class IntegerExpression;
class UnpackedZone;

class TCTLExpression;
using StateList = std::vector<Ref<GlobalState>>;
using Conjuncts = std::vector<Ref<TCTLExpression>>;

// Expressions are immutable once built; negate() and normalize() build new trees that share
// unchanged subtrees. Every operation over a tree walks it with an explicit stack, so trees of
// any depth the property reader builds are evaluated, printed, rewritten and destroyed without
// deep recursion.
//
// A state satisfies a formula when some valuation of its zone (with its locations and integers)
// does. The formula is decided on its negation normal form, clause by clause of its disjunctive
// normal form, left to right, without building either: a clause holds when its location and
// integer conjuncts are true, its clock constraints leave a non-empty zone Zc, and its deadlock
// conjuncts hold for some valuation of Zc. The state's zone is then narrowed to Zc of the first
// clause that holds.
class TCTLExpression : public Object {
 public:
  enum TypeCode : int {
    clockType = 0,
    integerType = 1,
    stateType = 2,
    andType = 3,
    orType = 4,
    notType = 5,
    trueType = 6,
    deadlockType = 7,
  };

  // True for the leaves: clock, integer and location tests, true and deadlock.
  virtual bool isAtomic() const = 0;
  virtual void print(std::ostream& out) const = 0;
  virtual int typeCode() const = 0;
  // A new expression for the negation.
  virtual Ref<TCTLExpression> negate() = 0;
  // Negation normal form: "not" only around location tests, true and deadlock.
  virtual Ref<TCTLExpression> normalize() = 0;
  // Whether the formula holds in the state (above); on success the state's zone (which must be
  // closed) is narrowed to the first clause's part. A packed zone is unpacked first.
  virtual bool satisfiedBy(GlobalState* state) const = 0;
  // Replaces every state by its parts, one per clause that holds in it (narrowed copies), of
  // which a part that another part of the same state includes is dropped.
  virtual void filter(StateList& states) const = 0;
  // Raises maxConstants (one entry per clock) by the clock constants of the formula and adds
  // its difference constraints, with their negations, to differenceConstraints.
  virtual void collectConstants(std::vector<std::int32_t>& maxConstants,
                                DiagonalGuards& differenceConstraints) const = 0;
  // Adds the clocks the formula reads.
  virtual void collectClocks(ClockSet& clocks) const = 0;
  // Appends the operands of a chain of "and" (the expression itself for anything else).
  virtual void collectConjuncts(Conjuncts& conjuncts) = 0;

  // The formula reads a clock or holds a deadlock predicate: its truth depends on the valuation,
  // not only on the locations and integers.
  bool isTimed() const { return shape_ & timed; }
  // Deciding the formula (negated: its negation) meets an "or" whose sides read clocks, so that
  // the clause search may have to come back to it.
  bool hasChoice(bool negated) const { return shape_ & (negated ? choiceNegated : choice); }
  bool hasDeadlock() const { return shape_ & deadlock; }

 protected:
  enum Shape : std::uint8_t { timed = 1, choice = 2, choiceNegated = 4, deadlock = 8 };
  std::uint8_t shape_ = 0;
};

// Defaults: no clocks, the expression is its own single conjunct, filtering by clauses.
class AbstractExpression : public TCTLExpression {
 public:
  void filter(StateList& states) const override;
  void collectClocks(ClockSet&) const override {}
  void collectConjuncts(Conjuncts& conjuncts) override { conjuncts.emplace_back(this); }
};

// The operators: their satisfaction test is the clause search, their operands are released
// without recursion.
class OperatorExpression : public AbstractExpression {
 public:
  bool isAtomic() const override { return false; }
  void print(std::ostream& out) const override;
  Ref<TCTLExpression> normalize() override;
  bool satisfiedBy(GlobalState* state) const override;
  void collectConstants(std::vector<std::int32_t>& maxConstants,
                        DiagonalGuards& differenceConstraints) const override;
  void collectClocks(ClockSet& clocks) const override;

 protected:
  // Hands an operand that only this expression holds to the outermost destructor running, which
  // releases it after this one: a deep tree is torn down in a loop.
  static void releaseLater(Ref<TCTLExpression>& operand);
};

// x_i - x_j < c (strict) or <= c; j is the reference clock 0 for a bound on a single clock.
class ClockExpr : public AbstractExpression {
 public:
  // The comparison x relation y + c with relation 0 ">=", 1 "<=", 2 "<", 3 ">"; the other
  // relation codes throw Bug ("==" and "!=" are built from two comparisons).
  ClockExpr(std::int32_t x, std::int32_t y, int relation, std::int32_t c);
  // The bound itself.
  static Ref<ClockExpr> bound(std::int32_t i, std::int32_t j, std::int32_t c, bool strict);

  bool isAtomic() const override { return true; }
  void print(std::ostream& out) const override;
  int typeCode() const override { return clockType; }
  Ref<TCTLExpression> negate() override;
  Ref<TCTLExpression> normalize() override { return this; }
  bool satisfiedBy(GlobalState* state) const override;
  void collectConstants(std::vector<std::int32_t>& maxConstants,
                        DiagonalGuards& differenceConstraints) const override;
  void collectClocks(ClockSet& clocks) const override;

  std::int32_t first() const { return i_; }
  std::int32_t second() const { return j_; }
  std::int32_t constant() const { return c_; }
  bool isStrict() const { return strict_ != 0; }
  std::int32_t rawBound() const { return 2 * c_ + (strict_ ? 0 : 1); }

 private:
  ClockExpr() { shape_ = timed; }

  std::int32_t i_ = 0;
  std::int32_t j_ = 0;
  std::int32_t c_ = 0;
  std::uint8_t strict_ = 0;
};

// left relation right over integer expressions: 0 ">=", 1 "<=", 2 "<", 3 ">", 4 "==", 5 "!=".
class IntExpr : public AbstractExpression {
 public:
  IntExpr(int relation, Ref<IntegerExpression> left, Ref<IntegerExpression> right);
  ~IntExpr() override;

  bool isAtomic() const override { return true; }
  void print(std::ostream& out) const override;
  int typeCode() const override { return integerType; }
  Ref<TCTLExpression> negate() override;
  Ref<TCTLExpression> normalize() override { return this; }
  // A relation code outside 0 to 5 is an internal error.
  bool satisfiedBy(GlobalState* state) const override;
  void collectConstants(std::vector<std::int32_t>&, DiagonalGuards&) const override {}

  int relation() const { return relation_; }
  IntegerExpression* left() const { return left_.get(); }
  IntegerExpression* right() const { return right_.get(); }

 private:
  Ref<IntegerExpression> left_;
  int relation_;
  Ref<IntegerExpression> right_;
};

// Process `process` is in location `location`. The symbols (process kind and location kind)
// are kept for printing.
class StateExpr : public AbstractExpression {
 public:
  StateExpr(std::int32_t processSymbol, std::int32_t locationSymbol, std::int32_t process,
            std::int32_t location);

  bool isAtomic() const override { return true; }
  // "P.s"
  void print(std::ostream& out) const override;
  int typeCode() const override { return stateType; }
  Ref<TCTLExpression> negate() override;
  Ref<TCTLExpression> normalize() override { return this; }
  bool satisfiedBy(GlobalState* state) const override;
  void collectConstants(std::vector<std::int32_t>&, DiagonalGuards&) const override {}

  std::int32_t process() const { return process_; }
  std::int32_t location() const { return location_; }

 private:
  std::int32_t processSymbol_;
  std::int32_t locationSymbol_;
  std::int32_t process_;
  std::int32_t location_;
};

class AndExpr : public OperatorExpression {
 public:
  AndExpr(Ref<TCTLExpression> left, Ref<TCTLExpression> right);
  ~AndExpr() override;

  int typeCode() const override { return andType; }
  Ref<TCTLExpression> negate() override;
  void collectConjuncts(Conjuncts& conjuncts) override;

  TCTLExpression* left() const { return left_.get(); }
  TCTLExpression* right() const { return right_.get(); }

 private:
  Ref<TCTLExpression> left_;
  Ref<TCTLExpression> right_;
};

class OrExpr : public OperatorExpression {
 public:
  OrExpr(Ref<TCTLExpression> left, Ref<TCTLExpression> right);
  ~OrExpr() override;

  int typeCode() const override { return orType; }
  Ref<TCTLExpression> negate() override;

  TCTLExpression* left() const { return left_.get(); }
  TCTLExpression* right() const { return right_.get(); }

 private:
  Ref<TCTLExpression> left_;
  Ref<TCTLExpression> right_;
};

// "not p", decided like every formula on its negation normal form: a state whose zone only
// partly satisfies p satisfies "not p" on the rest.
class NotExpr : public OperatorExpression {
 public:
  explicit NotExpr(Ref<TCTLExpression> operand);
  ~NotExpr() override;

  int typeCode() const override { return notType; }
  Ref<TCTLExpression> negate() override { return operand_; }

  TCTLExpression* operand() const { return operand_.get(); }

 private:
  Ref<TCTLExpression> operand_;
};

class TrueExpr : public AbstractExpression {
 public:
  bool isAtomic() const override { return true; }
  void print(std::ostream& out) const override;
  int typeCode() const override { return trueType; }
  Ref<TCTLExpression> negate() override;
  Ref<TCTLExpression> normalize() override { return this; }
  bool satisfiedBy(GlobalState*) const override { return true; }
  void collectConstants(std::vector<std::int32_t>&, DiagonalGuards&) const override {}
};

// Some valuation of the state can never take a transition. The evaluation is supplied by the
// subclass over decision diagrams (tctl/deadlock.h); this class knows no transitions and answers
// that no valuation is deadlocked.
class DeadlockExpr : public AbstractExpression {
 public:
  DeadlockExpr() { shape_ = timed | deadlock; }
  // Some valuation of zone is deadlocked (with negated: is not), deadlock being decided on the
  // whole state: the transitions enabled are those of the state's own zone. zone is closed and
  // lies within the state's zone, or within what waiting reaches from it.
  virtual bool holdsSomewhereIn(const GlobalState* state, const UnpackedZone& zone,
                                bool negated) const;

  bool isAtomic() const override { return true; }
  void print(std::ostream& out) const override;
  int typeCode() const override { return deadlockType; }
  Ref<TCTLExpression> negate() override;
  Ref<TCTLExpression> normalize() override { return this; }
  bool satisfiedBy(GlobalState*) const override { return false; }
  void collectConstants(std::vector<std::int32_t>&, DiagonalGuards&) const override {}
};

// The formula as a disjunction of clauses, each a list of conjuncts: clock constraints
// (type 0), deadlock literals and discrete tests, in the order the satisfaction test tries them.
std::vector<Conjuncts> disjunctiveNormalForm(TCTLExpression* formula);

// The deadlock predicate of a conjunct that is "deadlock" or "not deadlock" (then *negated is
// set); null for any other conjunct.
const DeadlockExpr* deadlockLiteral(const TCTLExpression* conjunct, bool* negated);
