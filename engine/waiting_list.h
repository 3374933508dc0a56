// engine/waiting_list.h: waiting lists, the frontier of an exploration.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/compact_zone.h"
#include "engine/inclusion.h"
#include "engine/pool.h"
#include "model/global_state.h"
#include "model/global_state_hasher.h"
#include "base/ref.h"
#include "model/system.h"

class UnpackedZone;

// Bucket count the server builds its waiting-list factories with.
constexpr unsigned waitingListBuckets = 1009;

// The frontier of an exploration. Every kind keeps a hash index over its waiting states and
// applies inclusion among them: a state covered by a waiting one is not queued, and waiting
// states covered by a newcomer are emptied where they stand.
class WaitingList : public Object {
public:
  // Offers an entry; the list takes over its handles. The state's zone must be unpacked and
  // closed.
  virtual void put(WaitingEntry entry) = 0;
  // Removes and returns the next entry; only when isEmpty() is false.
  virtual WaitingEntry get() = 0;
  // False only when a real (not emptied) entry is waiting.
  virtual bool isEmpty() = 0;
  virtual void clear() = 0;
  // Entries held, emptied ones included.
  virtual int size() = 0;
};

// The common body of the four hashed kinds: the entries form a doubly linked list in order
// (taken from the front; a queue appends at the back, a stack at the front), and a hash index
// over the discrete part whose chains hold groups of waiting entries with one discrete part
// each, so an arriving state is compared with the locations and integers of a group once and
// then only with its zones. The bucket table doubles when there are more groups than buckets.
class HashBasedWaitingList : public WaitingList {
public:
  ~HashBasedWaitingList() override;
  void put(WaitingEntry entry) override;
  WaitingEntry get() override;
  bool isEmpty() override;
  void clear() override;
  int size() override { return int(count_); }

  unsigned bucketCount() const { return size_; }
  // Whether zones wait in compact form (see Node); off at first, and always off in the hull
  // lists. Only on an empty list.
  void keepZonesCompact(bool on) {
    compact_ = on && !hull_;
    dim_ = 0;  // the slots take their new shape at the next put
  }

protected:
  HashBasedWaitingList(Ref<GlobalStateHasher> hasher, unsigned size, bool stack, bool hull);

private:
  struct Group;
  // Followed in its slot by the signature of the state's zone (engine/inclusion.h) and, when
  // zones wait in compact form, room for the zone in 16 bits (engine/compact_zone.h): a zone of
  // the slot's dimension whose bounds fit moves there and the waiting state keeps no zone until
  // it is taken, so the frontier costs about half. (The hull lists widen waiting zones in place.)
  // A waiting state without a zone has it in the slot.
  struct Node {
    WaitingEntry entry;
    Node* orderNext = nullptr;
    Node* orderPrevious = nullptr;
    Node* memberNext = nullptr;
    Node** memberLink = nullptr;  // the pointer that points at this node; null when emptied
    Group* group = nullptr;
  };
  struct Group {
    Group* next;
    Group** link;  // the pointer that points at this group
    Node* members;
  };

  Group* findGroup(const GlobalState* state, unsigned bucket) const;
  void addMember(Group* group, Node* node);
  // Takes the node out of its group; an emptied group goes when dropGroup is set.
  void removeMember(Node* node, bool dropGroup);
  static Signature* signatureOf(Node* node) {
    return static_cast<Signature*>(NodePool<Node>::tail(node));
  }
  std::int16_t* entriesOf(Node* node) const {
    return reinterpret_cast<std::int16_t*>(signatureOf(node) + signatureLength(dim_));
  }
  // How the waiting node's zone relates to the new one (with its signature or null, and its
  // 16-bit entries or null), once the signatures left the question open.
  int relate(Node* node, const UnpackedZone* zone, const Signature* signature,
             const std::int16_t* narrow);
  static bool isCompact(const Node* node) { return !node->entry.state->zone(); }
  void dropFront();
  void dropEmptyFront();
  void growIfNeeded();

  Node* front_ = nullptr;
  Node* back_ = nullptr;
  std::vector<Group*> buckets_;
  unsigned size_;
  Ref<GlobalStateHasher> hasher_;
  bool stack_;
  bool hull_;
  bool compact_ = false;
  std::size_t count_ = 0;   // entries in the order list
  std::size_t groups_ = 0;  // groups in the hash index
  NodePool<Node> pool_;
  NodePool<Group> groupPool_;
  int dim_ = 0;                        // zone dimension of the signatures; 0 at first
  std::int32_t clamp_ = 0;             // signature clamp, fixed with the length
  bool mixed_ = false;                 // states of different dimensions met: no signatures
  std::vector<Signature> signature_;   // of the entry being put
  std::vector<std::int16_t> narrow_;   // its 16-bit entries
  UnpackedZone* scratch_ = nullptr;  // for comparisons that need a stored zone unpacked
};

// First in, first out: breadth-first search.
class WaitingQueue final : public HashBasedWaitingList {
public:
  WaitingQueue(Ref<GlobalStateHasher> hasher, unsigned size)
      : HashBasedWaitingList(std::move(hasher), size, false, false) {}
};

// Last in, first out: depth-first search.
class WaitingStack final : public HashBasedWaitingList {
public:
  WaitingStack(Ref<GlobalStateHasher> hasher, unsigned size)
      : HashBasedWaitingList(std::move(hasher), size, true, false) {}
};

// A queue in which a newcomer with the discrete part of a waiting state and an incomparable
// zone widens that state's zone to the hull of both instead of being queued.
class ConvexHullWaitingQueue final : public HashBasedWaitingList {
public:
  ConvexHullWaitingQueue(Ref<GlobalStateHasher> hasher, unsigned size)
      : HashBasedWaitingList(std::move(hasher), size, false, true) {}
};

class ConvexHullWaitingStack final : public HashBasedWaitingList {
public:
  ConvexHullWaitingStack(Ref<GlobalStateHasher> hasher, unsigned size)
      : HashBasedWaitingList(std::move(hasher), size, true, true) {}
};

// Frees in every arriving state the clocks that no current location reads before resetting
// them, then hands the entry to the wrapped list.
class ActiveClockWaitingListDecorator final : public WaitingList {
public:
  ActiveClockWaitingListDecorator(Ref<System> system, Ref<WaitingList> inner)
      : system_(std::move(system)), inner_(std::move(inner)) {}
  void put(WaitingEntry entry) override;
  WaitingEntry get() override { return inner_->get(); }
  bool isEmpty() override { return inner_->isEmpty(); }
  void clear() override { inner_->clear(); }
  int size() override { return inner_->size(); }

private:
  Ref<System> system_;
  Ref<WaitingList> inner_;
};

class WaitingListFactory : public Object {
public:
  virtual Ref<WaitingList> create() = 0;
};

// Makes hashed waiting lists of kind L (one of the four above).
template <class L>
class HashBasedWaitingListFactory final : public WaitingListFactory {
public:
  HashBasedWaitingListFactory(Ref<GlobalStateHasher> hasher, unsigned size, bool compact = false)
      : hasher_(std::move(hasher)), size_(size), compact_(compact) {}
  Ref<WaitingList> create() override {
    L* list = new L(hasher_, size_);
    list->keepZonesCompact(compact_);
    return list;
  }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned size_;
  bool compact_;
};

using WaitingQueueFactory = HashBasedWaitingListFactory<WaitingQueue>;
using WaitingStackFactory = HashBasedWaitingListFactory<WaitingStack>;
using ConvexHullWaitingQueueFactory = HashBasedWaitingListFactory<ConvexHullWaitingQueue>;
using ConvexHullWaitingStackFactory = HashBasedWaitingListFactory<ConvexHullWaitingStack>;

class ActiveClockWaitingListDecoratorFactory final : public WaitingListFactory {
public:
  ActiveClockWaitingListDecoratorFactory(Ref<System> system, Ref<WaitingListFactory> inner)
      : system_(std::move(system)), inner_(std::move(inner)) {}
  Ref<WaitingList> create() override {
    return new ActiveClockWaitingListDecorator(system_, inner_->create());
  }

private:
  Ref<System> system_;
  Ref<WaitingListFactory> inner_;
};
