// Readable texts of model names, edges and states, and JSON quoting.
#include "verify/format.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <utility>

#include "model/global_state.h"
#include "model/integer.h"
#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "model/transition.h"
#include "model/clock.h"
#include "zones/zone.h"

std::string processName(const System& system, int p) {
  if (p < 0 || p >= system.processCount() || !system.process(p)) return "?";
  return symbols().find(processKind, system.process(p)->processSymbol()).name;
}

std::string locationName(const System& system, int p, int location) {
  if (p < 0 || p >= system.processCount() || !system.process(p)) return "?";
  const Process* process = system.process(p);
  if (location < 0 || location >= process->locationCount()) return "?";
  return symbols().find(stateKind, process->location(location)->symbol()).name;
}

std::string edgeLabels(const Transition& edge) {
  std::ostringstream text;
  edge.printLabels(text);
  return text.str();
}

std::string edgeText(const System& system, const Transition& edge) {
  int p = edge.processNumber();
  return processName(system, p) + ": " + locationName(system, p, edge.source()) + " -> " +
         locationName(system, p, edge.destination()) + " " + edgeLabels(edge);
}

namespace {

// " < c" or " <= c" for a raw bound on an upper side.
std::string upperText(std::int32_t raw) {
  return std::string(isStrict(raw) ? " < " : " <= ") + std::to_string(boundValue(raw));
}

// "c < " or "c <= " for the raw bound of the opposite difference, read as a lower bound.
std::string lowerText(std::int32_t raw) {
  return std::to_string(-std::int64_t(boundValue(raw))) + (isStrict(raw) ? " < " : " <= ");
}

}  // namespace

// Clocks whose difference is fixed fall into classes, each with its smallest clock as
// representative (the class of the reference clock holds the clocks with a fixed value). Among
// the representatives, a bound implied by two others through a third clock is left out; without
// zero-weight cycles what remains is the unique smallest set that implies the zone.
std::vector<std::string> zoneConstraints(const Zone& zone) {
  std::unique_ptr<UnpackedZone> closed(zone.unpack());
  closed->fullClose();
  const int dim = closed->dimension();
  auto fixed = [&](int i, int j) {
    std::int32_t up = closed->at(i, j), down = closed->at(j, i);
    return !isInfinite(up) && !isInfinite(down) && !isStrict(up) && !isStrict(down) &&
           boundValue(up) == -boundValue(down);
  };
  std::vector<int> representative(std::size_t(dim), -1);
  for (int i = 0; i < dim; ++i) {
    if (representative[std::size_t(i)] >= 0) continue;
    representative[std::size_t(i)] = i;
    for (int j = i + 1; j < dim; ++j)
      if (representative[std::size_t(j)] < 0 && fixed(i, j)) representative[std::size_t(j)] = i;
  }
  auto isRepresentative = [&](int i) { return representative[std::size_t(i)] == i; };
  auto needed = [&](int i, int j) {
    std::int32_t raw = closed->at(i, j);
    if (i == j || isInfinite(raw)) return false;
    for (int k = 0; k < dim; ++k) {
      if (k == i || k == j || !isRepresentative(k)) continue;
      std::int32_t a = closed->at(i, k), b = closed->at(k, j);
      if (!isInfinite(a) && !isInfinite(b) && addBounds(a, b) <= raw) return false;
    }
    return true;
  };

  std::vector<std::string> items;
  // Fixed values and equal clocks.
  for (int j = 1; j < dim; ++j) {
    int r = representative[std::size_t(j)];
    if (r == j) continue;
    std::int32_t c = boundValue(closed->at(j, r));
    if (r == 0)
      items.push_back(std::string(ClockInfo::name(j)) + " == " + std::to_string(c));
    else if (c == 0)
      items.push_back(std::string(ClockInfo::name(r)) + " == " + ClockInfo::name(j));
    else
      items.push_back(std::string(ClockInfo::name(j)) + " - " + ClockInfo::name(r) +
                      " == " + std::to_string(c));
  }
  // Bounds of single clocks, then of differences, each as one range when both sides count.
  for (int i = 0; i < dim; ++i) {
    if (!isRepresentative(i)) continue;
    for (int j = i + 1; j < dim; ++j) {
      if (!isRepresentative(j)) continue;
      // For i == 0 the term is x_j itself, bounded above by (j, 0) and below by (0, j).
      int high = i == 0 ? j : i, low = i == 0 ? 0 : j;
      std::string term = i == 0 ? std::string(ClockInfo::name(j))
                                : std::string(ClockInfo::name(i)) + " - " + ClockInfo::name(j);
      bool upper = needed(high, low);
      // Every clock is at least 0; that needs no saying.
      bool lower = needed(low, high) && !(i == 0 && closed->at(low, high) == zeroBound);
      std::int32_t above = closed->at(high, low), below = closed->at(low, high);
      if (upper && lower) {
        items.push_back(lowerText(below) + term + upperText(above));
      } else if (upper) {
        if (i != 0 && boundValue(above) == 0)  // x - y <= 0 reads better as x <= y
          items.push_back(std::string(ClockInfo::name(i)) + (isStrict(above) ? " < " : " <= ") +
                          ClockInfo::name(j));
        else
          items.push_back(term + upperText(above));
      } else if (lower) {
        if (i != 0 && boundValue(below) == 0)
          items.push_back(std::string(ClockInfo::name(i)) + (isStrict(below) ? " > " : " >= ") +
                          ClockInfo::name(j));
        else
          items.push_back(term + (isStrict(below) ? " > " : " >= ") +
                          std::to_string(-std::int64_t(boundValue(below))));
      }
    }
  }
  return items;
}

std::vector<std::string> locationNames(const System& system, const GlobalState& state) {
  std::vector<std::string> names;
  for (int p = 0; p < state.processCount() && p < system.processCount(); ++p)
    names.push_back(processName(system, p) + "." + locationName(system, p, state.location(p)));
  return names;
}

std::vector<std::string> variableValues(const GlobalState& state) {
  std::vector<std::string> values;
  const IntegerVariables& variables = integerVariables();
  const IntegerValuation* valuation = state.valuation();
  auto cell = [&](std::int32_t k) -> std::string {
    if (!valuation || k < 0 || k >= valuation->size()) return "?";
    return std::to_string((*valuation)[k]);
  };
  for (std::int32_t v = 0; v < variables.size(); ++v) {
    const IntegerVariable& variable = variables[v];
    if (variable.size == 1) {
      values.push_back(variable.name + " = " + cell(variable.offset));
      continue;
    }
    std::string text = variable.name + " = [";
    for (std::int32_t k = 0; k < variable.size; ++k) {
      if (k) text += ", ";
      text += cell(variable.offset + k);
    }
    values.push_back(text + "]");
  }
  return values;
}

namespace {
// The length of the well-formed UTF-8 sequence at the start of text (no overlong forms, no
// surrogates, nothing beyond U+10FFFF), or 0 when it starts with none.
std::size_t utf8Length(std::string_view text) {
  auto byte = [&](std::size_t k) -> unsigned {
    return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u;
  };
  auto continuation = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) {
    return byte(k) >= lo && byte(k) <= hi;
  };
  unsigned b = byte(0);
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return continuation(1) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF) {
    unsigned lo = b == 0xE0 ? 0xA0 : 0x80, hi = b == 0xED ? 0x9F : 0xBF;
    return continuation(1, lo, hi) && continuation(2) ? 3 : 0;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    unsigned lo = b == 0xF0 ? 0x90 : 0x80, hi = b == 0xF4 ? 0x8F : 0xBF;
    return continuation(1, lo, hi) && continuation(2) && continuation(3) ? 4 : 0;
  }
  return 0;
}
}  // namespace

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t k = 0; k < text.size();) {
    char c = text[k];
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80) {
      // Well-formed UTF-8 is copied; any other byte is written as the code point of its value.
      std::size_t length = utf8Length(text.substr(k));
      if (length) {
        out.append(text, k, length);
        k += length;
      } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", u);
        out += escape;
        ++k;
      }
      continue;
    }
    ++k;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (u < 0x20 || u == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", u);
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string join(const std::vector<std::string>& items, std::string_view separator) {
  std::string out;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k) out += separator;
    out += items[k];
  }
  return out;
}
