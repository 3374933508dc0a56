// model/process.cpp: processes: indexing edges by location, loop entries, active clocks.
#include "model/process.h"

#include <algorithm>
#include <ostream>

#include "model/channel.h"
#include "model/symbol_table.h"

Process::Process(std::int32_t firstSymbol, std::int16_t initial)
    : initial_(initial), firstSymbol_(firstSymbol) {}

Process::~Process() {
  // Edges may outlive their process in traces and waiting entries; they must not point back.
  for (Ref<Transition>& e : edges_)
    if (e->owner() == this) e->setOwner(nullptr);
}

void Process::addLocation(Ref<ControlState> location) { locations_.push_back(std::move(location)); }

void Process::addEdge(Ref<Transition> edge) {
  edge->setOwner(this);
  edge->setPosition(std::int32_t(edges_.size()));
  edges_.push_back(std::move(edge));
}

void Process::numberEdges(std::int32_t p) {
  number_ = p;
  for (std::size_t k = 0; k < edges_.size(); ++k) {
    edges_[k]->setProcessNumber(p);
    edges_[k]->setPosition(std::int32_t(k));
  }
}

Ref<Process> Process::clone() const {
  Ref<Process> copy(new Process(firstSymbol_, initial_));
  copy->processSymbol_ = processSymbol_;
  for (const Ref<ControlState>& l : locations_) {
    Ref<ControlState> c(
        new ControlState(l->number(), l->symbol(), l->isCommitted(), l->isUrgent()));
    for (const Ref<Guard>& g : l->invariant()) c->addInvariant(g);
    copy->addLocation(std::move(c));
  }
  for (const Ref<Transition>& e : edges_) {
    Ref<Transition> t(new Transition(e->synchronisation(), e->guards(), e->assignments()));
    t->setSource(e->source());
    t->setDestination(e->destination());
    copy->addEdge(std::move(t));
  }
  return copy;
}

void Process::prepare() {
  if (number_ < 0 && processSymbol_ >= 0)
    number_ = std::int32_t(std::uint32_t(symbols().extraOf(processKind, processSymbol_)) >> 16);
  const int n = locationCount();
  for (const Ref<ControlState>& l : locations_) l->initChannelSets();
  outgoing_.assign(std::size_t(n), {});
  incoming_.assign(std::size_t(n), {});
  std::vector<std::vector<int>> adjacent(static_cast<std::size_t>(n));

  for (const Ref<Transition>& e : edges_) {
    e->collectClocks();
    const int from = e->source(), to = e->destination();
    // An edge whose ends lie outside the location list cannot be taken; it is left unindexed.
    if (from < 0 || from >= n || to < 0 || to >= n) continue;
    outgoing_[std::size_t(from)].push_back(e);
    incoming_[std::size_t(to)].push_back(e);
    adjacent[std::size_t(from)].push_back(to);
    const std::int32_t sync = e->synchronisation();
    if (sync != 0) {
      ControlState* source = locations_[std::size_t(from)].get();
      const bool urgent = channels().isUrgent(syncChannel(sync));
      source->setChannel(syncChannel(sync), isSending(sync), urgent);
      if (urgent) source->addUrgentEdge(e);
    }
  }

  for (std::vector<int>& row : adjacent) {
    std::sort(row.begin(), row.end());
    row.erase(std::unique(row.begin(), row.end()), row.end());
  }
  findLoopEntries(adjacent);
  for (const Ref<ControlState>& l : locations_) l->clearActiveClocks();
  computeActiveClocks();
}

// Depth-first search from the initial location; a location met again while it is on the
// current path closes a cycle and becomes a loop entry. Written with an explicit stack so that
// long chains of locations cannot exhaust the call stack; the visiting order is that of the
// recursive search: successors in increasing number (adjacent holds them sorted, once each).
void Process::findLoopEntries(const std::vector<std::vector<int>>& adjacent) {
  const int n = locationCount();
  loopEntries_.resize(n);
  if (initial_ < 0 || initial_ >= n) return;
  std::vector<char> visited(std::size_t(n), 0), onPath(std::size_t(n), 0);
  struct Frame {
    int location;
    std::size_t next;  // index of the next successor to look at
  };
  std::vector<Frame> path;
  path.push_back({initial_, 0});
  onPath[std::size_t(initial_)] = 1;
  visited[std::size_t(initial_)] = 1;
  while (!path.empty()) {
    Frame& top = path.back();
    const std::vector<int>& row = adjacent[std::size_t(top.location)];
    if (top.next >= row.size()) {
      onPath[std::size_t(top.location)] = 0;
      path.pop_back();
      continue;
    }
    const int j = row[top.next++];
    if (onPath[std::size_t(j)]) {
      loopEntries_.set(j);
    } else if (!visited[std::size_t(j)]) {
      visited[std::size_t(j)] = 1;
      onPath[std::size_t(j)] = 1;
      path.push_back({j, 0});
    }
  }
}

void Process::computeActiveClocks() {
  const int n = locationCount();
  if (int(outgoing_.size()) != n) return;  // not prepared
  for (int k = 0; k < n; ++k) {
    ControlState* l = locations_[std::size_t(k)].get();
    ClockSet read;
    l->collectClocks(number_, read);
    for (const Ref<Transition>& e : outgoing_[std::size_t(k)])
      read.insert(e->testedClocks().begin(), e->testedClocks().end());
    l->addActiveClocks(read);
  }
  for (bool changed = true; changed;) {
    changed = false;
    for (const Ref<Transition>& e : edges_) {
      const int from = e->source(), to = e->destination();
      if (from < 0 || from >= n || to < 0 || to >= n) continue;
      ControlState* source = locations_[std::size_t(from)].get();
      for (int clock : locations_[std::size_t(to)]->activeClocks())
        if (!e->resetClocks().count(clock) && !source->isActive(clock)) {
          source->addActiveClock(clock);
          changed = true;
        }
    }
  }
}

void Process::collectConstants(std::vector<std::int32_t>& maximal,
                               DiagonalGuards& diagonals) const {
  for (const Ref<Transition>& e : edges_) e->collectConstants(maximal, diagonals);
  for (const Ref<ControlState>& l : locations_) l->collectConstants(maximal, diagonals);
}

void Process::print(std::ostream& out) const {
  SymbolTable& table = symbols();
  auto locationName = [&](int k) -> const char* {
    if (k < 0 || k >= locationCount()) return "?";
    return table.find(stateKind, locations_[std::size_t(k)]->symbol()).name;
  };
  out << "Process: " << table.find(processKind, processSymbol_).name << "\n";
  out << "  Process with " << locationCount() << " states.\n";
  out << "States:\n";
  for (int k = 0; k < locationCount(); ++k) {
    if (loopEntries_.test(k))
      out << "  +" << locationName(k) << "+ ";
    else
      out << "  " << locationName(k) << " ";
    locations_[std::size_t(k)]->printInvariant(out);
    out << "\n";
  }
  out << "Transitions: \n";
  for (const Ref<Transition>& e : edges_) {
    out << "  " << locationName(e->source()) << " -> " << locationName(e->destination()) << " ";
    e->printLabels(out);
    out << "\n";
  }
}
