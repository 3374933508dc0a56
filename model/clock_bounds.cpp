// model/clock_bounds.cpp: static guard analysis per process.
#include "model/clock_bounds.h"

#include <algorithm>
#include <cstdlib>

#include "model/clock.h"
#include "model/global_state.h"
#include "model/process.h"
#include "model/system.h"

namespace {

// Calls visit(clock, isLower, constant) for each clock compared by a clock guard.
template <class Visit>
void forEachComparison(const std::vector<Ref<Guard>>& guards, Visit&& visit) {
  for (const Ref<Guard>& g : guards) {
    if (g->kind() != 4) continue;
    const auto* guard = static_cast<const ClockGuard*>(g.get());
    const std::int32_t i = guard->first(), j = guard->second();
    const std::int32_t c = std::abs(guard->rawBound() >> 1);
    const bool iReference = ClockInfo::isReference(i), jReference = ClockInfo::isReference(j);
    if (iReference && jReference) continue;
    if (jReference) {
      visit(i, false, c);
    } else if (iReference) {
      visit(j, true, c);
    } else {
      for (std::int32_t x : {i, j}) {
        visit(x, true, c);
        visit(x, false, c);
      }
    }
  }
}

}  // namespace

ClockBounds::ClockBounds(const System& system, const std::vector<std::int32_t>& everywhere)
    : clocks_(ClockInfo::count()) {
  base_.assign(std::size_t(2 * clocks_), noClockBound);
  for (std::size_t x = 1; x < everywhere.size() && int(x) < clocks_; ++x)
    if (everywhere[x] >= 0) base_[x] = base_[clocks_ + x] = everywhere[x];
  processes_.resize(std::size_t(system.processCount()));
  std::vector<int> slot(static_cast<std::size_t>(clocks_), 0);
  for (int p = 0; p < system.processCount(); ++p) {
    const Process& process = *system.process(p);
    ProcessBounds& bounds = processes_[std::size_t(p)];
    std::vector<bool> read(std::size_t(clocks_), false);
    auto mark = [&](std::int32_t x, bool, std::int32_t) {
      if (x > 0 && x < clocks_) read[std::size_t(x)] = true;
    };
    const int locations = process.locationCount();
    for (int l = 0; l < locations; ++l) forEachComparison(process.location(l)->invariant(), mark);
    for (int e = 0; e < process.edgeCount(); ++e) forEachComparison(process.edge(e)->guards(), mark);
    for (int x = 1; x < clocks_; ++x)
      if (read[std::size_t(x)]) {
        slot[std::size_t(x)] = int(bounds.clocks.size());
        bounds.clocks.push_back(x);
      }
    const std::size_t width = bounds.clocks.size();
    bounds.offset = table_.size();
    table_.resize(table_.size() + std::size_t(locations) * 2 * width, noClockBound);
    std::int32_t* t = table_.data() + bounds.offset;
    auto raiseAt = [&](int l) {
      return [&, l](std::int32_t x, bool isLower, std::int32_t c) {
        if (x <= 0 || x >= clocks_) return;
        std::int32_t& b = t[std::size_t(l) * 2 * width + (isLower ? 0 : width) + slot[x]];
        b = std::max(b, c);
      };
    };
    for (int l = 0; l < locations; ++l) forEachComparison(process.location(l)->invariant(), raiseAt(l));
    for (int e = 0; e < process.edgeCount(); ++e) {
      const Transition* edge = process.edge(e);
      if (edge->source() >= 0 && edge->source() < locations)
        forEachComparison(edge->guards(), raiseAt(edge->source()));
    }
    // Propagate backwards along edges that do not assign the clock, until nothing grows.
    std::vector<bool> assigned(width);
    for (bool grew = true; grew;) {
      grew = false;
      for (int e = 0; e < process.edgeCount(); ++e) {
        const Transition* edge = process.edge(e);
        const int from = edge->source(), to = edge->destination();
        if (from < 0 || to < 0 || from >= locations || to >= locations) continue;
        std::fill(assigned.begin(), assigned.end(), false);
        for (const Ref<Assignment>& a : edge->assignments()) {
          if (a->kind() != 4) continue;
          const std::int32_t x = static_cast<const ClockAssign*>(a.get())->clock();
          if (x > 0 && x < clocks_ && read[std::size_t(x)]) assigned[std::size_t(slot[x])] = true;
        }
        std::int32_t* source = t + std::size_t(from) * 2 * width;
        const std::int32_t* target = t + std::size_t(to) * 2 * width;
        for (std::size_t k = 0; k < width; ++k) {
          if (assigned[k]) continue;
          for (std::size_t half : {std::size_t(0), width}) {
            if (target[half + k] > source[half + k]) {
              source[half + k] = target[half + k];
              grew = true;
            }
          }
        }
      }
    }
  }
  scratch_.resize(std::size_t(2 * clocks_));
}

int ClockBounds::find(int process, int clock) const {
  const std::vector<std::int32_t>& clocks = processes_[std::size_t(process)].clocks;
  auto it = std::lower_bound(clocks.begin(), clocks.end(), clock);
  return it != clocks.end() && *it == clock ? int(it - clocks.begin()) : -1;
}

std::int32_t ClockBounds::lower(int process, int location, int clock) const {
  const ProcessBounds& bounds = processes_[std::size_t(process)];
  const int k = find(process, clock);
  if (k < 0) return base_[std::size_t(clock)];
  return std::max(base_[std::size_t(clock)],
                  table_[bounds.offset + std::size_t(location) * 2 * bounds.clocks.size() + k]);
}

std::int32_t ClockBounds::upper(int process, int location, int clock) const {
  const ProcessBounds& bounds = processes_[std::size_t(process)];
  const int k = find(process, clock);
  const std::int32_t everywhere = base_[std::size_t(clocks_ + clock)];
  if (k < 0) return everywhere;
  const std::size_t width = bounds.clocks.size();
  return std::max(everywhere, table_[bounds.offset + std::size_t(location) * 2 * width + width + k]);
}

void ClockBounds::combine(const GlobalState* state) const {
  std::copy(base_.begin(), base_.end(), scratch_.begin());
  std::int32_t* lowerOut = scratch_.data();
  std::int32_t* upperOut = lowerOut + clocks_;
  const int n = std::min<int>(state->processCount(), int(processes_.size()));
  for (int p = 0; p < n; ++p) {
    const ProcessBounds& bounds = processes_[std::size_t(p)];
    const std::size_t width = bounds.clocks.size();
    if (width == 0) continue;
    const std::int32_t* row = table_.data() + bounds.offset + std::size_t(state->location(p)) * 2 * width;
    for (std::size_t k = 0; k < width; ++k) {
      const std::int32_t x = bounds.clocks[k];
      lowerOut[x] = std::max(lowerOut[x], row[k]);
      upperOut[x] = std::max(upperOut[x], row[width + k]);
    }
  }
}
