// zones/zone.h: clock zones as difference-bound matrices, in full and in packed form.
#pragma once
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <vector>

class UnpackedZone;
class PackedZone;

// Names the clocks when a zone is printed; the model's clock table is one.
class ClockNames {
public:
  virtual const char* clockName(std::int32_t clock) const = 0;

protected:
  ~ClockNames() = default;
};

// A smaller raw bound is tighter: 2c for "< c", 2c+1 for "<= c", 0x7FFFFFFF for none.
constexpr std::int32_t infinityBound = 0x7FFFFFFF;
constexpr std::int32_t zeroBound = 1;  // "<= 0"
// The value part of the infinite bound; any entry with this value part prints as infinite.
constexpr std::int32_t infinityValue = 0x3FFFFFFF;
// Largest clock constant (in absolute value) a model may use. Sums of up to 255 such bounds,
// and a few of those added together while a negative cycle is found, stay within 32 bits.
constexpr std::int32_t maxClockConstant = 1 << 20;

// Throws CheckError: a clock constant beyond maxClockConstant reached the zone arithmetic.
[[noreturn]] void clockConstantOutOfRange(std::int64_t c);
// The raw bound of "< c" (2c) or "<= c" (2c+1). The readers refuse larger constants; the check
// here keeps any other source from overflowing the closure's sums, in every build.
constexpr std::int32_t makeBound(std::int32_t c, bool strict) {
  if (c > maxClockConstant || c < -maxClockConstant) clockConstantOutOfRange(c);
  return 2 * c + (strict ? 0 : 1);
}
constexpr std::int32_t boundValue(std::int32_t raw) { return raw >> 1; }
constexpr bool isStrict(std::int32_t raw) { return (raw & 1) == 0; }
constexpr bool isInfinite(std::int32_t raw) { return boundValue(raw) == infinityValue; }
// Sum of two finite bounds; non-strict only if both are.
constexpr std::int32_t addBounds(std::int32_t a, std::int32_t b) { return a + b - ((a | b) & 1); }

// One diagonal guard as extrapolation reads it.
struct DiagonalBound {
  std::int32_t i;
  std::int32_t j;
  std::int32_t raw;
  friend auto operator<=>(const DiagonalBound&, const DiagonalBound&) = default;
};

// What extrapolation abstracts by: a maximal constant per clock (clocks beyond the count keep
// their bounds) and the diagonal guards, with one scratch byte per guard.
struct ExtrapolationBounds {
  const std::int32_t* maxConstants;
  int constantCount;
  const DiagonalBound* diagonals;
  std::size_t diagonalCount;
  std::uint8_t* scratch;
};

// A convex set of clock valuations, read-only: the operations that change a zone belong to the
// full matrix (UnpackedZone); the packed form is immutable. Owned by exactly one state (or a
// caller's temporary), never shared; destroyed with delete. Clock 0 is the reference clock,
// always 0.
class Zone {
public:
  // Result of a.relation(b); the same codes compare states.
  enum Relation : int {
    noInclusion = 0,    // neither zone includes the other
    argIncludedIn = 1,  // b lies inside a
    argIncludes = 2,    // b includes a
    equal = 4,          // same zone (3 is never returned)
  };

  // How this zone relates to other, which is unpacked, closed and of the same dimension.
  virtual Relation relation(const UnpackedZone* other) const = 0;
  // New zone of the same kind; the caller owns it.
  virtual Zone* copy() const = 0;
  // New closed unpacked zone with the same valuations; the caller owns it.
  virtual UnpackedZone* unpack() const = 0;
  // New packed zone; an unpacked zone must be closed and non-empty.
  virtual PackedZone* pack() const = 0;
  // Readable list of constraints ("x>3, x-y<2"), for diagnostics.
  virtual void print(std::ostream& out, const ClockNames& names) const = 0;
  // The constraints as a conjunction for a property: every item starts with " and ".
  virtual void printConstraints(std::ostream& out, const ClockNames& names) const = 0;
  // Not virtual: the engine asks this of every zone it changes.
  bool isPacked() const { return packed_; }
  // Number of clocks including the reference clock.
  virtual int dimension() const = 0;
  // Exact only on a closed zone.
  virtual bool isEmpty() const = 0;
  virtual ~Zone() = default;

protected:
  explicit Zone(bool packed) : packed_(packed) {}
  Zone(const Zone&) = default;
  Zone& operator=(const Zone&) = default;

private:
  bool packed_;  // the derived classes' first members share its word
};

// The full matrix: dim x dim raw bounds, entry (i, j) bounds x_i - x_j. Object, matrix and the
// touched flags of the clocks tightened since the last closure are one block.
class UnpackedZone final : public Zone {
public:
  // init: every clock at least 0 and nothing else (clock 0 is the reference clock); otherwise
  // the matrix is left for the caller to fill. dim is at most 255.
  static UnpackedZone* create(int dim, bool init);
  static void operator delete(void* block) { ::operator delete(block); }
  UnpackedZone() = delete;
  UnpackedZone(const UnpackedZone&) = delete;
  UnpackedZone& operator=(const UnpackedZone&) = delete;

  Relation relation(const UnpackedZone* other) const override;
  UnpackedZone* copy() const override;  // carries the touched clocks over
  UnpackedZone* unpack() const override;
  PackedZone* pack() const override;
  void print(std::ostream& out, const ClockNames& names) const override;
  void printConstraints(std::ostream& out, const ClockNames& names) const override;
  int dimension() const override { return dim_; }
  bool isEmpty() const override;

  // True when x_clock has an upper bound.
  bool hasUpperBound(int clock) const { return !isInfinite(at(clock, 0)); }
  // Smallest zone including both; other has the same dimension.
  void convexHull(const UnpackedZone* other);
  // x_i - x_j < c (strict) or <= c; false when the zone has become empty. Leaves the zone
  // unclosed: close() before reading it.
  bool tighten(int i, int j, int c, bool strict) { return tightenRaw(i, j, makeBound(c, strict)); }
  bool tightenRaw(int i, int j, std::int32_t raw);
  // Canonical form again after tightenings; uses only the clocks they touched.
  void close();
  // Delay: removes the upper bounds.
  void delay();
  // Past: lowers the lower bounds to 0.
  void past();

  // Copies other's matrix and touched clocks (same dimension).
  void assign(const UnpackedZone& other);
  // All clocks equal 0.
  void setZero();
  // x := c; keeps a closed matrix closed.
  void reset(int x, int c);
  // Drops every constraint on x but x >= 0; keeps a closed matrix closed.
  void free(int x);
  // x == c, then close(); false when the zone became empty.
  bool constrainEqual(int x, int c);
  // Closure with every clock as pivot.
  void fullClose();
  // Entrywise minimum, then full closure; the result may be empty.
  void intersect(const UnpackedZone& other);
  // Abstraction by the maximal constants and diagonal guards; closes first.
  void extrapolate(const ExtrapolationBounds& bounds);
  // New zone whose upper bounds are all made non-strict, closed; the caller owns it.
  UnpackedZone* withNonStrictUpperBounds() const;
  // Sets entry (i, j) directly and marks both clocks touched, for rebuilding a zone from a
  // constraint list; close() afterwards. Bounds whose value part is infinite become infinite.
  void setBound(int i, int j, std::int32_t raw);
  // True between a tightening and the next closure.
  bool isDirty() const { return pending_ != 0; }

  std::int32_t at(int i, int j) const { return matrix()[i * dim_ + j]; }
  std::int32_t& at(int i, int j) { return matrix()[i * dim_ + j]; }
  const std::int32_t* matrix() const { return reinterpret_cast<const std::int32_t*>(this + 1); }
  std::int32_t* matrix() { return reinterpret_cast<std::int32_t*>(this + 1); }

private:
  UnpackedZone(int dim) : Zone(false), dim_(dim) {}
  static void* operator new(std::size_t header, int dim);
  static void operator delete(void* block, int) { ::operator delete(block); }
  // One flag per clock, behind the matrix; meaningful only when pending_ is 2.
  std::uint8_t* touched() { return reinterpret_cast<std::uint8_t*>(matrix() + dim_ * dim_); }
  const std::uint8_t* touched() const {
    return reinterpret_cast<const std::uint8_t*>(matrix() + dim_ * dim_);
  }
  void markTouched(int i, int j);
  void closeOne(int i, int j);
  void closeTouched();

  // 0: closed; 1: one entry, (lastI_, lastJ_), tightened since; 2: the touched flags say.
  std::uint8_t pending_ = 0;
  std::uint8_t lastI_ = 0;
  std::uint8_t lastJ_ = 0;
  std::int32_t dim_;
};

// The minimal constraint set of a closed non-empty zone: n raw bounds, then n clock pairs (i, j),
// in one block with the object. Immutable.
class PackedZone final : public Zone {
public:
  // Copies n bounds and n pairs (byte 2k is i, byte 2k+1 is j of constraint k).
  static PackedZone* create(const std::int32_t* bounds, const std::uint8_t* pairs, int n,
                              int dim);
  static void operator delete(void* block) { ::operator delete(block); }
  PackedZone() = delete;
  PackedZone(const PackedZone&) = delete;
  PackedZone& operator=(const PackedZone&) = delete;

  // argIncludedIn when other satisfies every stored constraint (n comparisons, no allocation);
  // otherwise the full comparison on the unpacked zone.
  Relation relation(const UnpackedZone* other) const override;
  PackedZone* copy() const override;
  UnpackedZone* unpack() const override;
  PackedZone* pack() const override { return copy(); }
  void print(std::ostream& out, const ClockNames& names) const override;
  void printConstraints(std::ostream& out, const ClockNames& names) const override;
  int dimension() const override { return dim_; }
  bool isEmpty() const override { return false; }

  int count() const { return count_; }
  const std::int32_t* bounds() const { return reinterpret_cast<const std::int32_t*>(this + 1); }
  const std::uint8_t* pairs() const {
    return reinterpret_cast<const std::uint8_t*>(bounds() + count_);
  }
  std::int32_t boundAt(int k) const { return bounds()[k]; }
  int firstClock(int k) const { return pairs()[2 * k]; }   // i of x_i - x_j
  int secondClock(int k) const { return pairs()[2 * k + 1]; }  // j of x_i - x_j

private:
  friend class UnpackedZone;  // pack() writes the constraints straight into a new block
  PackedZone(int n, int dim) : Zone(true), dim_(std::uint8_t(dim)), count_(n) {}
  static void* operator new(std::size_t header, int n);
  static void operator delete(void* block, int) { ::operator delete(block); }

  std::uint8_t dim_;
  std::int32_t count_;
};

// Behind the virtual table pointer a zone's header fills one 8-byte word; the bounds follow it.
static_assert(sizeof(UnpackedZone) == sizeof(void*) + 8);
static_assert(sizeof(PackedZone) == sizeof(void*) + 8);

// Throws Bug: an operation that changes a zone met a packed one.
[[noreturn]] void packedZoneCannotChange();

// The zone as the full matrix it must be; a packed zone here is an internal error (Bug).
inline UnpackedZone* asUnpacked(Zone* zone) {
  if (zone->isPacked()) packedZoneCannotChange();
  return static_cast<UnpackedZone*>(zone);
}
inline const UnpackedZone* asUnpacked(const Zone* zone) {
  if (zone->isPacked()) packedZoneCannotChange();
  return static_cast<const UnpackedZone*>(zone);
}
