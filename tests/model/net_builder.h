// tests/model/net_builder.h: small networks of timed automata built in code for the model tests,
// with fresh model tables for every network.
#pragma once
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

#include "model/channel.h"
#include "model/clock.h"
#include "model/global_state.h"
#include "model/integer.h"
#include "model/integer_expression.h"
#include "model/process.h"
#include "model/symbol_table.h"
#include "model/system.h"
#include "tests/support/zone_builder.h"
#include "zones/zone.h"

namespace net {

using GuardList = std::vector<Ref<Guard>>;
using UpdateList = std::vector<Ref<Assignment>>;

// Empties every table of the current model and adds the reference clock.
inline void resetTables() {
  symbols() = SymbolTable();
  channels() = Channels();
  integerVariables() = IntegerVariables();
  ClockInfo::table() = ClockTable();
  ClockInfo::addClock(-1, -1, "t(0)");
}

inline int clock(const char* name) {
  symbols().declare(name, clockKind, 0);
  int symbol = symbols().counter(clockKind) - 1;
  int number = ClockInfo::addClock(symbol, -1, name);
  symbols().setExtra(clockKind, symbol, number);
  return number;
}

// Channel number (from 1); sending is +c, receiving -c.
inline int channel(const char* name, bool urgent = false) {
  int number = channels().add(urgent, name);
  symbols().declare(name, channelKind, number);
  return number;
}

inline int variable(const char* name, int lo, int hi, int init, int size = 1) {
  symbols().declare(name, integerKind, integerVariables().size());
  return integerVariables().declare(symbols().counter(integerKind) - 1, -1, lo, hi, init, size);
}

// An integer variable starting at its default value.
inline int intVar(const char* name, int lo, int hi, int size = 1) {
  return variable(name, lo, hi, defaultIntegerValue(lo, hi), size);
}

// A one-process state holding the initial values of the integer variables.
inline Ref<GlobalState> valueState() {
  Ref<GlobalState> state(GlobalState::create(1));
  state->setValuation(integerVariables().createValuation(true));
  return state;
}

inline Ref<IntegerExpression> num(int value) { return new ConstantExpression(value); }
inline Ref<VariableExpression> var(int v, Ref<IntegerExpression> index = nullptr) {
  return new VariableExpression(v, integerVariables()[v].symbolIndex, std::move(index));
}
inline Ref<Guard> test(Ref<IntegerExpression> left, int op, Ref<IntegerExpression> right) {
  return new IntegerGuard(std::move(left), op, std::move(right));
}
inline Ref<Guard> varEquals(int v, int value) {
  return test(var(v), IntegerGuard::opEqual, num(value));
}
inline Ref<Assignment> assign(Ref<VariableExpression> target, Ref<IntegerExpression> value) {
  return new IntegerAssign(std::move(target), std::move(value));
}
// x <= c (or < c), x >= c (or > c), x - y <= c.
inline Ref<Guard> atMost(int x, int c, bool strict = false) {
  return new ClockGuard(x, 0, c, strict);
}
inline Ref<Guard> atLeast(int x, int c, bool strict = false) {
  return new ClockGuard(0, x, -c, strict);
}
inline Ref<Guard> difference(int x, int y, int c) { return new ClockGuard(x, y, c, false); }
inline Ref<Assignment> reset(int x, int value = 0) { return new ClockAssign(x, value); }

// An automaton under construction; locations are numbered in the order they are added.
class Automaton {
 public:
  explicit Automaton(const char* name) {
    symbols().declare(name, processKind, 0);
    symbol_ = symbols().counter(processKind) - 1;
    process_ = new Process();
    process_->setProcessSymbol(symbol_);
    process_->setFirstSymbol(symbols().counter(stateKind));
    process_->setInitial(0);
  }
  int location(const char* name, bool committed = false, bool urgent = false,
               GuardList invariant = {}) {
    symbols().declare(name, stateKind, process_->locationCount());
    int number = process_->locationCount();
    Ref<ControlState> l(new ControlState(std::int16_t(number), symbols().counter(stateKind) - 1,
                                         committed, urgent));
    for (Ref<Guard>& g : invariant) l->addInvariant(std::move(g));
    process_->addLocation(std::move(l));
    return number;
  }
  Transition* edge(int from, int to, int sync = 0, GuardList guards = {}, UpdateList updates = {}) {
    Ref<Transition> e(new Transition(sync, std::move(guards), std::move(updates)));
    e->setSource(std::int16_t(from));
    e->setDestination(std::int16_t(to));
    Transition* raw = e.get();
    process_->addEdge(std::move(e));
    return raw;
  }
  Ref<Process> process() const { return process_; }
  std::int32_t symbol() const { return symbol_; }

 private:
  Ref<Process> process_;
  std::int32_t symbol_;
};

// Places the automata in order, prepares the system and collects the clock constants.
inline Ref<System> build(std::initializer_list<const Automaton*> automata) {
  Ref<System> system(new System(int(automata.size())));
  int p = 0;
  for (const Automaton* a : automata) {
    Symbol& s = symbols().find(processKind, a->symbol());
    s.extra = (p << 16) | (s.extra & 0xFFFF);
    system->setProcess(p++, a->process());
  }
  system->prepare();
  system->storeConstants();
  return system;
}

inline std::string zoneText(const GlobalState* state) { return printed(*state->zone()); }

inline std::vector<int> locations(const GlobalState* state) {
  std::vector<int> result;
  for (int p = 0; p < state->processCount(); ++p) result.push_back(state->location(p));
  return result;
}

inline int cell(const GlobalState* state, int k) { return (*state->valuation())[k]; }

// "p:k" for a single edge, "p:k+q:m" for a pair: process number and edge position.
inline std::string pairName(const WaitingEntry& entry) {
  std::string text;
  if (entry.first)
    text = std::to_string(entry.first->processNumber()) + ":" +
           std::to_string(entry.first->position()) + "+";
  return text + std::to_string(entry.second->processNumber()) + ":" +
         std::to_string(entry.second->position());
}

}  // namespace net
