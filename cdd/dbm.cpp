// cdd/dbm.cpp: the library's difference-bound matrix.
#include <cstring>
#include <new>

#include "cdd/cdd.h"
#include "base/error.h"

namespace {

constexpr std::uint8_t dirty = 1;  // entries were set since the last closure

inline std::size_t bitWords(int dim) { return (std::size_t(dim) + 31) / 32; }

// Sum of two raw bounds; non-strict only when both are. Infinite when either is.
inline std::int64_t addRaw(std::int64_t a, std::int64_t b) {
  if (a == CddMatrix::infinity || b == CddMatrix::infinity) return CddMatrix::infinity;
  return a + b - ((a | b) & 1);
}

}  // namespace

CddMatrix* CddMatrix::create(int dim) {
  // The dimension is kept in 16 bits.
  if (dim < 1 || dim > 65535) throw Bug("matrix dimension %d out of range", dim);
  std::size_t bytes = sizeof(CddMatrix) + std::size_t(dim) * dim * sizeof(std::int32_t) +
                      bitWords(dim) * sizeof(std::uint32_t);
  void* block = ::operator new(bytes);
  CddMatrix* d = new (block) CddMatrix();
  d->flags_ = 0;
  d->dim_ = static_cast<std::uint16_t>(dim);
  std::memset(d->touched(), 0, bitWords(dim) * sizeof(std::uint32_t));
  return d;
}

void CddMatrix::destroy(CddMatrix* d) {
  if (d) ::operator delete(static_cast<void*>(d));
}

void CddMatrix::init() {
  std::int32_t* m = bounds();
  for (int i = 0; i < dim_; ++i)
    for (int j = 0; j < dim_; ++j) m[i * dim_ + j] = (i == j || i == 0) ? 1 : infinity;
  std::memset(touched(), 0, bitWords(dim_) * sizeof(std::uint32_t));
  flags_ &= ~dirty;
}

void CddMatrix::set(int i, int j, std::int32_t raw) {
  bounds()[i * dim_ + j] = raw;
  touched()[i / 32] |= 1u << (i % 32);
  touched()[j / 32] |= 1u << (j % 32);
  flags_ |= dirty;
}

void CddMatrix::assign(const CddMatrix& other) {
  std::memcpy(bounds(), other.bounds(),
              std::size_t(dim_) * dim_ * sizeof(std::int32_t) + bitWords(dim_) * sizeof(std::uint32_t));
  flags_ = other.flags_;
}

void CddMatrix::close() {
  if (!(flags_ & dirty)) return;
  std::int32_t* m = bounds();
  std::uint32_t* bits = touched();
  const int n = dim_;
  for (int k = 0; k < n; ++k) {
    if (!(bits[k / 32] & (1u << (k % 32)))) continue;
    for (int i = 0; i < n; ++i) {
      std::int32_t ik = m[i * n + k];
      if (ik == infinity) continue;
      for (int j = 0; j < n; ++j) {
        std::int32_t kj = m[k * n + j];
        if (kj == infinity) continue;
        std::int64_t s = addRaw(ik, kj);
        if (s < m[i * n + j]) m[i * n + j] = static_cast<std::int32_t>(s);
      }
    }
  }
  std::memset(bits, 0, bitWords(n) * sizeof(std::uint32_t));
  flags_ &= ~dirty;
}

bool CddMatrix::constrain(int i, int j, std::int32_t raw) {
  close();
  std::int32_t* m = bounds();
  const int n = dim_;
  if (m[0] < 1) return false;  // already found empty
  if (raw >= m[i * n + j]) return true;
  if (addRaw(raw, m[j * n + i]) < 1) {
    m[0] = 0;  // a negative cycle: the zone is empty
    return false;
  }
  // Every shortest path that improves goes p -> i -> j -> q through the new edge; the entries
  // read here (column i, row j) do not change because the cycle through the edge is not negative.
  for (int p = 0; p < n; ++p) {
    std::int32_t pi = m[p * n + i];
    if (pi == infinity) continue;
    std::int64_t left = addRaw(pi, raw);
    for (int q = 0; q < n; ++q) {
      std::int32_t jq = m[j * n + q];
      if (jq == infinity) continue;
      std::int64_t s = addRaw(left, jq);
      if (s < m[p * n + q]) m[p * n + q] = static_cast<std::int32_t>(s);
    }
  }
  return true;
}

bool CddMatrix::constrainInterval(int i, int j, std::int32_t after, std::int32_t upTo) {
  if (upTo != infinity && !constrain(i, j, upTo)) return false;
  // Values above "<= c" are "> c", that is x_j - x_i < -c; above "< c", x_j - x_i <= -c.
  if (after != minusInfinity && !constrain(j, i, 1 - after)) return false;
  return true;
}

bool CddMatrix::isEmpty() const {
  const std::int32_t* m = bounds();
  for (int i = 0; i < dim_; ++i)
    if (m[i * dim_ + i] < 1) return true;
  return false;
}
