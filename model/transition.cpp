// model/transition.cpp: edges and the evaluation of their labels.
#include "model/transition.h"

#include <ostream>

#include "model/channel.h"
#include "model/global_state.h"
#include "model/integer_expression.h"
#include "model/symbol_table.h"
#include "base/error.h"
#include "model/clock.h"
#include "zones/zone.h"

Transition::Transition() = default;

Transition::Transition(std::int32_t sync, std::vector<Ref<Guard>> guards,
                       std::vector<Ref<Assignment>> assignments)
    : sync_(sync), guards_(std::move(guards)), assignments_(std::move(assignments)) {}

Transition::~Transition() = default;

void Transition::addGuard(Ref<Guard> guard) { guards_.push_back(std::move(guard)); }

void Transition::addAssignment(Ref<Assignment> assignment) {
  assignments_.push_back(std::move(assignment));
}

bool Transition::applyGuards(GlobalState* state) const {
  // Every guard is applied, also after a failure; the closure is paid once, at the end.
  bool ok = true;
  for (const Ref<Guard>& g : guards_) ok = g->apply(state) && ok;
  return ok && state->closeAndCheck();
}

bool Transition::integerGuardsHold(const GlobalState* state) const {
  bool ok = true;
  for (const Ref<Guard>& g : guards_)
    if (g->kind() == integerKind)
      ok = static_cast<const IntegerGuard*>(g.get())->holds(state) && ok;
  return ok;
}

void Transition::applyAssignments(GlobalState* state) const {
  for (const Ref<Assignment>& a : assignments_) a->apply(state);
}

bool Transition::constrainAssignments(GlobalState* state) const {
  bool ok = true;
  for (const Ref<Assignment>& a : assignments_) ok = a->constrain(state) && ok;
  return ok && state->closeAndCheck();
}

bool Transition::constrainAssignments(Zone* zone) const {
  bool ok = true;
  for (const Ref<Assignment>& a : assignments_) ok = a->constrain(zone) && ok;
  return ok && !zone->isEmpty();
}

void Transition::releaseAssignments(GlobalState* state) const {
  for (const Ref<Assignment>& a : assignments_) a->release(state);
}

void Transition::releaseAssignments(Zone* zone) const {
  for (const Ref<Assignment>& a : assignments_) a->release(zone);
}

void Transition::resetValues(std::int32_t* values) const {
  for (const Ref<Assignment>& a : assignments_)
    if (a->kind() == clockKind) {
      auto* reset = static_cast<const ClockAssign*>(a.get());
      values[reset->clock()] = reset->value();
    }
}

void Transition::collectConstants(std::vector<std::int32_t>& maximal,
                                  DiagonalGuards& diagonals) const {
  for (const Ref<Guard>& g : guards_) g->collectConstants(maximal, diagonals);
}

void Transition::collectClocks() {
  for (const Ref<Guard>& g : guards_) g->collectClocks(processNumber_, tested_, reset_);
  for (const Ref<Assignment>& a : assignments_) a->collectClocks(processNumber_, tested_, reset_);
}

void Transition::printLabels(std::ostream& out) const {
  out << "{ ";
  if (!guards_.empty()) {
    out << "guard ";
    for (std::size_t k = 0; k < guards_.size(); ++k) {
      if (k) out << ", ";
      guards_[k]->print(out);
    }
    out << "; ";
  }
  if (sync_ != 0) {
    const Channel* channel = channels().lookup(syncChannel(sync_));
    out << "sync ";
    if (channel)
      out << channel->name();
    else
      out << syncChannel(sync_);
    out << (sync_ > 0 ? "!; " : "?; ");
  }
  if (!assignments_.empty()) {
    out << "assign ";
    for (std::size_t k = 0; k < assignments_.size(); ++k) {
      if (k) out << ", ";
      assignments_[k]->print(out);
    }
    out << "; ";
  }
  out << "}";
}

void Transition::print() const { throw Bug("%s", "Transition::print() should NOT be used !!"); }
