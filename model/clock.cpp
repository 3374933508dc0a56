#include "model/clock.h"
#include "model/model_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "model/global_state.h"
#include "model/symbol_table.h"
#include "base/error.h"
#include "zones/zone.h"

namespace {

void raise(std::vector<std::int32_t>& maxConstants, std::int32_t clock, std::int32_t value) {
  if (clock < 0) return;
  if (std::size_t(clock) >= maxConstants.size()) maxConstants.resize(clock + 1, 0);
  maxConstants[clock] = std::max(maxConstants[clock], value);
}

void writeNumber(std::ostream& out, std::int32_t value) {
  if (value == infinityValue || value == -infinityValue)
    out << "inf";
  else
    out << value;
}

std::vector<std::uint8_t>& scratch() { return modelTables().diagonalScratch; }

}  // namespace

// --- ClockGuard ---------------------------------------------------------------------------

bool ClockGuard::apply(GlobalState* state) const {
  return asUnpacked(state->zone())->tightenRaw(i_, j_, raw_);
}

void ClockGuard::print(std::ostream& out) const {
  const std::int32_t c = raw_ >> 1;
  const char* relation = (raw_ & 1) ? "<=" : "<";
  bool iReference = ClockInfo::isReference(i_), jReference = ClockInfo::isReference(j_);
  if (iReference && jReference) return;
  if (iReference) {
    writeNumber(out, -c);
    out << relation << ClockInfo::name(j_);
  } else if (jReference) {
    out << ClockInfo::name(i_) << relation;
    writeNumber(out, c);
  } else {
    out << ClockInfo::name(i_) << '-' << ClockInfo::name(j_) << relation;
    writeNumber(out, c);
  }
}

void ClockGuard::collectConstants(std::vector<std::int32_t>& maxConstants,
                                  DiagonalGuards& diagonals) const {
  const std::int32_t c = raw_ >> 1;
  if (ClockInfo::isReference(i_)) {
    raise(maxConstants, j_, std::abs(c));
  } else if (ClockInfo::isReference(j_)) {
    raise(maxConstants, i_, std::abs(c));
  } else {
    if (c >= 0) raise(maxConstants, i_, c);
    if (c <= 0) raise(maxConstants, j_, -c);
    diagonals.insert(*this);
    diagonals.insert(negation());
  }
}

void ClockGuard::collectClocks(std::int32_t, ClockSet& tested, ClockSet&) const {
  tested.insert(i_);
  tested.insert(j_);
}

ClockGuard ClockGuard::negation() const { return ClockGuard(j_, i_, -(raw_ >> 1), raw_ & 1); }

// --- ClockAssign --------------------------------------------------------------------------

void ClockAssign::apply(GlobalState* state) const {
  asUnpacked(state->zone())->reset(x_, value_);
}

void ClockAssign::release(GlobalState* state) const { release(state->zone()); }

bool ClockAssign::constrain(GlobalState* state) const { return constrain(state->zone()); }

void ClockAssign::release(Zone* zone) const {
  asUnpacked(zone)->free(x_);
}

bool ClockAssign::constrain(Zone* zone) const {
  return asUnpacked(zone)->constrainEqual(x_, value_);
}

void ClockAssign::print(std::ostream& out) const {
  out << ClockInfo::name(x_) << ":=" << value_;
}

void ClockAssign::collectClocks(std::int32_t, ClockSet&, ClockSet& reset) const {
  reset.insert(x_);
}

// --- DiagonalGuards -----------------------------------------------------------------------

void DiagonalGuards::insert(const ClockGuard& guard) {
  insert(DiagonalBound{guard.first(), guard.second(), guard.rawBound()});
}

void DiagonalGuards::insert(const DiagonalBound& bound) {
  auto at = std::lower_bound(bounds_.begin(), bounds_.end(), bound);
  if (at == bounds_.end() || *at != bound) bounds_.insert(at, bound);
}

bool DiagonalGuards::contains(std::int32_t i, std::int32_t j, std::int32_t raw) const {
  return std::binary_search(bounds_.begin(), bounds_.end(), DiagonalBound{i, j, raw});
}

// --- ClockInfo ----------------------------------------------------------------------------

ClockTable& ClockInfo::table() { return modelTables().clocks; }

std::int32_t ClockInfo::addClock(std::int32_t clockSymbol, std::int32_t processSymbol,
                                 const char* name) {
  ClockEntry entry;
  entry.processSymbol = processSymbol;
  entry.number = count();
  entry.clockSymbol = clockSymbol;
  if (name && *name) {
    entry.name = name;
  } else {
    SymbolTable& names = symbols();
    std::string clockName = names.find(clockKind, clockSymbol).name;
    if (processSymbol == -1)
      entry.name = clockName;
    else
      entry.name = std::string(names.find(processKind, processSymbol).name) + "." + clockName;
  }
  table().clocks.push_back(std::move(entry));
  return table().clocks.back().number;
}

void ClockInfo::resolveOwners() {
  for (ClockEntry& entry : table().clocks)
    if (entry.processSymbol != -1)
      entry.owner = symbols().extraOf(processKind, entry.processSymbol) >> 16;
}

void ClockInfo::removeClock(std::int32_t) {
  throw Bug("NI: %s", "static void ClockInfo::removeClock(int)");
}

const char* ClockInfo::name(std::int32_t number) {
  const std::vector<ClockEntry>& clocks = table().clocks;
  if (number >= 0 && std::size_t(number) < clocks.size()) return clocks[number].name.c_str();
  static char fallback[24];
  std::snprintf(fallback, sizeof fallback, "t(%d)", number);
  return fallback;
}

const ClockNames& ClockInfo::names() {
  struct TableNames final : ClockNames {
    const char* clockName(std::int32_t clock) const override { return ClockInfo::name(clock); }
  };
  static const TableNames names;
  return names;
}

bool ClockInfo::isReference(std::int32_t number) {
  const std::vector<ClockEntry>& clocks = table().clocks;
  if (number >= 0 && std::size_t(number) < clocks.size()) return clocks[number].clockSymbol == -1;
  return number == 0;
}

void ClockInfo::setConstants(std::vector<std::int32_t> maxConstants, DiagonalGuards diagonals) {
  table().maxConstants = std::move(maxConstants);
  table().diagonals = std::move(diagonals);
  diagonalScratch();
}

std::uint8_t* ClockInfo::diagonalScratch() {
  std::vector<std::uint8_t>& bytes = scratch();
  if (bytes.size() < table().diagonals.size()) bytes.resize(table().diagonals.size());
  return bytes.data();
}
