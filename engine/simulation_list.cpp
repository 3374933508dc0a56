// engine/simulation_list.cpp: aLU subsumption in a passed list of compact zones.
#include "engine/simulation_list.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>

#include "model/clock_bounds.h"
#include "model/integer.h"
#include "model/model_tables.h"
#include "model/symbol_table.h"
#include "zones/lu.h"
#include "zones/zone.h"

SimulationPassedList::SimulationPassedList(Ref<GlobalStateHasher> hasher, unsigned size,
                                           Ref<System> system)
    : size_(size ? size : 1),
      buckets_(size_, nullptr),
      hasher_(std::move(hasher)),
      system_(std::move(system)) {}

SimulationPassedList::~SimulationPassedList() { clear(); }

Ref<Enumeration<GlobalState>> SimulationPassedList::enumerate() {
  return new SimulationPassedListEnumeration(this);
}

void SimulationPassedList::clear() {
  for (Group*& chain : buckets_) {
    for (Group* group = chain; group;) {
      Group* next = group->next;
      freeGroup(group);
      group = next;
    }
    chain = nullptr;
  }
  for (ZoneRecord*& chain : zoneTable_) {
    for (ZoneRecord* record = chain; record;) {
      ZoneRecord* next = record->next;
      freeRecord(record);
      record = next;
    }
    chain = nullptr;
  }
  groupPool_.recycle();
  nodePool_.recycle();
  zonePool_.recycle();
  stored_ = 0;
  groups_ = 0;
  zones_ = 0;
}

bool SimulationPassedList::holds(const Group* group, const GlobalState* state, bool integers) {
  if (group->processes != state->processCount() ||
      std::memcmp(locationsOf(group), state->locations(),
                  std::size_t(group->processes) * sizeof(std::int16_t)) != 0)
    return false;
  if (!integers) return true;
  const IntegerValuation* valuation = state->valuation();
  const std::int32_t cells = valuation ? valuation->size() : 0;
  if (cells != (group->cells > 0 ? group->cells : 0)) return false;
  return cells == 0 || std::memcmp(cellsOf(group), valuation->cells(),
                                   std::size_t(cells) * sizeof(std::int32_t)) == 0;
}

SimulationPassedList::Group* SimulationPassedList::makeGroup(const GlobalState* state,
                                                             unsigned bucket) {
  const std::int32_t processes = state->processCount();
  const IntegerValuation* valuation = state->valuation();
  const std::int32_t cells = valuation ? valuation->size() : -1;
  if (groups_ == 0 && (processes != processes_ || cells != cells_)) {
    processes_ = processes;
    cells_ = cells;
    groupPool_.reshape(groupBytes(processes, cells));
  }
  Group* group;
  if (processes == processes_ && cells == cells_)
    group = groupPool_.make();
  else
    group = new (::operator new(sizeof(Group) + groupBytes(processes, cells))) Group;
  group->next = buckets_[bucket];
  group->zones = nullptr;
  group->processes = processes;
  group->cells = cells;
  std::memcpy(locationsOf(group), state->locations(),
              std::size_t(processes) * sizeof(std::int16_t));
  if (cells > 0)
    std::memcpy(const_cast<std::int32_t*>(cellsOf(group)), valuation->cells(),
                std::size_t(cells) * sizeof(std::int32_t));
  buckets_[bucket] = group;
  ++groups_;
  return group;
}

void SimulationPassedList::freeGroup(Group* group) {
  if (group->processes == processes_ && group->cells == cells_) {
    groupPool_.destroy(group);
  } else {
    group->~Group();
    ::operator delete(group);
  }
}

GlobalState* SimulationPassedList::discreteOf(const Group* group) {
  GlobalState* state = GlobalState::create(group->processes);
  std::memcpy(state->locations(), locationsOf(group),
              std::size_t(group->processes) * sizeof(std::int16_t));
  if (group->cells >= 0) {
    IntegerValuation* valuation = IntegerValuation::create(group->cells);
    std::memcpy(valuation->cells(), cellsOf(group),
                std::size_t(group->cells) * sizeof(std::int32_t));
    state->setValuation(valuation);
  }
  return state;
}

namespace {

std::uint32_t hashBytes(const void* data, std::size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint64_t h = 0x9E3779B97F4A7C15ull ^ bytes;
  for (; bytes >= 8; bytes -= 8, p += 8) {
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  for (; bytes > 0; --bytes, ++p) h = (h ^ *p) * 0x100000001B3ull;
  h ^= h >> 29;
  return std::uint32_t(h);
}

}  // namespace

SimulationPassedList::ZoneRecord* SimulationPassedList::share(const UnpackedZone& zone) {
  const int dim = zone.dimension();
  const void* entries = narrow_ ? static_cast<const void*>(narrowEntries_.data())
                                : static_cast<const void*>(wideEntries_.data());
  const std::size_t bytes =
      std::size_t(compactEntryCount(dim)) * (narrow_ ? sizeof(std::int16_t) : sizeof(std::int32_t));
  const std::uint32_t hash = hashBytes(entries, bytes);
  if (zoneTable_.empty()) zoneTable_.assign(1021, nullptr);
  ZoneRecord*& chain = zoneTable_[hash % zoneTable_.size()];
  for (ZoneRecord* record = chain; record; record = record->next)
    if (record->hash == hash && record->dim == dim && record->wide == !narrow_ &&
        std::memcmp(zoneOf(record).entries, entries, bytes) == 0) {
      ++record->users;
      return record;
    }
  const std::size_t signatureBytes = std::size_t(signatureLength(dim)) * sizeof(Signature);
  ZoneRecord* record;
  if (narrow_ && dim == dim_)
    record = zonePool_.make();
  else
    record = new (::operator new(sizeof(ZoneRecord) + signatureBytes + bytes)) ZoneRecord;
  record->next = chain;
  record->users = 1;
  record->hash = hash;
  record->dim = std::uint8_t(dim);
  record->wide = !narrow_;
  Signature* signature = signatureOf(record);
  if (dim == dim_)
    std::copy(signature_.begin(), signature_.end(), signature);
  else  // compared with no zone of the list's dimension, so never read
    std::fill(signature, signature + signatureLength(dim), Signature(0));
  std::memcpy(const_cast<void*>(zoneOf(record).entries), entries, bytes);
  chain = record;
  if (++zones_ > zoneTable_.size()) {
    // More zones than chains: twice the chains, the records sorted in by their hash.
    std::vector<ZoneRecord*> table(grownTableSize(unsigned(zoneTable_.size())), nullptr);
    for (ZoneRecord* old : zoneTable_)
      while (old) {
        ZoneRecord* next = old->next;
        ZoneRecord*& head = table[old->hash % table.size()];
        old->next = head;
        head = old;
        old = next;
      }
    zoneTable_.swap(table);
  }
  return record;
}

void SimulationPassedList::unshare(ZoneRecord* record) {
  if (--record->users > 0) return;
  ZoneRecord** link = &zoneTable_[record->hash % zoneTable_.size()];
  while (*link != record) link = &(*link)->next;
  *link = record->next;
  freeRecord(record);
  --zones_;
}

void SimulationPassedList::freeRecord(ZoneRecord* record) {
  if (!record->wide && record->dim == dim_) {
    zonePool_.destroy(record);
  } else {
    record->~ZoneRecord();
    ::operator delete(record);
  }
}

void SimulationPassedList::growIfNeeded() {
  if (groups_ <= size_) return;
  unsigned size = grownTableSize(size_);
  std::vector<Group*> buckets(size, nullptr);
  for (Group* chain : buckets_) {
    while (chain) {
      Group* group = chain;
      chain = chain->next;
      // The hasher reads states: each group's discrete part is rebuilt for it.
      Ref<GlobalState> key(discreteOf(group));
      unsigned bucket = (*hasher_)(key.get(), size);
      group->next = buckets[bucket];
      buckets[bucket] = group;
    }
  }
  buckets_.swap(buckets);
  size_ = size;
}

// Same locations, so the same bounds abstract both zones; a zone inside another is within its
// aLU abstraction too, so the simulation tests run only on pairs plain inclusion leaves
// unrelated.
int SimulationPassedList::relate(const ZoneRecord* record, const UnpackedZone& zone,
                                 const ClockBounds* bounds) const {
  const int dim = zone.dimension();
  if (record->dim != dim) return Zone::noInclusion;
  const CompactZone stored = zoneOf(record);
  int relation = Zone::noInclusion;
  // The signatures settle most pairs without reading the entries.
  if (dim != dim_ ||
      !signaturesExcludeInclusion(signatureOf(record), signature_.data(), signatureLength(dim)))
    relation = compareCompact(stored, zone, narrow_ ? narrowEntries_.data() : nullptr);
  if (relation != Zone::noInclusion || !bounds) return relation;
  const std::int32_t* lower = bounds->lowerBounds();
  const std::int32_t* upper = bounds->upperBounds();
  auto fresh = [&](int i, int j) { return zone.at(i, j); };
  auto test = [&](auto at) {
    if (isLUSimulatedOn(dim, fresh, at, lower, upper)) return int(Zone::argIncludedIn);
    if (isLUSimulatedOn(dim, at, fresh, lower, upper)) return int(Zone::argIncludes);
    return int(Zone::noInclusion);
  };
  if (stored.wide) {
    const auto* entries = static_cast<const std::int32_t*>(stored.entries);
    return test([&](int i, int j) { return entries[i * dim + j]; });
  }
  const auto* entries = static_cast<const std::int16_t*>(stored.entries);
  return test([&](int i, int j) { return CompactZone::widen(entries[i * dim + j]); });
}

Ref<GlobalState> SimulationPassedList::add(Ref<GlobalState> state) {
  assert(state->zone() && !state->zone()->isPacked());
  const UnpackedZone& zone = *static_cast<const UnpackedZone*>(state->zone());
  const int dim = zone.dimension();
  if (stored_ == 0 && zones_ == 0 && dim != dim_) {
    // The pool's records and the signatures follow the first state's dimension.
    dim_ = dim;
    zonePool_.reshape(std::size_t(signatureLength(dim)) * sizeof(Signature) +
                      std::size_t(compactEntryCount(dim)) * sizeof(std::int16_t));
  }
  if (stored_ == 0) clamp_ = signatureClamp();
  signature_.resize(std::size_t(signatureLength(dim)));
  zoneSignature(&zone, clamp_, signature_.data());
  narrowEntries_.resize(std::size_t(compactEntryCount(dim)));
  narrow_ = narrowEntries(zone, narrowEntries_.data());
  if (!narrow_) {
    wideEntries_.resize(std::size_t(compactEntryCount(dim)));
    wideEntries(zone, wideEntries_.data());
  }

  unsigned bucket = (*hasher_)(state.get(), size_);
  const bool integers = symbols().counter(integerKind) != 0;
  Group* group = buckets_[bucket];
  while (group && !holds(group, state.get(), integers)) group = group->next;
  if (group) {
    const ClockBounds* bounds = system_->localBounds();
    if (bounds) bounds->combine(state.get());
    // Keeps the group an antichain: drops the stored zones the new one covers, or stores
    // nothing when a stored zone covers it (then nothing was dropped on the way).
    Node** link = &group->zones;
    while (Node* node = *link) {
      int relation = relate(node->zone, zone, bounds);
      if (relation == Zone::argIncludes) {
        *link = node->next;
        unshare(node->zone);
        nodePool_.destroy(node);
        --stored_;
      } else if (relation != Zone::noInclusion) {
        return nullptr;
      } else {
        link = &node->next;
      }
    }
  } else {
    group = makeGroup(state.get(), bucket);
  }
  group->zones = nodePool_.make(Node{group->zones, share(zone), state->traceIndex()});
  ++stored_;
  growIfNeeded();
  return state;
}

GlobalState* SimulationPassedListEnumeration::next() {
  if (node_) node_ = node_->next;
  while (!node_) {
    if (group_) group_ = group_->next;
    while (!group_ && bucket_ < list_->size_) group_ = list_->buckets_[bucket_++];
    if (!group_) {
      current_ = nullptr;
      return nullptr;
    }
    node_ = group_->zones;
  }
  Ref<GlobalState> state(SimulationPassedList::discreteOf(group_));
  state->setTraceIndex(node_->traceIndex);
  UnpackedZone* zone = UnpackedZone::create(node_->zone->dim, false);
  SimulationPassedList::zoneOf(node_->zone).unpackInto(*zone);
  state->setZone(zone);
  current_ = std::move(state);
  return current_.get();
}
