// model/clock_bounds.h: the lower and upper clock bounds of every location (static guard
// analysis) and their combination for a location vector.
#pragma once
#include <cstdint>
#include <vector>

#include "base/ref.h"
#include "zones/lu.h"

class GlobalState;
class System;

// For every process, location and clock: L, the largest constant that a lower-bound guard or
// invariant ("x > c", "x >= c") may compare the clock with from that location on along paths
// of the process that do not assign the clock, and U likewise for upper bounds; noClockBound
// when there is none. A least fixpoint over each process's edges, an assignment to the clock
// cutting the propagation. Each process keeps only the clocks it reads. Diagonal guards raise
// both bounds of both clocks (the bounds alone do not make ExtraLU+ sound for them).
class ClockBounds : public Object {
public:
  // everywhere: constants (one per clock, possibly fewer; negative for none) that raise both
  // bounds in every location, such as the clock constants of a property.
  ClockBounds(const System& system, const std::vector<std::int32_t>& everywhere);

  int clockCount() const { return clocks_; }
  std::int32_t lower(int process, int location, int clock) const;
  std::int32_t upper(int process, int location, int clock) const;

  // The bounds of the state's location vector: per clock the maxima over the processes.
  // Written into scratch owned by this object; valid until the next call.
  void combine(const GlobalState* state) const;
  const std::int32_t* lowerBounds() const { return scratch_.data(); }
  const std::int32_t* upperBounds() const { return scratch_.data() + clocks_; }

private:
  struct ProcessBounds {
    std::vector<std::int32_t> clocks;  // the clocks the process reads, ascending
    std::size_t offset = 0;            // of location 0 in table_; per location L then U
  };
  int find(int process, int clock) const;

  int clocks_ = 0;
  std::vector<ProcessBounds> processes_;
  std::vector<std::int32_t> table_;
  std::vector<std::int32_t> base_;  // 2 * clocks_: L then U of the everywhere constants
  mutable std::vector<std::int32_t> scratch_;
};
