// engine/passed_list.h: passed lists (explored states) and waiting lists (the frontier).
#pragma once
#include <cstdint>
#include <vector>

#include "engine/inclusion.h"
#include "engine/pool.h"
#include "model/global_state.h"
#include "model/global_state_hasher.h"
#include "base/ref.h"
#include "model/system.h"

class UnpackedZone;

// Walks a collection; next() gives a borrowed pointer, null when exhausted.
template <class T>
class Enumeration : public Object {
public:
  virtual T* next() = 0;
};

// Remembers explored states; zone inclusion is applied here and in the waiting lists, nowhere
// else in the engine.
class PassedList : public Object {
public:
  // Over the stored states; null where no states are kept. Not valid across add or clear.
  virtual Ref<Enumeration<GlobalState>> enumerate() = 0;
  // Takes over the caller's handle. Returns the state still to explore (the same object, or
  // one carrying a widened zone), or null when a stored state covers it. The state's zone must
  // be unpacked and closed.
  virtual Ref<GlobalState> add(Ref<GlobalState> state) = 0;
  // Forgets every stored state. The stored copies stay in the registry of live states.
  virtual void clear() = 0;
};

// A hash table whose chains hold groups of stored states with one discrete part each, so a
// new state is compared with the locations and integers of a group once and then only with its
// zones, most of the time through their signatures alone (engine/inclusion.h). Starts at the
// given bucket count and doubles when there are more groups than buckets.
class HashBasedPassedList : public PassedList {
public:
  ~HashBasedPassedList() override;
  Ref<Enumeration<GlobalState>> enumerate() override;
  void clear() override;

  // Stored states, and groups (different discrete parts).
  std::size_t storedCount() const { return stored_; }
  std::size_t groupCount() const { return groups_; }
  unsigned bucketCount() const { return size_; }

protected:
  // Followed in its slot by the signature of the state's zone (engine/inclusion.h).
  struct ZoneNode {
    ZoneNode* next;
    GlobalState* state;  // registered copy, owned by the registry
  };
  struct Group {
    Group* next;
    ZoneNode* zones;
    const GlobalState* key;  // one of the group's states, for the discrete comparison
  };

  HashBasedPassedList(Ref<GlobalStateHasher> hasher, unsigned size);
  // Takes the new state's zone: fixes the signature length and clamp at the first state and
  // computes the zone's signature. Returns the signature, or null once states of different
  // dimensions have met in the list (then every comparison reads the zones).
  const Signature* prepare(const UnpackedZone* zone);
  // The group of state's discrete part in its bucket, or null; bucket receives the bucket.
  Group* findGroup(const GlobalState* state, unsigned& bucket) const;
  // How node's zone relates to the new zone, whose signature prepare() gave.
  int compare(const ZoneNode* node, const UnpackedZone* zone, const Signature* signature);
  // Relates a stored zone to the new one where plain inclusion found none, by a wider covering
  // test; context is what the list passed to coveredInGroup.
  using Widening = int (*)(const ZoneNode* node, const UnpackedZone* zone, const void* context);
  // Keeps group an antichain as the new zone arrives: drops the stored states it covers and
  // answers true, storing nothing, when a stored state covers it. widen, where not null, is
  // asked about the pairs plain inclusion leaves unrelated.
  bool coveredInGroup(Group* group, const UnpackedZone* zone, const Signature* signature,
                      Widening widen = nullptr, const void* context = nullptr);
  // Stores state (a registered copy) with the signature of its zone (null when none).
  void store(Group* group, unsigned bucket, GlobalState* state, const Signature* signature);
  void unlinkZone(ZoneNode** link);
  static Signature* signatureOf(ZoneNode* node) {
    return static_cast<Signature*>(NodePool<ZoneNode>::tail(node));
  }
  void growIfNeeded();

  unsigned size_;
  std::vector<Group*> buckets_;
  Ref<GlobalStateHasher> hasher_;
  NodePool<Group> groupPool_;
  NodePool<ZoneNode> zonePool_;
  std::size_t stored_ = 0;
  std::size_t groups_ = 0;
  int dim_ = 0;                        // zone dimension of the signatures; 0 at first
  std::int32_t clamp_ = 0;             // signature clamp, fixed with the length
  bool mixed_ = false;                 // states of different dimensions met: no signatures
  std::vector<Signature> signature_;   // of the state being added
  UnpackedZone* scratch_ = nullptr;  // for comparisons that need a stored zone unpacked

  friend class HashBasedPassedListEnumeration;
};

// Keeps a copy of every state not covered by a stored one; zones in full matrix form, or
// packed. Every group stays an antichain under inclusion.
class ClassicPassedList final : public HashBasedPassedList {
public:
  ClassicPassedList(Ref<GlobalStateHasher> hasher, unsigned size, bool packed)
      : HashBasedPassedList(std::move(hasher), size), packed_(packed) {}
  Ref<GlobalState> add(Ref<GlobalState> state) override;

private:
  bool packed_;
};

// One state per discrete part, whose zone is the convex hull of all zones seen there.
class ConvexHullPassedList final : public HashBasedPassedList {
public:
  ConvexHullPassedList(Ref<GlobalStateHasher> hasher, unsigned size)
      : HashBasedPassedList(std::move(hasher), size) {}
  Ref<GlobalState> add(Ref<GlobalState> state) override;
};

// One bit per hash value; two states with the same hash value count as one.
class BitStatePassedList final : public PassedList {
public:
  BitStatePassedList(Ref<GlobalStateHasher> hasher, unsigned bits);
  Ref<Enumeration<GlobalState>> enumerate() override { return nullptr; }
  Ref<GlobalState> add(Ref<GlobalState> state) override;
  void clear() override;

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned bits_;
  std::vector<std::uint8_t> table_;
};

// Walks the live table of a hash-based list, bucket by bucket.
class HashBasedPassedListEnumeration final : public Enumeration<GlobalState> {
public:
  explicit HashBasedPassedListEnumeration(const HashBasedPassedList* list) : list_(list) {}
  GlobalState* next() override;

private:
  const HashBasedPassedList* list_;
  unsigned bucket_ = 0;
  const HashBasedPassedList::Group* group_ = nullptr;
  const HashBasedPassedList::ZoneNode* node_ = nullptr;
};

class PassedListFactory : public Object {
public:
  virtual Ref<PassedList> create() = 0;
};

class ClassicPassedListFactory final : public PassedListFactory {
public:
  ClassicPassedListFactory(Ref<GlobalStateHasher> hasher, unsigned size, bool packed)
      : hasher_(std::move(hasher)), size_(size), packed_(packed) {}
  Ref<PassedList> create() override { return new ClassicPassedList(hasher_, size_, packed_); }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned size_;
  bool packed_;
};

class ConvexHullPassedListFactory final : public PassedListFactory {
public:
  ConvexHullPassedListFactory(Ref<GlobalStateHasher> hasher, unsigned size)
      : hasher_(std::move(hasher)), size_(size) {}
  Ref<PassedList> create() override { return new ConvexHullPassedList(hasher_, size_); }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned size_;
};

class BitStatePassedListFactory final : public PassedListFactory {
public:
  BitStatePassedListFactory(Ref<GlobalStateHasher> hasher, unsigned bits)
      : hasher_(std::move(hasher)), bits_(bits) {}
  Ref<PassedList> create() override { return new BitStatePassedList(hasher_, bits_); }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned bits_;
};

// Bucket counts and bit count the server builds its factories with.
constexpr unsigned passedListBuckets = 17609;
constexpr unsigned waitingListBuckets = 1009;
constexpr unsigned bitStateBits = 8388593;

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

protected:
  HashBasedWaitingList(Ref<GlobalStateHasher> hasher, unsigned size, bool stack, bool hull);

private:
  struct Group;
  // Followed in its slot by the signature of the state's zone (engine/inclusion.h).
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
  std::size_t count_ = 0;   // entries in the order list
  std::size_t groups_ = 0;  // groups in the hash index
  NodePool<Node> pool_;
  NodePool<Group> groupPool_;
  int dim_ = 0;                        // zone dimension of the signatures; 0 at first
  std::int32_t clamp_ = 0;             // signature clamp, fixed with the length
  bool mixed_ = false;                 // states of different dimensions met: no signatures
  std::vector<Signature> signature_;   // of the entry being put
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
  HashBasedWaitingListFactory(Ref<GlobalStateHasher> hasher, unsigned size)
      : hasher_(std::move(hasher)), size_(size) {}
  Ref<WaitingList> create() override { return new L(hasher_, size_); }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned size_;
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
