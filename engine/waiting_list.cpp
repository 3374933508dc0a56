// engine/waiting_list.cpp: the hashed waiting lists with their inclusion rules.
#include "engine/waiting_list.h"

#include <algorithm>
#include <cassert>

#include "engine/inclusion.h"
#include "zones/zone.h"

namespace {

const UnpackedZone* unpackedZone(const GlobalState* state) {
  assert(state->zone() && !state->zone()->isPacked());
  return static_cast<const UnpackedZone*>(state->zone());
}

}  // namespace

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

// Inlined into put(), the one caller: the walk over a group is the hot loop of every put.
inline int HashBasedWaitingList::relate(Node* node, const UnpackedZone* zone,
                                        const Signature* signature, const std::int16_t* narrow) {
  const int dim = zone->dimension();
  const Zone* old = node->entry.state->zone();
  if (compact_ && !old) {
    if (dim != dim_) return Zone::noInclusion;
    return compareCompact(CompactZone{entriesOf(node), dim_, false}, *zone, narrow);
  }
  if (!signature && old->dimension() != dim) return Zone::noInclusion;
  return compareZones(old, signature ? signatureOf(node) : nullptr, zone, signature, scratch_);
}

void HashBasedWaitingList::put(WaitingEntry entry) {
  const GlobalState* state = entry.state.get();
  const UnpackedZone* zone = unpackedZone(state);
  int dim = zone->dimension();
  if (count_ == 0) {
    mixed_ = false;
    if (dim != dim_) {
      dim_ = dim;
      pool_.reshape(std::size_t(signatureLength(dim)) * sizeof(Signature) +
                    (compact_ ? std::size_t(compactEntryCount(dim)) * sizeof(std::int16_t) : 0));
      signature_.assign(std::size_t(signatureLength(dim)), 0);
      if (compact_) narrow_.assign(std::size_t(compactEntryCount(dim)), 0);
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
  const bool narrow = compact_ && dim == dim_ && narrowEntries(*zone, narrow_.data());
  unsigned bucket = (*hasher_)(state, size_);
  Group* group = findGroup(state, bucket);
  if (group) {
    const int length = signatureLength(dim);
    const std::int16_t* entries = narrow ? narrow_.data() : nullptr;
    for (Node* waiting = group->members; waiting;) {
      Node* next = waiting->memberNext;
      // The waiting zone itself is read only when the signatures leave the question open.
      const int relation =
          signature && signaturesExcludeInclusion(signatureOf(waiting), signature, length)
              ? int(Zone::noInclusion)
              : relate(waiting, zone, signature, entries);
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
  if (narrow) {
    std::copy(narrow_.begin(), narrow_.end(), entriesOf(node));
    node->entry.state->setZone(nullptr);
  }
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
  if (isCompact(front_)) {
    UnpackedZone* zone = UnpackedZone::create(dim_, false);
    CompactZone{entriesOf(front_), dim_, false}.unpackInto(*zone);
    front_->entry.state->setZone(zone);
  }
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
  unsigned size = grownTableSize(size_);
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
