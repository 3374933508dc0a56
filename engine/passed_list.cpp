// engine/passed_list.cpp: passed lists (classic, convex hull, bit state) and the hashed waiting
// lists with their inclusion rules.
#include "engine/passed_list.h"

#include <algorithm>
#include <cassert>

#include "engine/inclusion.h"
#include "zones/zone.h"

namespace {

bool isPrime(unsigned n) {
  if (n < 2) return false;
  for (unsigned d = 2; d * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

// The table size after size: the first prime from twice the size on.
unsigned grownSize(unsigned size) {
  unsigned n = size * 2 + 1;
  while (!isPrime(n)) n += 2;
  return n;
}

const UnpackedZone* unpackedZone(const GlobalState* state) {
  assert(state->zone() && !state->zone()->isPacked());
  return static_cast<const UnpackedZone*>(state->zone());
}

}  // namespace

// --- hash-based passed lists ---

HashBasedPassedList::HashBasedPassedList(Ref<GlobalStateHasher> hasher, unsigned size)
    : size_(size ? size : 1), buckets_(size_, nullptr), hasher_(std::move(hasher)) {}

HashBasedPassedList::~HashBasedPassedList() { delete scratch_; }

Ref<Enumeration<GlobalState>> HashBasedPassedList::enumerate() {
  return new HashBasedPassedListEnumeration(this);
}

void HashBasedPassedList::clear() {
  std::fill(buckets_.begin(), buckets_.end(), nullptr);
  groupPool_.recycle();
  zonePool_.recycle();
  stored_ = 0;
  groups_ = 0;
}

const Signature* HashBasedPassedList::prepare(const UnpackedZone* zone) {
  int dim = zone->dimension();
  if (stored_ == 0) {
    mixed_ = false;
    if (dim != dim_) {
      dim_ = dim;
      zonePool_.reshape(std::size_t(signatureLength(dim)) * sizeof(Signature));
      signature_.assign(std::size_t(signatureLength(dim)), 0);
    }
    clamp_ = signatureClamp();
  } else if (dim != dim_) {
    mixed_ = true;
  }
  if (mixed_) return nullptr;
  zoneSignature(zone, clamp_, signature_.data());
  return signature_.data();
}

HashBasedPassedList::Group* HashBasedPassedList::findGroup(const GlobalState* state,
                                                           unsigned& bucket) const {
  bucket = (*hasher_)(state, size_);
  for (Group* group = buckets_[bucket]; group; group = group->next)
    if (group->key->sameDiscrete(state)) return group;
  return nullptr;
}

int HashBasedPassedList::compare(const ZoneNode* node, const UnpackedZone* zone,
                                 const Signature* signature) {
  if (signature)
    return compareZones(node->state->zone(),
                        static_cast<const Signature*>(NodePool<ZoneNode>::tail(node)), zone,
                        signature, scratch_);
  const Zone* stored = node->state->zone();
  if (stored->dimension() != zone->dimension()) return Zone::noInclusion;
  return compareZones(stored, nullptr, zone, nullptr, scratch_);
}

void HashBasedPassedList::store(Group* group, unsigned bucket, GlobalState* state,
                                const Signature* signature) {
  if (!group) {
    group = groupPool_.make(Group{buckets_[bucket], nullptr, state});
    buckets_[bucket] = group;
    ++groups_;
  }
  ZoneNode* node = zonePool_.make(ZoneNode{group->zones, state});
  if (signature) std::copy(signature, signature + signatureLength(dim_), signatureOf(node));
  group->zones = node;
  group->key = state;
  ++stored_;
  growIfNeeded();
}

void HashBasedPassedList::unlinkZone(ZoneNode** link) {
  ZoneNode* node = *link;
  *link = node->next;
  zonePool_.destroy(node);
  --stored_;
}

void HashBasedPassedList::growIfNeeded() {
  if (groups_ <= size_) return;
  unsigned size = grownSize(size_);
  std::vector<Group*> buckets(size, nullptr);
  for (Group* chain : buckets_) {
    while (chain) {
      Group* group = chain;
      chain = chain->next;
      unsigned bucket = (*hasher_)(group->key, size);
      group->next = buckets[bucket];
      buckets[bucket] = group;
    }
  }
  buckets_.swap(buckets);
  size_ = size;
}

bool HashBasedPassedList::coveredInGroup(Group* group, const UnpackedZone* zone,
                                         const Signature* signature, Widening widen,
                                         const void* context) {
  bool removed = false;
  const int length = signatureLength(dim_);
  ZoneNode** link = &group->zones;
  while (ZoneNode* node = *link) {
    // The signatures settle most pairs without reading the matrices.
    int relation = signature && signaturesExcludeInclusion(signatureOf(node), signature, length)
                       ? int(Zone::noInclusion)
                       : compare(node, zone, signature);
    if (relation == Zone::noInclusion && widen) relation = widen(node, zone, context);
    if (relation == Zone::argIncludes) {
      GlobalState* old = node->state;
      unlinkZone(link);
      GlobalState::destroyRegistered(old);
      removed = true;
    } else if (relation != Zone::noInclusion) {
      // Covered. A group is an antichain, so nothing was removed on the way; keep the key
      // valid all the same.
      if (removed) group->key = group->zones->state;
      return true;
    } else {
      link = &node->next;
    }
  }
  return false;
}

Ref<GlobalState> ClassicPassedList::add(Ref<GlobalState> state) {
  const UnpackedZone* zone = unpackedZone(state.get());
  const Signature* signature = prepare(zone);
  unsigned bucket;
  Group* group = findGroup(state.get(), bucket);
  if (group && coveredInGroup(group, zone, signature)) return nullptr;
  store(group, bucket, packed_ ? state->copyPacked(true) : state->copyUnpacked(true), signature);
  return state;
}

Ref<GlobalState> ConvexHullPassedList::add(Ref<GlobalState> state) {
  const UnpackedZone* zone = unpackedZone(state.get());
  const Signature* signature = prepare(zone);
  unsigned bucket;
  Group* group = findGroup(state.get(), bucket);
  if (!group) {
    store(nullptr, bucket, state->copyUnpacked(true), signature);
    return state;
  }
  ZoneNode* node = group->zones;
  int relation = compare(node, zone, signature);
  if (relation == Zone::noInclusion && node->state->zone()->dimension() != zone->dimension()) {
    // Zones of another dimension cannot be joined; keep both.
    store(group, bucket, state->copyUnpacked(true), signature);
    return state;
  }
  if (relation == Zone::argIncludedIn || relation == Zone::equal) return nullptr;
  if (relation == Zone::argIncludes) {
    GlobalState::destroyRegistered(node->state);
    node->state = state->copyUnpacked(true);
    group->key = node->state;
    if (signature) std::copy(signature, signature + signatureLength(dim_), signatureOf(node));
    return state;
  }
  UnpackedZone* stored = static_cast<UnpackedZone*>(node->state->zone());
  stored->convexHull(zone);
  if (signature) zoneSignature(stored, clamp_, signatureOf(node));
  state->setZone(stored->copy());
  return state;
}

BitStatePassedList::BitStatePassedList(Ref<GlobalStateHasher> hasher, unsigned bits)
    : hasher_(std::move(hasher)), bits_(bits ? bits : 1), table_((std::size_t(bits_) + 7) / 8, 0) {}

Ref<GlobalState> BitStatePassedList::add(Ref<GlobalState> state) {
  unsigned h = (*hasher_)(state.get(), bits_);
  std::uint8_t mask = std::uint8_t(1u << (h % 8));
  std::uint8_t& byte = table_[h / 8];
  if (byte & mask) return nullptr;
  byte |= mask;
  return state;
}

void BitStatePassedList::clear() { std::fill(table_.begin(), table_.end(), 0); }

GlobalState* HashBasedPassedListEnumeration::next() {
  if (node_) node_ = node_->next;
  while (!node_) {
    if (group_) group_ = group_->next;
    while (!group_ && bucket_ < list_->size_) group_ = list_->buckets_[bucket_++];
    if (!group_) return nullptr;
    node_ = group_->zones;
  }
  return node_->state;
}

// --- waiting lists ---

HashBasedWaitingList::HashBasedWaitingList(Ref<GlobalStateHasher> hasher, unsigned size, bool stack,
                                           bool hull)
    : buckets_(size ? size : 1, nullptr),
      size_(size ? size : 1),
      hasher_(std::move(hasher)),
      stack_(stack),
      hull_(hull) {}

HashBasedWaitingList::~HashBasedWaitingList() {
  clear();
  delete scratch_;
}

HashBasedWaitingList::Group* HashBasedWaitingList::findGroup(const GlobalState* state,
                                                             unsigned bucket) const {
  for (Group* group = buckets_[bucket]; group; group = group->next)
    if (group->members->entry.state->sameDiscrete(state)) return group;
  return nullptr;
}

void HashBasedWaitingList::addMember(Group* group, Node* node) {
  node->group = group;
  node->memberNext = group->members;
  if (group->members) group->members->memberLink = &node->memberNext;
  group->members = node;
  node->memberLink = &group->members;
}

void HashBasedWaitingList::removeMember(Node* node, bool dropGroup) {
  if (!node->memberLink) return;
  *node->memberLink = node->memberNext;
  if (node->memberNext) node->memberNext->memberLink = node->memberLink;
  Group* group = node->group;
  node->memberNext = nullptr;
  node->memberLink = nullptr;
  node->group = nullptr;
  if (dropGroup && !group->members) {
    *group->link = group->next;
    if (group->next) group->next->link = group->link;
    groupPool_.destroy(group);
    --groups_;
  }
}

void HashBasedWaitingList::put(WaitingEntry entry) {
  const GlobalState* state = entry.state.get();
  const UnpackedZone* zone = unpackedZone(state);
  int dim = zone->dimension();
  if (count_ == 0) {
    mixed_ = false;
    if (dim != dim_) {
      dim_ = dim;
      pool_.reshape(std::size_t(signatureLength(dim)) * sizeof(Signature));
      signature_.assign(std::size_t(signatureLength(dim)), 0);
    }
    clamp_ = signatureClamp();
  } else if (dim != dim_) {
    mixed_ = true;
  }
  const Signature* signature = nullptr;
  if (!mixed_) {
    zoneSignature(zone, clamp_, signature_.data());
    signature = signature_.data();
  }
  unsigned bucket = (*hasher_)(state, size_);
  Group* group = findGroup(state, bucket);
  if (group) {
    for (Node* waiting = group->members; waiting;) {
      Node* next = waiting->memberNext;
      // The waiting state itself is read only when the signatures leave the question open.
      Zone* old = nullptr;
      int relation = Zone::noInclusion;
      if (!signature ||
          !signaturesExcludeInclusion(signatureOf(waiting), signature, signatureLength(dim))) {
        old = waiting->entry.state->zone();
        if (!signature && old->dimension() != dim) {
          waiting = next;
          continue;
        }
        relation = compareZones(old, signature ? signatureOf(waiting) : nullptr, zone, signature,
                                scratch_);
      }
      if (relation == Zone::argIncludes) {
        // Emptied where it stands: get() and isEmpty() skip it later. The group stays, even
        // when it runs empty, for the newcomer.
        removeMember(waiting, false);
        waiting->entry = WaitingEntry{};
      } else if (relation != Zone::noInclusion) {
        return;  // a group is an antichain: nothing was emptied on the way
      } else if (hull_) {
        UnpackedZone* widened = static_cast<UnpackedZone*>(waiting->entry.state->zone());
        widened->convexHull(zone);
        if (signature) zoneSignature(widened, clamp_, signatureOf(waiting));
        return;
      }
      waiting = next;
    }
  }
  Node* node = pool_.make();
  node->entry = std::move(entry);
  if (signature) std::copy(signature, signature + signatureLength(dim), signatureOf(node));
  if (!front_) {
    front_ = back_ = node;
  } else if (stack_) {
    node->orderNext = front_;
    front_->orderPrevious = node;
    front_ = node;
  } else {
    node->orderPrevious = back_;
    back_->orderNext = node;
    back_ = node;
  }
  ++count_;
  if (!group) {
    Group*& head = buckets_[bucket];
    group = groupPool_.make(Group{head, &head, nullptr});
    if (head) head->link = &group->next;
    head = group;
    ++groups_;
  }
  addMember(group, node);
  growIfNeeded();
}

void HashBasedWaitingList::dropFront() {
  Node* node = front_;
  front_ = node->orderNext;
  if (front_)
    front_->orderPrevious = nullptr;
  else
    back_ = nullptr;
  removeMember(node, true);
  pool_.destroy(node);
  --count_;
}

void HashBasedWaitingList::dropEmptyFront() {
  while (front_ && !front_->entry.state) dropFront();
}

WaitingEntry HashBasedWaitingList::get() {
  dropEmptyFront();
  assert(front_);
  WaitingEntry entry = std::move(front_->entry);
  dropFront();
  return entry;
}

bool HashBasedWaitingList::isEmpty() {
  dropEmptyFront();
  return !front_;
}

void HashBasedWaitingList::clear() {
  for (Node* node = front_; node;) {
    Node* next = node->orderNext;
    node->~Node();
    node = next;
  }
  pool_.recycle();
  groupPool_.recycle();
  front_ = back_ = nullptr;
  std::fill(buckets_.begin(), buckets_.end(), nullptr);
  count_ = 0;
  groups_ = 0;
}

void HashBasedWaitingList::growIfNeeded() {
  if (groups_ <= size_) return;
  unsigned size = grownSize(size_);
  std::vector<Group*> buckets(size, nullptr);
  buckets_.swap(buckets);
  size_ = size;
  for (Group* chain : buckets) {
    while (chain) {
      Group* group = chain;
      chain = chain->next;
      Group*& head = buckets_[(*hasher_)(group->members->entry.state.get(), size_)];
      group->next = head;
      group->link = &head;
      if (head) head->link = &group->next;
      head = group;
    }
  }
}

void ActiveClockWaitingListDecorator::put(WaitingEntry entry) {
  system_->reduceActiveClocks(entry.state.get());
  inner_->put(std::move(entry));
}
