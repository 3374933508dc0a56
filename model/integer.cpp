#include "model/integer.h"
#include "model/model_tables.h"

#include <cstring>
#include <new>
#include <ostream>

#include "model/global_state.h"
#include "model/symbol_table.h"

IntegerValuation* IntegerValuation::create(std::int32_t cells) {
  if (cells < 0) cells = 0;
  void* block =
      ::operator new(sizeof(IntegerValuation) + std::size_t(cells) * sizeof(std::int32_t));
  IntegerValuation* valuation = new (block) IntegerValuation(cells);
  std::memset(valuation->cells(), 0, std::size_t(cells) * sizeof(std::int32_t));
  return valuation;
}

IntegerValuation* IntegerValuation::copy(const IntegerValuation* from) {
  if (!from) return nullptr;
  std::size_t bytes = sizeof(IntegerValuation) + std::size_t(from->count_) * sizeof(std::int32_t);
  void* block = ::operator new(bytes);
  std::memcpy(block, static_cast<const void*>(from), bytes);
  return static_cast<IntegerValuation*>(block);
}

void IntegerValuation::destroy(IntegerValuation* valuation) {
  if (valuation) ::operator delete(static_cast<void*>(valuation));
}

int IntegerValuation::equal(const IntegerValuation* a, const IntegerValuation* b) {
  if (a == b) return 4;
  std::int32_t na = a ? a->count_ : 0, nb = b ? b->count_ : 0;
  if (na != nb) return 0;
  if (na == 0) return 4;
  return std::memcmp(a->cells(), b->cells(), std::size_t(na) * sizeof(std::int32_t)) == 0 ? 4 : 0;
}

std::int32_t IntegerVariables::declare(std::int32_t symbolIndex, std::int32_t process,
                                       std::int32_t lo, std::int32_t hi, std::int32_t init,
                                       std::int32_t size) {
  std::int32_t offset = variables_.empty() ? 0 : variables_.back().offset + variables_.back().size;
  std::string name = symbols().find(integerKind, symbolIndex).name;
  if (process != -1) name = std::string(symbols().find(processKind, process).name) + "." + name;
  variables_.push_back({symbolIndex, process, lo, hi, init, offset, size, std::move(name)});
  return std::int32_t(variables_.size()) - 1;
}

const IntegerVariable* IntegerVariables::find(std::int32_t number) const {
  if (number < 0 || number >= size()) return nullptr;
  return &variables_[number];
}

std::int32_t IntegerVariables::cellCount() const {
  return variables_.empty() ? 0 : variables_.back().offset + variables_.back().size;
}

IntegerValuation* IntegerVariables::createValuation(std::int32_t cells, bool fill) const {
  IntegerValuation* valuation = IntegerValuation::create(cells);
  if (fill)
    for (const IntegerVariable& v : variables_)
      for (std::int32_t i = 0; i < v.size; ++i)
        if (v.offset + i < valuation->size()) (*valuation)[v.offset + i] = v.init;
  return valuation;
}

namespace {
// A cell the valuation may not have (a state read from text can be short) prints as 0.
std::int32_t cellOf(const IntegerValuation* valuation, std::int32_t cell) {
  return valuation && cell >= 0 && cell < valuation->size() ? (*valuation)[cell] : 0;
}
}  // namespace

void IntegerVariables::print(std::ostream& out, const IntegerValuation* valuation) const {
  for (const IntegerVariable& v : variables_) {
    out << v.name << '=';
    if (v.size == 1) {
      out << cellOf(valuation, v.offset);
    } else {
      out << '{';
      for (std::int32_t i = 0; i < v.size; ++i)
        out << (i ? "," : "") << cellOf(valuation, v.offset + i);
      out << '}';
    }
    out << ' ';
  }
}

void IntegerVariables::printConjunction(std::ostream& out,
                                        const IntegerValuation* valuation) const {
  for (const IntegerVariable& v : variables_) {
    out << " and ";
    if (v.size == 1) {
      out << v.name << "==" << cellOf(valuation, v.offset);
    } else {
      for (std::int32_t i = 0; i < v.size; ++i)
        out << (i ? " and " : "") << v.name << '[' << i << "]==" << cellOf(valuation, v.offset + i);
    }
  }
}

void IntegerVariables::dump(std::ostream& out, std::int32_t number) const {
  const IntegerVariable* v = find(number);
  if (!v) return;
  out << "Integer #" << number << " -- " << v->name << " (" << v->offset << '-'
      << v->offset + v->size - 1 << ")\n"
      << "  Domain: [" << v->lo << ", " << v->hi << "] = " << v->init << '\n';
}

IntegerVariables& integerVariables() { return modelTables().integers; }
