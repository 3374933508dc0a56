// model/control_state.cpp: locations.
#include "model/control_state.h"

#include <ostream>

#include "model/channel.h"
#include "model/transition.h"

ControlState::ControlState(std::int16_t number, std::int32_t symbol, bool committed, bool urgent)
    : number_(number), committed_(committed), urgent_(urgent), symbol_(symbol) {}

ControlState::~ControlState() = default;

void ControlState::addInvariant(Ref<Guard> guard) { invariant_.push_back(std::move(guard)); }

void ControlState::initChannelSets() {
  int n = channels().size();
  send_.resize(n);
  receive_.resize(n);
  urgentSend_.resize(n);
  urgentReceive_.resize(n);
  urgentEdges_.clear();
}

void ControlState::setChannel(int c, bool sending, bool urgent) {
  if (urgent) (sending ? urgentSend_ : urgentReceive_).set(c - 1);
  (sending ? send_ : receive_).set(c - 1);
}

void ControlState::clearChannel(int c, bool sending, bool urgent) {
  if (urgent) (sending ? urgentSend_ : urgentReceive_).reset(c - 1);
  (sending ? send_ : receive_).reset(c - 1);
}

void ControlState::addUrgentEdge(Ref<Transition> edge) { urgentEdges_.push_back(std::move(edge)); }

void ControlState::clearActiveClocks() {
  active_.clear();
  activeBits_.clear();
}

void ControlState::addActiveClock(int clock) {
  if (clock < 0) return;
  active_.insert(clock);
  if (clock >= activeBits_.size()) {
    // Grown rarely (once per analysis); rebuilt from the ordered set.
    activeBits_.resize(clock + 64);
    for (int k : active_) activeBits_.set(k);
  }
  activeBits_.set(clock);
}

bool ControlState::addActiveClocks(const ClockSet& clocks) {
  std::size_t before = active_.size();
  for (int k : clocks) addActiveClock(k);
  return active_.size() != before;
}

void ControlState::collectConstants(std::vector<std::int32_t>& maximal,
                                    DiagonalGuards& diagonals) const {
  for (const Ref<Guard>& g : invariant_) g->collectConstants(maximal, diagonals);
}

void ControlState::collectClocks(std::int32_t owner, ClockSet& tested) const {
  ClockSet reset;
  for (const Ref<Guard>& g : invariant_) g->collectClocks(owner, tested, reset);
}

void ControlState::printInvariant(std::ostream& out) const {
  out << "{ ";
  for (std::size_t k = 0; k < invariant_.size(); ++k) {
    if (k) out << ", ";
    invariant_[k]->print(out);
  }
  out << "}";
}
