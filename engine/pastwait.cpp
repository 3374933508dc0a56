// engine/pastwait.cpp: passed lists (classic, convex hull, bit state) and the hashed waiting
// lists with their inclusion rules.
#include "engine/pastwait.h"

#include <cassert>

#include "zones/region.h"

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

const UnpackedRegion* unpackedZone(const GlobalState* state) {
  assert(state->zone() && !state->zone()->isPacked());
  return static_cast<const UnpackedRegion*>(state->zone());
}

}  // namespace

// --- hash-based passed lists ---

HashBasedPassedList::HashBasedPassedList(Ref<GlobalStateHasher> hasher, unsigned size)
    : size_(size), buckets_(size, nullptr), hasher_(std::move(hasher)) {}

HashBasedPassedList::~HashBasedPassedList() = default;

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

HashBasedPassedList::Group* HashBasedPassedList::findGroup(const GlobalState* state,
                                                           unsigned& bucket) const {
  bucket = (*hasher_)(state, size_);
  for (Group* group = buckets_[bucket]; group; group = group->next)
    if (group->key->sameDiscrete(state)) return group;
  return nullptr;
}

HashBasedPassedList::Group* HashBasedPassedList::newGroup(unsigned bucket, GlobalState* stored) {
  Group* group = groupPool_.make(Group{buckets_[bucket], nullptr, stored});
  buckets_[bucket] = group;
  ++groups_;
  pushZone(group, stored);
  growIfNeeded();
  return group;
}

void HashBasedPassedList::pushZone(Group* group, GlobalState* stored) {
  group->zones = zonePool_.make(ZoneNode{group->zones, stored});
  ++stored_;
}

void HashBasedPassedList::unlinkZone(Group*, ZoneNode** link) {
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

Ref<GlobalState> ClassicPassedList::add(Ref<GlobalState> state) {
  unsigned bucket;
  Group* group = findGroup(state.get(), bucket);
  if (group) {
    const UnpackedRegion* zone = unpackedZone(state.get());
    bool removed = false;
    ZoneNode** link = &group->zones;
    while (ZoneNode* node = *link) {
      int relation = node->state->zone()->relation(zone);
      if (relation == Region::argIncludes) {
        GlobalState* old = node->state;
        unlinkZone(group, link);
        GlobalState::destroyRegistered(old);
        removed = true;
      } else if (relation != Region::noInclusion) {
        // Covered. A group is an antichain, so nothing was removed on the way; keep the key
        // valid all the same.
        if (removed) group->key = group->zones->state;
        return nullptr;
      } else {
        link = &node->next;
      }
    }
  }
  GlobalState* copy = packed_ ? state->copyPacked(true) : state->copyUnpacked(true);
  if (group) {
    pushZone(group, copy);
    group->key = copy;
  } else {
    newGroup(bucket, copy);
  }
  return state;
}

Ref<GlobalState> ConvexHullPassedList::add(Ref<GlobalState> state) {
  unsigned bucket;
  Group* group = findGroup(state.get(), bucket);
  if (!group) {
    newGroup(bucket, state->copyUnpacked(true));
    return state;
  }
  const UnpackedRegion* zone = unpackedZone(state.get());
  ZoneNode* node = group->zones;
  int relation = node->state->zone()->relation(zone);
  if (relation == Region::argIncludes) {
    GlobalState::destroyRegistered(node->state);
    node->state = state->copyUnpacked(true);
    group->key = node->state;
    return state;
  }
  if (relation != Region::noInclusion) return nullptr;
  Region* stored = node->state->zone();
  stored->convexHull(zone);
  state->setZone(stored->copy());
  return state;
}

BitStatePassedList::BitStatePassedList(Ref<GlobalStateHasher> hasher, unsigned bits)
    : hasher_(std::move(hasher)), bits_(bits), table_((std::size_t(bits) + 7) / 8, 0) {}

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

HashBasedWaitingList::HashBasedWaitingList(Ref<GlobalStateHasher> hasher, unsigned size,
                                           bool stack, bool hull)
    : buckets_(size, nullptr), size_(size), hasher_(std::move(hasher)), stack_(stack),
      hull_(hull) {}

HashBasedWaitingList::~HashBasedWaitingList() { clear(); }

void HashBasedWaitingList::chain(Node* node, unsigned bucket) {
  Node*& head = buckets_[bucket];
  node->chainNext = head;
  if (head) head->chainLink = &node->chainNext;
  head = node;
  node->chainLink = &head;
}

void HashBasedWaitingList::unchain(Node* node) {
  if (!node->chainLink) return;
  *node->chainLink = node->chainNext;
  if (node->chainNext) node->chainNext->chainLink = node->chainLink;
  node->chainNext = nullptr;
  node->chainLink = nullptr;
}

void HashBasedWaitingList::put(WaitingEntry entry) {
  const GlobalState* state = entry.state.get();
  unsigned bucket = (*hasher_)(state, size_);
  for (Node* waiting = buckets_[bucket]; waiting;) {
    Node* next = waiting->chainNext;
    GlobalState* old = waiting->entry.state.get();
    int relation;
    if (hull_) {
      if (!old->sameDiscrete(state)) {
        waiting = next;
        continue;
      }
      relation = old->zone()->relation(unpackedZone(state));
    } else {
      relation = old->relation(state);
    }
    if (relation == Region::argIncludes) {
      // Emptied where it stands: get() and isEmpty() skip it later.
      unchain(waiting);
      --chained_;
      waiting->entry = WaitingEntry{};
    } else if (relation != Region::noInclusion) {
      return;
    } else if (hull_) {
      old->zone()->convexHull(unpackedZone(state));
      return;
    }
    waiting = next;
  }
  Node* node = pool_.make();
  node->entry = std::move(entry);
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
  chain(node, bucket);
  ++chained_;
  growIfNeeded();
}

void HashBasedWaitingList::dropFront() {
  Node* node = front_;
  front_ = node->orderNext;
  if (front_)
    front_->orderPrevious = nullptr;
  else
    back_ = nullptr;
  if (node->chainLink) {
    unchain(node);
    --chained_;
  }
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
  front_ = back_ = nullptr;
  std::fill(buckets_.begin(), buckets_.end(), nullptr);
  count_ = 0;
  chained_ = 0;
}

void HashBasedWaitingList::growIfNeeded() {
  if (chained_ <= size_) return;
  size_ = grownSize(size_);
  buckets_.assign(size_, nullptr);
  for (Node* node = front_; node; node = node->orderNext) {
    if (!node->entry.state) continue;
    node->chainLink = nullptr;
    chain(node, (*hasher_)(node->entry.state.get(), size_));
  }
}

void ActiveClockWaitingListDecorator::put(WaitingEntry entry) {
  system_->reduceActiveClocks(entry.state.get());
  inner_->put(std::move(entry));
}
