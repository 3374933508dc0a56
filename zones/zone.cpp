#include "zones/zone.h"

#include <algorithm>
#include <cstring>
#include <ostream>

#include "base/error.h"

// Sums of raw bounds are taken only between finite bounds; the model's constants are small
// enough (maxClockConstant) that no sum of a closure leaves 32 bits.

namespace {

// Readable item: "x>3", "x<=5", "x-y<3".
void writeItem(std::ostream& out, const ClockNames& names, int i, int j, std::int32_t raw) {
  std::int32_t value = boundValue(raw);
  bool infinite = isInfinite(raw);
  if (i == 0) {
    out << names.clockName(j) << (isStrict(raw) ? ">" : ">=");
    if (infinite)
      out << "inf";
    else
      out << -value;
    return;
  }
  out << names.clockName(i);
  if (j != 0) out << '-' << names.clockName(j);
  out << (isStrict(raw) ? "<" : "<=");
  if (infinite)
    out << "inf";
  else
    out << value;
}

// Query item, leading " and " included: " and x>=2", " and x<=y+3", " and x<y-2". Lower bounds
// with value 0 say nothing a property needs and are left out.
void writeQueryItem(std::ostream& out, const ClockNames& names, int i, int j,
                    std::int32_t raw) {
  std::int32_t value = boundValue(raw);
  bool infinite = isInfinite(raw);
  if (i == 0) {
    if (value == 0) return;
    out << " and " << names.clockName(j) << (isStrict(raw) ? ">" : ">=");
    if (infinite)
      out << "inf";
    else
      out << -value;
    return;
  }
  out << " and " << names.clockName(i) << (isStrict(raw) ? "<" : "<=");
  if (infinite) {
    if (j != 0) out << names.clockName(j) << '+';
    out << "inf";
    return;
  }
  if (j != 0) {
    out << names.clockName(j);
    if (value > 0) out << '+';
    if (value != 0) out << value;
  } else {
    out << value;
  }
}

// One Floyd-Warshall pivot: m[i][j] = min(m[i][j], m[i][k] + m[k][j]).
inline void pivot(std::int32_t* m, int dim, int k) {
  const std::int32_t* rowK = m + k * dim;
  for (int i = 0; i < dim; ++i) {
    if (i == k) continue;
    std::int32_t ik = m[i * dim + k];
    if (isInfinite(ik)) continue;
    std::int32_t* rowI = m + i * dim;
    for (int j = 0; j < dim; ++j) {
      std::int32_t kj = rowK[j];
      std::int32_t sum = isInfinite(kj) ? infinityBound : addBounds(ik, kj);
      rowI[j] = std::min(rowI[j], sum);
    }
  }
}

// A negative diagonal entry: the zone is empty, and further pivots could only drive the
// entries of the negative cycle towards overflow.
inline bool hasNegativeDiagonal(const std::int32_t* m, int dim) {
  for (int i = 0; i < dim; ++i)
    if (m[i * dim + i] < zeroBound) return true;
  return false;
}

}  // namespace

// --- UnpackedZone -----------------------------------------------------------------------

void* UnpackedZone::operator new(std::size_t header, int dim) {
  return ::operator new(header + std::size_t(dim) * dim * sizeof(std::int32_t) + dim);
}

void clockConstantOutOfRange(std::int64_t c) {
  throw CheckError("Clock constant %lld out of range", static_cast<long long>(c));
}

UnpackedZone* UnpackedZone::create(int dim, bool init) {
  // The packed form keeps the dimension and the clock numbers in bytes.
  if (dim < 1 || dim > 255) throw Bug("zone dimension %d out of range", dim);
  UnpackedZone* zone = new (dim) UnpackedZone(dim);
  if (init) {
    std::int32_t* m = zone->matrix();
    for (int i = 0; i < dim; ++i) {
      bool reference = i == 0;
      for (int j = 0; j < dim; ++j) m[i * dim + j] = (i == j || reference) ? zeroBound : infinityBound;
    }
  }
  return zone;
}

Zone::Relation UnpackedZone::relation(const UnpackedZone* other) const {
  assert(other->dim_ == dim_);
  const std::int32_t* a = matrix();
  const std::int32_t* b = other->matrix();
  // In blocks, so the comparisons of a block run without branches.
  int bAboveA = 0, aAboveB = 0;
  const int n = dim_ * dim_;
  for (int start = 0; start < n; start += 32) {
    const int stop = std::min(n, start + 32);
    for (int k = start; k < stop; ++k) {
      bAboveA |= int(b[k] > a[k]);
      aAboveB |= int(a[k] > b[k]);
    }
    if (bAboveA & aAboveB) return noInclusion;
  }
  if (!bAboveA) return aAboveB ? argIncludedIn : equal;
  return argIncludes;
}

UnpackedZone* UnpackedZone::copy() const {
  UnpackedZone* zone = new (dim_) UnpackedZone(dim_);
  zone->assign(*this);
  return zone;
}

UnpackedZone* UnpackedZone::unpack() const { return copy(); }

void UnpackedZone::assign(const UnpackedZone& other) {
  assert(other.dim_ == dim_);
  std::memcpy(matrix(), other.matrix(), std::size_t(dim_) * dim_ * sizeof(std::int32_t));
  pending_ = other.pending_;
  lastI_ = other.lastI_;
  lastJ_ = other.lastJ_;
  if (pending_ == 2) std::memcpy(touched(), other.touched(), dim_);
}

void UnpackedZone::print(std::ostream& out, const ClockNames& names) const {
  const char* separator = "";
  for (int i = 0; i < dim_; ++i) {
    for (int j = 0; j < dim_; ++j) {
      std::int32_t raw = at(i, j);
      if (i == j || isInfinite(raw)) continue;
      if (i == 0 && raw == zeroBound) continue;
      out << separator;
      writeItem(out, names, i, j, raw);
      separator = ", ";
    }
  }
}

void UnpackedZone::printConstraints(std::ostream& out, const ClockNames& names) const {
  for (int i = 0; i < dim_; ++i)
    for (int j = 0; j < dim_; ++j) {
      std::int32_t raw = at(i, j);
      if (i != j && !isInfinite(raw)) writeQueryItem(out, names, i, j, raw);
    }
}


bool UnpackedZone::isEmpty() const { return hasNegativeDiagonal(matrix(), dim_); }

void UnpackedZone::convexHull(const UnpackedZone* other) {
  assert(other->dim_ == dim_);
  std::int32_t* a = matrix();
  const std::int32_t* b = other->matrix();
  for (int k = 0, n = dim_ * dim_; k < n; ++k) a[k] = std::max(a[k], b[k]);
  fullClose();
}

void UnpackedZone::intersect(const UnpackedZone& other) {
  assert(other.dim_ == dim_);
  std::int32_t* a = matrix();
  const std::int32_t* b = other.matrix();
  for (int k = 0, n = dim_ * dim_; k < n; ++k) a[k] = std::min(a[k], b[k]);
  fullClose();
}

bool UnpackedZone::tightenRaw(int i, int j, std::int32_t raw) {
  std::int32_t& entry = at(i, j);
  if (raw >= entry || isInfinite(raw)) return true;
  entry = raw;
  markTouched(i, j);
  std::int32_t back = at(j, i);
  if (isInfinite(back)) return true;
  return addBounds(raw, back) > 0;
}

void UnpackedZone::setBound(int i, int j, std::int32_t raw) {
  at(i, j) = isInfinite(raw) ? infinityBound : raw;
  if (pending_ != 2) {
    std::uint8_t* flags = touched();
    std::memset(flags, 0, dim_);
    if (pending_ == 1) flags[lastI_] = flags[lastJ_] = 1;
    pending_ = 2;
  }
  touched()[i] = touched()[j] = 1;
}

// A single tightened entry since the last closure is closed in one pass; more entries switch
// to the per-clock flags.
void UnpackedZone::markTouched(int i, int j) {
  if (pending_ == 0) {
    pending_ = 1;
    lastI_ = std::uint8_t(i);
    lastJ_ = std::uint8_t(j);
    return;
  }
  if (pending_ == 1 && lastI_ == i && lastJ_ == j) return;
  setBound(i, j, at(i, j));
}

void UnpackedZone::close() {
  if (pending_ == 1)
    closeOne(lastI_, lastJ_);
  else if (pending_ == 2)
    closeTouched();
  pending_ = 0;
}

// The matrix was closed before entry (i, j) was tightened, so a shortest path uses the new
// entry at most once: m[a][b] = min(m[a][b], m[a][i] + m[i][j] + m[j][b]). This is what
// pivoting on j and then on i gives, in one pass. On a negative cycle the diagonal entry of i
// goes below <= 0 all the same.
void UnpackedZone::closeOne(int i, int j) {
  std::int32_t* m = matrix();
  const int dim = dim_;
  const std::int32_t edge = m[i * dim + j];
  const std::int32_t* rowJ = m + j * dim;
  for (int a = 0; a < dim; ++a) {
    std::int32_t ai = m[a * dim + i];
    if (isInfinite(ai)) continue;
    std::int32_t through = addBounds(ai, edge);
    std::int32_t* rowA = m + a * dim;
    if (a == j) {
      // The row being read is the row written; only an empty zone changes it.
      for (int b = 0; b < dim; ++b) {
        std::int32_t jb = rowJ[b];
        if (!isInfinite(jb)) rowA[b] = std::min(rowA[b], addBounds(through, jb));
      }
      continue;
    }
    for (int b = 0; b < dim; ++b) {
      std::int32_t jb = rowJ[b];
      std::int32_t sum = isInfinite(jb) ? infinityBound : addBounds(through, jb);
      rowA[b] = std::min(rowA[b], sum);
    }
  }
}

void UnpackedZone::closeTouched() {
  std::int32_t* m = matrix();
  const std::uint8_t* flags = touched();
  for (int k = 0; k < dim_; ++k) {
    if (!flags[k]) continue;
    pivot(m, dim_, k);
    if (m[k * dim_ + k] < zeroBound || hasNegativeDiagonal(m, dim_)) return;
  }
}

void UnpackedZone::fullClose() {
  std::int32_t* m = matrix();
  pending_ = 0;
  for (int k = 0; k < dim_; ++k) {
    pivot(m, dim_, k);
    if (hasNegativeDiagonal(m, dim_)) return;
  }
}

void UnpackedZone::delay() {
  for (int i = 1; i < dim_; ++i) at(i, 0) = infinityBound;
}

void UnpackedZone::past() {
  for (int i = 1; i < dim_; ++i) {
    if (at(0, i) >= zeroBound) continue;
    std::int32_t lower = zeroBound;
    for (int k = 1; k < dim_; ++k) lower = std::min(lower, at(k, i));
    at(0, i) = lower;
  }
}

void UnpackedZone::setZero() {
  std::int32_t* m = matrix();
  std::fill(m, m + dim_ * dim_, zeroBound);
  pending_ = 0;
}

void UnpackedZone::reset(int x, int c) {
  const std::int32_t twice = makeBound(c, true);
  for (int k = 0; k < dim_; ++k) {
    if (k == x) {
      at(x, x) = zeroBound;
    } else if (k == 0) {
      at(x, 0) = twice + 1;
      at(0, x) = 1 - twice;
    } else {
      std::int32_t lower = at(0, k), upper = at(k, 0);
      at(x, k) = isInfinite(lower) ? infinityBound : lower + twice;
      at(k, x) = isInfinite(upper) ? infinityBound : upper - twice;
    }
  }
}

void UnpackedZone::free(int x) {
  for (int k = 0; k < dim_; ++k) {
    if (k == x) continue;
    at(x, k) = infinityBound;
    at(k, x) = at(k, 0);
  }
}

bool UnpackedZone::constrainEqual(int x, int c) {
  bool nonEmpty = tighten(x, 0, c, false);
  if (nonEmpty) nonEmpty = tighten(0, x, -c, false);
  close();
  return nonEmpty;
}

void UnpackedZone::extrapolate(const ExtrapolationBounds& bounds) {
  close();
  // Diagonal guards the zone satisfies strictly inside their bound: they are imposed again
  // after the abstraction, so the abstraction does not let the zone cross them.
  std::uint8_t* inside = bounds.scratch;
  const std::size_t guards = bounds.diagonalCount;
  for (std::size_t g = 0; g < guards; ++g) {
    const DiagonalBound& d = bounds.diagonals[g];
    inside[g] = d.i < dim_ && d.j < dim_ && at(d.i, d.j) < d.raw;
  }
  const std::int32_t* max = bounds.maxConstants;
  const int known = std::min<int>(dim_, bounds.constantCount);
  bool changed = false;
  for (int i = 1; i < known; ++i) {
    std::int32_t* row = matrix() + i * dim_;
    const std::int32_t limit = max[i];
    for (int j = 0; j < dim_; ++j) {
      if (!isInfinite(row[j]) && boundValue(row[j]) > limit) {
        row[j] = infinityBound;
        changed = true;
      }
    }
  }
  if (!changed) return;
  for (std::size_t g = 0; g < guards; ++g)
    if (inside[g]) {
      const DiagonalBound& d = bounds.diagonals[g];
      tightenRaw(d.i, d.j, d.raw);
    }
  fullClose();
}

UnpackedZone* UnpackedZone::withNonStrictUpperBounds() const {
  UnpackedZone* zone = copy();
  for (int i = 0; i < dim_; ++i) zone->at(i, 0) |= 1;
  zone->fullClose();
  return zone;
}

// Minimal constraint set. Clocks whose difference is fixed form a class, kept as a cycle of
// equalities through its members; between the class heads an edge is kept unless a path
// through a third head implies it.
PackedZone* UnpackedZone::pack() const {
  assert(pending_ == 0 && !isEmpty());
  const int dim = dim_;
  std::uint8_t classOf[255];  // head of each clock's class
  std::uint8_t next[255];     // next member of the class; the clock itself ends the chain
  std::uint8_t heads[255];
  std::uint8_t needed[255 * 255];
  int headCount = 0;
  std::memset(classOf, 0xFF, dim);
  std::memset(needed, 0, std::size_t(dim) * dim);
  for (int i = 0; i < dim; ++i) {
    if (classOf[i] != 0xFF && classOf[i] != i) continue;
    if (classOf[i] == 0xFF) {
      classOf[i] = std::uint8_t(i);
      next[i] = std::uint8_t(i);
      heads[headCount++] = std::uint8_t(i);
    }
    int last = i;
    for (int j = i + 1; j < dim; ++j) {
      if (classOf[j] != 0xFF) continue;
      if (boundValue(at(i, j)) + boundValue(at(j, i)) != 0) continue;
      classOf[j] = std::uint8_t(i);
      next[last] = std::uint8_t(j);
      next[j] = std::uint8_t(j);
      last = j;
    }
  }
  // Edge a -> b is implied when a -> k -> b is as tight for some third head k. For each a and k
  // the test runs along whole rows; only the flags of heads b other than a and k are read.
  std::int32_t implied[255];
  const std::int32_t* m = matrix();
  for (int x = 0; x < headCount; ++x) {
    const int a = heads[x];
    const std::int32_t* rowA = m + a * dim;
    std::memset(implied, 0, dim * sizeof(std::int32_t));
    for (int z = 0; z < headCount; ++z) {
      const int k = heads[z];
      const std::int32_t ak = rowA[k];
      if (k == a || isInfinite(ak)) continue;
      const std::int32_t* rowK = m + k * dim;
      const std::int32_t keep = implied[k];
      for (int b = 0; b < dim; ++b) {
        const std::int32_t kb = rowK[b];
        const std::int32_t through = isInfinite(kb) ? infinityBound : addBounds(ak, kb);
        implied[b] |= std::int32_t(through <= rowA[b]);
      }
      implied[k] = keep;
    }
    for (int y = 0; y < headCount; ++y) {
      const int b = heads[y];
      if (b != a && !isInfinite(rowA[b]) && !implied[b]) needed[a * dim + b] = 1;
    }
  }
  for (int x = 0; x < headCount; ++x) {
    int member = heads[x];
    if (next[member] == member) continue;
    while (next[member] != member) {
      needed[member * dim + next[member]] = 1;
      member = next[member];
    }
    needed[member * dim + heads[x]] = 1;
  }
  int n = 0;
  for (int i = 1; i < dim; ++i) n += needed[i] && at(0, i) <= 0;
  for (int i = 1; i < dim; ++i)
    for (int j = 0; j < dim; ++j) n += needed[i * dim + j];
  PackedZone* packed = new (n) PackedZone(n, dim);
  std::int32_t* bounds = const_cast<std::int32_t*>(packed->bounds());
  std::uint8_t* pairs = const_cast<std::uint8_t*>(packed->pairs());
  int k = 0;
  auto emit = [&](int i, int j) {
    bounds[k] = at(i, j);
    pairs[2 * k] = std::uint8_t(i);
    pairs[2 * k + 1] = std::uint8_t(j);
    ++k;
  };
  for (int i = 1; i < dim; ++i)
    if (needed[i] && at(0, i) <= 0) emit(0, i);
  for (int i = 1; i < dim; ++i)
    for (int j = 0; j < dim; ++j)
      if (needed[i * dim + j]) emit(i, j);
  return packed;
}

// --- PackedZone -------------------------------------------------------------------------

void* PackedZone::operator new(std::size_t header, int n) {
  std::size_t pairWords = (std::size_t(n) + 1) / 2;
  return ::operator new(header + (std::size_t(n) + pairWords) * sizeof(std::int32_t));
}

PackedZone* PackedZone::create(const std::int32_t* bounds, const std::uint8_t* pairs, int n,
                                   int dim) {
  if (n < 0 || dim < 1 || dim > 255) throw Bug("packed zone of %d constraints, dimension %d", n, dim);
  PackedZone* packed = new (n) PackedZone(n, dim);
  if (n > 0) {
    std::memcpy(const_cast<std::int32_t*>(packed->bounds()), bounds, n * sizeof(std::int32_t));
    std::memcpy(const_cast<std::uint8_t*>(packed->pairs()), pairs, 2 * std::size_t(n));
  }
  return packed;
}

Zone::Relation PackedZone::relation(const UnpackedZone* other) const {
  assert(other->dimension() == dim_);
  const std::int32_t* b = bounds();
  const std::uint8_t* p = pairs();
  const std::int32_t* m = other->matrix();
  for (int k = 0; k < count_; ++k) {
    if (m[p[2 * k] * dim_ + p[2 * k + 1]] > b[k]) {
      UnpackedZone* self = unpack();
      Relation result = self->relation(other);
      delete self;
      return result;
    }
  }
  return argIncludedIn;
}

PackedZone* PackedZone::copy() const { return create(bounds(), pairs(), count_, dim_); }

UnpackedZone* PackedZone::unpack() const {
  UnpackedZone* zone = UnpackedZone::create(dim_, true);
  for (int k = 0; k < count_; ++k) zone->setBound(firstClock(k), secondClock(k), boundAt(k));
  zone->close();
  return zone;
}

void PackedZone::print(std::ostream& out, const ClockNames& names) const {
  for (int k = 0; k < count_; ++k) {
    if (k > 0) out << ", ";
    writeItem(out, names, firstClock(k), secondClock(k), boundAt(k));
  }
}

void PackedZone::printConstraints(std::ostream& out, const ClockNames& names) const {
  for (int k = 0; k < count_; ++k) writeQueryItem(out, names, firstClock(k), secondClock(k), boundAt(k));
}

void packedZoneCannotChange() { throw Bug("%s", "a packed zone cannot change"); }
