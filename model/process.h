// model/process.h: one timed automaton of the network: its locations and edges, indexed by
// location after reading.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "model/control_state.h"
#include "base/ref.h"
#include "model/transition.h"

class Process : public Object {
 public:
  Process() = default;
  // firstSymbol: symbol index of location 0; initial: initial location number.
  Process(std::int32_t firstSymbol, std::int16_t initial);
  ~Process() override;
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // A location takes the next number; its number() must equal its position.
  void addLocation(Ref<ControlState> location);
  // Appends an edge; the process becomes its owner and its position is the edge's index.
  void addEdge(Ref<Transition> edge);
  void setInitial(std::int16_t location) { initial_ = location; }
  void setFirstSymbol(std::int32_t symbol) { firstSymbol_ = symbol; }
  void setProcessSymbol(std::int32_t symbol) { processSymbol_ = symbol; }

  std::int16_t initial() const { return initial_; }
  std::int32_t firstSymbol() const { return firstSymbol_; }
  std::int32_t processSymbol() const { return processSymbol_; }
  // Number in the system; -1 until placed.
  std::int32_t number() const { return number_; }
  int locationCount() const { return int(locations_.size()); }
  int edgeCount() const { return int(edges_.size()); }
  ControlState* location(int k) const { return locations_[std::size_t(k)].get(); }
  Transition* edge(int k) const { return edges_[std::size_t(k)].get(); }
  // Edges leaving or entering location k, in edge order; filled by prepare().
  const std::vector<Ref<Transition>>& outgoing(int k) const { return outgoing_[std::size_t(k)]; }
  const std::vector<Ref<Transition>>& incoming(int k) const { return incoming_[std::size_t(k)]; }
  bool isLoopEntry(int k) const { return loopEntries_.test(k); }

  // Gives every edge process number p and its index as position; done when the system places
  // the process in slot p.
  void numberEdges(std::int32_t p);
  // A separate process with the same locations and edges (labels shared, since they never
  // change), not yet prepared or placed. Used when one automaton fills two slots.
  Ref<Process> clone() const;

  // Once, after reading: indexes edges by location, fills the channel sets and urgent edges,
  // finds the loop entries, and computes the active clocks.
  void prepare();
  // Active clocks of every location: what the invariant reads, plus what a path from there
  // reads before a reset. Adds to the present sets; empty them first to start over.
  void computeActiveClocks();
  // Every edge in declaration order, then every invariant in location order.
  void collectConstants(std::vector<std::int32_t>& maximal, DiagonalGuards& diagonals) const;
  void print(std::ostream& out) const;

 private:
  void findLoopEntries(const std::vector<std::vector<int>>& adjacent);

  std::int16_t initial_ = -1;
  std::vector<Ref<ControlState>> locations_;
  std::vector<std::vector<Ref<Transition>>> outgoing_;
  std::vector<std::vector<Ref<Transition>>> incoming_;
  std::vector<Ref<Transition>> edges_;
  std::int32_t firstSymbol_ = -1;
  std::int32_t processSymbol_ = -1;
  std::int32_t number_ = -1;
  IndexBits loopEntries_;
};
