// model/clock.h: the clock table, clock guards and clock resets.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "model/assignment.h"
#include "model/guard.h"
#include "zones/zone.h"

class GlobalState;
class Zone;

// x_i - x_j < c (strict) or <= c, as a raw bound. An upper bound x <= c is (x, 0); a lower bound
// x >= c is (0, x) with <= -c.
class ClockGuard : public Guard {
public:
  ClockGuard() : i_(-1), j_(-1), raw_(-1) {}
  ClockGuard(std::int32_t i, std::int32_t j, std::int32_t c, bool strict)
      : i_(i), j_(j), raw_(2 * c + (strict ? 0 : 1)) {}

  std::int32_t kind() const override { return 4; }
  // Tightens the state's zone, which must be unpacked; closing is left to the caller. False
  // when the zone became empty.
  bool apply(GlobalState* state) const override;
  // "x<5", "3<=x", "x-y<=2".
  void print(std::ostream& out) const override;
  // Raises the maximal constants of the clocks compared; a diagonal guard also enters the
  // diagonal set together with its negation.
  void collectConstants(std::vector<std::int32_t>& maxConstants,
                        DiagonalGuards& diagonals) const override;
  // Adds i and j to tested.
  void collectClocks(std::int32_t owner, ClockSet& tested, ClockSet& reset) const override;

  std::int32_t first() const { return i_; }   // minuend clock
  std::int32_t second() const { return j_; }  // subtrahend clock
  std::int32_t rawBound() const { return raw_; }
  // The complement: x_i - x_j <= c becomes x_j - x_i < -c, x_i - x_j < c becomes x_j - x_i <= -c.
  ClockGuard negation() const;

private:
  std::int32_t i_;
  std::int32_t j_;
  std::int32_t raw_;
};

// x := value.
class ClockAssign : public Assignment {
public:
  ClockAssign(std::int32_t x, std::int32_t value) : x_(x), value_(value) {}

  std::int32_t kind() const override { return 4; }
  // Zone operations; the zones must be unpacked.
  void apply(GlobalState* state) const override;        // reset x to value
  void release(GlobalState* state) const override;      // free x
  bool constrain(GlobalState* state) const override;    // x == value, closed
  void release(Zone* zone) const override;            // free x
  bool constrain(Zone* zone) const override;          // x == value, closed
  void print(std::ostream& out) const override;         // "x:=0"
  // Adds x to reset.
  void collectClocks(std::int32_t owner, ClockSet& tested, ClockSet& reset) const override;

  std::int32_t clock() const { return x_; }
  std::int32_t value() const { return value_; }

private:
  std::int32_t x_;
  std::int32_t value_;
};


// The diagonal guards of a system and their negations, ordered by (i, j, raw bound), each once.
class DiagonalGuards {
public:
  void insert(const ClockGuard& guard);
  void insert(const DiagonalBound& bound);
  bool contains(std::int32_t i, std::int32_t j, std::int32_t raw) const;
  std::size_t size() const { return bounds_.size(); }
  bool empty() const { return bounds_.empty(); }
  const DiagonalBound* begin() const { return bounds_.data(); }
  const DiagonalBound* end() const { return bounds_.data() + bounds_.size(); }
  const DiagonalBound& operator[](std::size_t k) const { return bounds_[k]; }
  friend bool operator==(const DiagonalGuards&, const DiagonalGuards&) = default;

private:
  std::vector<DiagonalBound> bounds_;
};

struct ClockEntry {
  std::int32_t owner = -1;          // process number, -1 until resolved and for global clocks
  std::int32_t processSymbol = -1;  // process-kind symbol index, -1 for a global clock
  std::int32_t number = 0;          // the entry's own index
  std::int32_t clockSymbol = -1;    // clock-kind symbol index, -1 for the reference clock
  std::string name;
};

// The current model's clock table is a value: copy it to save it, assign a fresh one to reset it.
//   ClockTable saved = ClockInfo::table();  ClockInfo::table() = ClockTable();
struct ClockTable {
  std::vector<ClockEntry> clocks;          // index = clock number; entry 0 is "t(0)"
  std::vector<std::int32_t> maxConstants;  // one per clock, for extrapolation
  DiagonalGuards diagonals;
};

class ClockInfo {
public:
  static ClockTable& table();

  // Appends a clock and returns its number. An empty name is made from the symbols: "x" for a
  // global clock, "P.x" for a clock local to process P. The reference clock is added first, with
  // clock symbol -1 and the name "t(0)".
  static std::int32_t addClock(std::int32_t clockSymbol, std::int32_t processSymbol,
                               const char* name);
  // Sets each local clock's owner to its process number (high 16 bits of the process symbol's
  // extra field); called once the system text has been read.
  static void resolveOwners();
  // Not supported: throws Bug.
  [[noreturn]] static void removeClock(std::int32_t clock);

  static std::int32_t count() { return std::int32_t(table().clocks.size()); }
  static const ClockEntry& clock(std::int32_t number) { return table().clocks[number]; }
  // The clock's printable name; "t(n)" for a number outside the table.
  static const char* name(std::int32_t number);
  // The clock names as zones print them.
  static const ClockNames& names();
  // True for clock 0 and for every entry without a clock symbol.
  static bool isReference(std::int32_t number);

  // Replace the extrapolation constants and the diagonal set (one constant per clock).
  static void setConstants(std::vector<std::int32_t> maxConstants, DiagonalGuards diagonals);
  // A zero per clock and an empty set, the start of a collection.
  static std::vector<std::int32_t> zeroConstants() {
    return std::vector<std::int32_t>(table().clocks.size(), 0);
  }
  static const std::int32_t* maxConstants() { return table().maxConstants.data(); }
  static const DiagonalGuards& diagonals() { return table().diagonals; }
  // Scratch for extrapolation: one byte per diagonal guard.
  static std::uint8_t* diagonalScratch();
  // The constants and diagonal guards zones are extrapolated by.
  static ExtrapolationBounds extrapolationBounds() {
    const ClockTable& t = table();
    return {t.maxConstants.data(), int(t.maxConstants.size()), t.diagonals.begin(),
            t.diagonals.size(), diagonalScratch()};
  }
};
