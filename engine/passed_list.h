// engine/passed_list.h: passed lists, the explored states.
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
  // Stored states the list keeps in a form of its own, outside the registry of live states.
  virtual std::size_t unregisteredCount() const { return 0; }
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
  // Keeps group an antichain as the new zone arrives: drops the stored states it covers and
  // answers true, storing nothing, when a stored state covers it.
  bool coveredInGroup(Group* group, const UnpackedZone* zone, const Signature* signature);
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

// Bucket counts and bit count the server builds its passed-list factories with.
constexpr unsigned passedListBuckets = 17609;
constexpr unsigned bitStateBits = 8388593;
