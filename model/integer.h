// model/integer.h: bounded integer variables and their valuations.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

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
