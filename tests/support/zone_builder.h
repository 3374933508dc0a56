// tests/support/zone_builder.h: zones from readable text (the one zone builder of all tests), a
// private clock table, point membership.
#pragma once
#include <initializer_list>
#include <memory>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "model/clock.h"
#include "model/symbol_table.h"
#include "zones/zone.h"

using ZonePtr = std::unique_ptr<UnpackedZone>;
using PackedPtr = std::unique_ptr<PackedZone>;

// Installs an empty symbol table and a clock table "t(0)" followed by the given global clocks
// (or c1, c2, ...) for the lifetime of the scope; the previous tables come back afterwards.
class ClockScope {
 public:
  explicit ClockScope(const std::vector<std::string>& names) {
    symbols() = SymbolTable();
    ClockInfo::table() = ClockTable();
    ClockInfo::addClock(-1, -1, "t(0)");
    for (std::size_t k = 0; k < names.size(); ++k)
      ClockInfo::addClock(std::int32_t(k), -1, names[k].c_str());
  }
  ClockScope(std::initializer_list<const char*> names)
      : ClockScope(std::vector<std::string>(names.begin(), names.end())) {}
  explicit ClockScope(int clocks) : ClockScope(numbered(clocks)) {}
  ~ClockScope() {
    ClockInfo::table() = std::move(saved_);
    symbols() = std::move(savedSymbols_);
  }
  ClockScope(const ClockScope&) = delete;
  ClockScope& operator=(const ClockScope&) = delete;

 private:
  static std::vector<std::string> numbered(int clocks) {
    std::vector<std::string> names;
    for (int k = 1; k <= clocks; ++k) names.push_back("c" + std::to_string(k));
    return names;
  }
  ClockTable saved_ = ClockInfo::table();
  SymbolTable savedSymbols_ = symbols();
};

inline int clockNumber(const std::string& name) {
  for (int k = 0; k < ClockInfo::count(); ++k)
    if (name == ClockInfo::name(k)) return k;
  throw std::invalid_argument("unknown clock " + name);
}

// "x <= 5, y - x < 2, z == 1, y > 3": every item tightens the initial zone; the result is closed.
// Text "" is the unconstrained zone.
inline ZonePtr zoneOf(const std::string& text) {
  static const std::regex form(
      R"(\s*([\w.()]+)\s*(?:-\s*([\w.()]+))?\s*(<=|<|>=|>|==)\s*(-?\d+)\s*)");
  ZonePtr zone(UnpackedZone::create(ClockInfo::count(), true));
  std::istringstream items(text);
  for (std::string item; std::getline(items, item, ',');) {
    std::smatch m;
    if (item.find_first_not_of(' ') == std::string::npos) continue;
    if (!std::regex_match(item, m, form)) throw std::invalid_argument("bad constraint " + item);
    int i = clockNumber(m[1]), j = m[2].matched ? clockNumber(m[2]) : 0, c = std::stoi(m[4]);
    const std::string relation = m[3];
    if (relation[0] == '<' || relation == "==") zone->tighten(i, j, c, relation == "<");
    if (relation[0] == '>' || relation == "==") zone->tighten(j, i, -c, relation == ">");
  }
  zone->close();
  return zone;
}

// The readable form, or with query the form a property reads.
inline std::string printed(const Zone& zone, bool query = false) {
  std::ostringstream out;
  if (query) {
    zone.printConstraints(out, ClockInfo::names());
  } else {
    zone.print(out, ClockInfo::names());
  }
  return out.str();
}

// A point is one value per clock in units of 1/unit (p[0] is the reference clock, 0).
using Point = std::vector<int>;

// Whether a difference of clock values (in units of 1/unit) meets the raw bound.
inline bool within(long difference, std::int32_t raw, int unit = 4) {
  if (isInfinite(raw)) return true;
  long limit = long(unit) * boundValue(raw);
  return isStrict(raw) ? difference < limit : difference <= limit;
}

inline bool contains(const UnpackedZone& zone, const Point& p, int unit = 4) {
  for (int i = 0; i < zone.dimension(); ++i)
    for (int j = 0; j < zone.dimension(); ++j)
      if (i != j && !within(long(p[i]) - p[j], zone.at(i, j), unit)) return false;
  return true;
}

// The values 0, step, 2 step, ... up to last.
inline std::vector<int> every(int step, int last) {
  std::vector<int> values;
  for (int v = 0; v <= last; v += step) values.push_back(v);
  return values;
}

// Every point whose clocks 1 to dim - 1 all take values from the list.
inline std::vector<Point> grid(int dim, const std::vector<int>& values) {
  std::vector<Point> points;
  std::vector<std::size_t> at(std::size_t(dim), 0);
  for (;;) {
    Point p(std::size_t(dim), 0);
    for (int k = 1; k < dim; ++k) p[k] = values[at[k]];
    points.push_back(p);
    int k = 1;
    while (k < dim && ++at[k] == values.size()) at[k++] = 0;
    if (k >= dim) return points;
  }
}

// Every point with clock values 0, 1/2, 1, ..., top/2, in quarters.
inline std::vector<Point> halfIntegerPoints(int dim, int top) {
  return grid(dim, every(2, 2 * top));
}

// A closed non-empty zone from a few random constraints with constants in [-range, range].
inline ZonePtr randomZone(std::mt19937& random, int dim, int constraints, int range) {
  for (;;) {
    ZonePtr zone(UnpackedZone::create(dim, true));
    std::uniform_int_distribution<int> clock(0, dim - 1), constant(-range, range), coin(0, 1);
    for (int k = 0; k < constraints; ++k) {
      int i = clock(random), j = clock(random);
      if (i == j) continue;
      zone->tighten(i, j, constant(random), coin(random));
    }
    zone->fullClose();
    if (!zone->isEmpty()) return zone;
  }
}
