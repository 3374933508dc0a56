// model/control_state.h: a location of a process, with its invariant and the indexes the successor
// computation reads (channel bit sets, edges on urgent channels, active clocks).
#pragma once
#include <cstdint>
#include <iosfwd>
#include <vector>

#include "model/guard.h"
#include "base/ref.h"

class Transition;

// A fixed-size set of small numbers held as 64-bit words. Sized once; membership tests outside
// the size answer false, and setting a number outside the size does nothing.
class IndexBits {
 public:
  void resize(int count) {
    count_ = count;
    words_.assign(std::size_t(count + 63) / 64, 0);
  }
  int size() const { return count_; }
  void set(int k) {
    if (k >= 0 && k < count_) words_[std::size_t(k) >> 6] |= std::uint64_t(1) << (k & 63);
  }
  void reset(int k) {
    if (k >= 0 && k < count_) words_[std::size_t(k) >> 6] &= ~(std::uint64_t(1) << (k & 63));
  }
  bool test(int k) const {
    return k >= 0 && k < count_ && (words_[std::size_t(k) >> 6] >> (k & 63) & 1) != 0;
  }
  void clear() {
    for (std::uint64_t& w : words_) w = 0;
  }
  bool any() const {
    for (std::uint64_t w : words_)
      if (w) return true;
    return false;
  }
  // Some number lies in both sets (word by word over the shorter one).
  bool intersects(const IndexBits& other) const {
    std::size_t n = words_.size() < other.words_.size() ? words_.size() : other.words_.size();
    for (std::size_t k = 0; k < n; ++k)
      if (words_[k] & other.words_[k]) return true;
    return false;
  }
  // Adds the members of other that fit; true when something was added.
  bool merge(const IndexBits& other) {
    bool changed = false;
    std::size_t n = words_.size() < other.words_.size() ? words_.size() : other.words_.size();
    for (std::size_t k = 0; k < n; ++k) {
      std::uint64_t w = words_[k] | other.words_[k];
      if (k + 1 == words_.size() && count_ % 64) w &= (std::uint64_t(1) << (count_ % 64)) - 1;
      changed |= w != words_[k];
      words_[k] = w;
    }
    return changed;
  }
  const std::vector<std::uint64_t>& words() const { return words_; }

 private:
  int count_ = 0;
  std::vector<std::uint64_t> words_;
};

// One location. Owned by its process; the edges it lists are shared with the process.
class ControlState : public Object {
 public:
  ControlState(std::int16_t number, std::int32_t symbol, bool committed, bool urgent);
  ~ControlState() override;

  std::int16_t number() const { return number_; }
  std::int32_t symbol() const { return symbol_; }
  bool isCommitted() const { return committed_; }
  bool isUrgent() const { return urgent_; }

  void addInvariant(Ref<Guard> guard);
  const std::vector<Ref<Guard>>& invariant() const { return invariant_; }

  // Sizes the four channel sets to the channel count, all empty, and forgets the urgent edges.
  void initChannelSets();
  // Records channel c (counted from 1) as sent or received on some edge leaving here; urgent
  // marks the urgent pair. Channel numbers beyond the sized sets are ignored.
  void setChannel(int c, bool sending, bool urgent);
  void clearChannel(int c, bool sending, bool urgent);
  const IndexBits& sendChannels() const { return send_; }
  const IndexBits& receiveChannels() const { return receive_; }
  const IndexBits& urgentSendChannels() const { return urgentSend_; }
  const IndexBits& urgentReceiveChannels() const { return urgentReceive_; }
  // The edge set of both pairs can meet: a channel sent here and received there or back.
  bool canSynchroniseWith(const ControlState& other) const {
    return send_.intersects(other.receive_) || receive_.intersects(other.send_);
  }
  bool canSynchroniseUrgentlyWith(const ControlState& other) const {
    return urgentSend_.intersects(other.urgentReceive_) ||
           urgentReceive_.intersects(other.urgentSend_);
  }

  // Edges leaving here that synchronise on an urgent channel, in edge order.
  void addUrgentEdge(Ref<Transition> edge);
  const std::vector<Ref<Transition>>& urgentEdges() const { return urgentEdges_; }

  // Active clocks: the clocks some path from here reads before resetting them.
  const ClockSet& activeClocks() const { return active_; }
  const IndexBits& activeClockBits() const { return activeBits_; }
  bool isActive(int clock) const { return active_.count(clock) != 0; }
  void clearActiveClocks();
  // Adds clocks; true when the set grew.
  bool addActiveClocks(const ClockSet& clocks);
  void addActiveClock(int clock);

  // Raises the maximal clock constants and records diagonal guards of the invariant.
  void collectConstants(std::vector<std::int32_t>& maximal, DiagonalGuards& diagonals) const;
  // Clocks the invariant reads.
  void collectClocks(std::int32_t owner, ClockSet& tested) const;
  // "{ " guards separated by ", " "}"
  void printInvariant(std::ostream& out) const;

 private:
  std::int16_t number_;
  bool committed_;
  bool urgent_;
  std::int32_t symbol_;
  IndexBits send_, receive_;
  IndexBits urgentSend_, urgentReceive_;
  std::vector<Ref<Transition>> urgentEdges_;
  std::vector<Ref<Guard>> invariant_;
  ClockSet active_;
  IndexBits activeBits_;  // mirrors active_, for the union over a state's locations
};
