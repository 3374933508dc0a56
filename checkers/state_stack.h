// checkers/state_stack.h: a stack of states with a hash index over their discrete parts, for
// finding the states of the current depth-first path that a new state meets.
#pragma once
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "model/global_state.h"
#include "model/global_state_hasher.h"
#include "base/ref.h"
#include "model/transition.h"

// A node of the liveness checker's front: a state of the current path, the edges by which it
// was reached, its hash-chain link and the depth marker (the size of the depth-first stack when
// the node was pushed).
struct FrontNode {
  Ref<GlobalState> state;
  Ref<Transition> first;
  Ref<Transition> second;
  std::int32_t chain = -1;  // next older node in the same bucket, -1 at the end
  std::size_t depth = 0;
};

// Nodes live in one array from the bottom to the top; a chain links the nodes of one bucket,
// newest first. The index grows (with the same hash function) once it holds more nodes than
// buckets, so chains stay short on deep paths.
template <class Node>
class StateStack {
public:
  static constexpr unsigned defaultBuckets = 17609;

  explicit StateStack(Ref<GlobalStateHasher> hasher, unsigned buckets = defaultBuckets)
      : hasher_(std::move(hasher)), buckets_(buckets ? buckets : 1, -1) {}

  // Puts a node on top and at the head of its state's chain; returns it for the caller to fill.
  Node& push(Ref<GlobalState> state, Ref<Transition> first, Ref<Transition> second) {
    if (nodes_.size() >= buckets_.size()) grow();
    unsigned b = bucketOf(state.get());
    Node& node = nodes_.emplace_back();
    node.state = std::move(state);
    node.first = std::move(first);
    node.second = std::move(second);
    node.chain = buckets_[b];
    buckets_[b] = std::int32_t(nodes_.size() - 1);
    return node;
  }

  // Discards empty nodes from the top, then removes the top node and returns its state (null
  // when the stack is empty).
  Ref<GlobalState> pop() {
    while (!nodes_.empty() && !nodes_.back().state) nodes_.pop_back();
    if (nodes_.empty()) return nullptr;
    Node& node = nodes_.back();
    // The top node is the newest of its chain, so it heads it.
    buckets_[bucketOf(node.state.get())] = node.chain;
    Ref<GlobalState> state = std::move(node.state);
    nodes_.pop_back();
    return state;
  }

  bool empty() const { return nodes_.empty(); }
  std::size_t size() const { return nodes_.size(); }
  Node& top() { return nodes_.back(); }
  // Node k counted from the bottom.
  Node& at(std::size_t k) { return nodes_[k]; }
  std::size_t bucketCount() const { return buckets_.size(); }

  // Walks the state's chain, newest first; for every node with the same discrete part whose
  // zone meets the state's zone, calls test(position of the node). Returns the position of the
  // first node the test accepts, or -1.
  template <class Test>
  std::int64_t lookup(const GlobalState* state, Test&& test) {
    for (std::int32_t k = buckets_[bucketOf(state)]; k >= 0; k = nodes_[std::size_t(k)].chain) {
      const GlobalState* other = nodes_[std::size_t(k)].state.get();
      if (!other || !other->sameDiscrete(state) || !zonesMeet(other, state)) continue;
      if (test(std::size_t(k))) return k;
    }
    return -1;
  }

  void clear() {
    nodes_.clear();
    for (std::int32_t& head : buckets_) head = -1;
  }

private:
  unsigned bucketOf(const GlobalState* state) const {
    return (*hasher_)(state, unsigned(buckets_.size()));
  }

  // Twice the buckets, plus one; chains are rebuilt bottom to top so each stays newest first.
  void grow() {
    buckets_.assign(buckets_.size() * 2 + 1, -1);
    for (std::size_t k = 0; k < nodes_.size(); ++k) {
      Node& node = nodes_[k];
      node.chain = -1;
      if (!node.state) continue;
      unsigned b = bucketOf(node.state.get());
      node.chain = buckets_[b];
      buckets_[b] = std::int32_t(k);
    }
  }

  static bool zonesMeet(const GlobalState* a, const GlobalState* b);

  Ref<GlobalStateHasher> hasher_;
  std::vector<std::int32_t> buckets_;
  std::vector<Node> nodes_;
};

// Zones of two states with the same discrete part have a valuation in common.
bool zonesIntersect(const GlobalState* a, const GlobalState* b);

template <class Node>
bool StateStack<Node>::zonesMeet(const GlobalState* a, const GlobalState* b) {
  return zonesIntersect(a, b);
}

// The states of the liveness checker's current depth-first path.
class FrontStack : public StateStack<FrontNode> {
public:
  using StateStack<FrontNode>::StateStack;
};
