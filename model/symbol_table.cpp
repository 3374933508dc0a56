#include "model/symbol_table.h"
#include "model/model_tables.h"

#include <cstring>
#include <ostream>

#include "base/error.h"

namespace {
void copyName(char* to, const char* from) {
  std::strncpy(to, from ? from : "", Symbol::nameSize);
  to[Symbol::nameSize - 1] = 0;
}

// The name as the table stores it: its first 63 characters. Two texts are the same name when
// these agree.
std::string storedName(const char* name) {
  return std::string(name, strnlen(name, Symbol::nameSize - 1));
}

std::uint64_t numberKey(std::int32_t kind, std::int32_t index) {
  return (std::uint64_t(std::uint32_t(kind)) << 32) | std::uint32_t(index);
}
}  // namespace

Symbol::Symbol() : kind(-1), index(-1), extra(-1) { name[0] = 0; }

Symbol::Symbol(const char* text, std::int32_t kind_, std::int32_t index_, std::int32_t extra_)
    : kind(kind_), index(index_), extra(extra_) {
  copyName(name, text);
}

Symbol::Symbol(const Symbol& other) : kind(other.kind), index(other.index), extra(other.extra) {
  copyName(name, other.name);
}

Symbol& Symbol::operator=(const Symbol& other) {
  if (this != &other) {
    copyName(name, other.name);
    kind = other.kind;
    index = other.index;
    extra = other.extra;
  }
  return *this;
}

SymbolTable::SymbolTable(int kinds) : frames_(1), indexes_(1), counters_(std::size_t(kinds), 0) {
  active_.push_back(0);
}

std::int32_t SymbolTable::newFrame() {
  frames_.emplace_back();
  indexes_.emplace_back();
  std::int32_t frame = std::int32_t(frames_.size()) - 1;
  active_.push_back(frame);
  return frame;
}

void SymbolTable::pushFrame(std::int32_t frame) { active_.push_back(frame); }

void SymbolTable::popFrame() {
  // The global frame stays at the bottom whatever the callers do.
  if (active_.size() > 1) active_.pop_back();
}

bool SymbolTable::declare(const char* name, std::int32_t kind, std::int32_t extra) {
  std::int32_t index = -1;
  if (kind >= 0 && std::size_t(kind) < counters_.size()) index = counters_[kind]++;
  return insert(Symbol(name, kind, index, extra));
}

bool SymbolTable::insert(const Symbol& symbol) {
  std::int32_t innermost = active_.back();
  if (innermost < 0 || innermost >= frameCount()) return false;
  std::vector<Symbol>& frame = frames_[innermost];
  FrameIndex& index = indexes_[innermost];
  const std::int32_t position = std::int32_t(frame.size());
  if (!index.byName.emplace(storedName(symbol.name), position).second) return false;
  index.byNumber.emplace(numberKey(symbol.kind, symbol.index), position);
  frame.push_back(symbol);
  return true;
}

Symbol& SymbolTable::notFound() {
  notFound_ = Symbol();  // a caller may have written to it
  return notFound_;
}

Symbol& SymbolTable::find(const char* name) {
  for (auto it = active_.rbegin(); it != active_.rend(); ++it) {
    Symbol& candidate = findInFrame(name, *it);
    if (candidate.isFound()) return candidate;
  }
  return notFound();
}

Symbol& SymbolTable::findInFrame(const char* name, std::int32_t frame) {
  if (name && frame >= 0 && frame < frameCount()) {
    const auto& byName = indexes_[frame].byName;
    auto found = byName.find(storedName(name));
    if (found != byName.end()) return frames_[frame][std::size_t(found->second)];
  }
  return notFound();
}

Symbol& SymbolTable::find(std::int32_t kind, std::int32_t index) {
  for (std::int32_t f = 0; f < frameCount(); ++f) {
    Symbol& candidate = findInFrame(kind, index, f);
    if (&candidate != &notFound_) return candidate;
  }
  return notFound();
}

Symbol& SymbolTable::findInFrame(std::int32_t kind, std::int32_t index, std::int32_t frame) {
  if (frame >= 0 && frame < frameCount()) {
    const auto& byNumber = indexes_[frame].byNumber;
    auto found = byNumber.find(numberKey(kind, index));
    if (found != byNumber.end()) return frames_[frame][std::size_t(found->second)];
  }
  return notFound();
}

void SymbolTable::setExtra(const char* name, std::int32_t value) {
  Symbol& s = find(name);
  if (&s == &notFound_) fatalError("Could not find the specified symbol\n");
  s.extra = value;
}

void SymbolTable::setExtra(std::int32_t kind, std::int32_t index, std::int32_t value) {
  Symbol& s = find(kind, index);
  if (&s == &notFound_) fatalError("Could not find the specified symbol\n");
  s.extra = value;
}

std::int32_t SymbolTable::counter(std::int32_t kind) const {
  if (kind < 0 || std::size_t(kind) >= counters_.size()) return 0;
  return counters_[kind];
}

void SymbolTable::dump(std::ostream& out) const {
  for (std::size_t f = 0; f < frames_.size(); ++f) {
    out << "frame: #" << f << '\n';
    for (const Symbol& s : frames_[f])
      out << '<' << s.name << ',' << s.kind << ',' << s.index << ',' << s.extra << '>';
    out << '\n';
  }
  out << "Active frames: ";
  for (std::size_t i = 0; i < active_.size(); ++i) out << (i ? ", " : "") << active_[i];
  out << '\n';
}

SymbolTable& symbols() { return modelTables().symbols; }
