// engine/passed_list.cpp: the passed lists (classic, convex hull, bit state).
#include "engine/passed_list.h"

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
  unsigned size = grownTableSize(size_);
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
                                         const Signature* signature) {
  bool removed = false;
  const int length = signatureLength(dim_);
  ZoneNode** link = &group->zones;
  while (ZoneNode* node = *link) {
    // The signatures settle most pairs without reading the matrices.
    int relation = signature && signaturesExcludeInclusion(signatureOf(node), signature, length)
                       ? int(Zone::noInclusion)
                       : compare(node, zone, signature);
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
