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
      for (Node* node = group->zones; node;) {
        Node* following = node->next;
        if (node->wide) freeNode(node);
        node = following;
      }
      freeGroup(group);
      group = next;
    }
    chain = nullptr;
  }
  groupPool_.recycle();
  nodePool_.recycle();
  stored_ = 0;
  groups_ = 0;
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
  return cells == 0 ||
         std::memcmp(cellsOf(group), valuation->cells(), std::size_t(cells) * sizeof(std::int32_t)) ==
             0;
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
    std::memcpy(valuation->cells(), cellsOf(group), std::size_t(group->cells) * sizeof(std::int32_t));
    state->setValuation(valuation);
  }
  return state;
}

SimulationPassedList::Node* SimulationPassedList::makeNode(const UnpackedZone& zone,
                                                          std::int32_t traceIndex, bool narrow) {
  const int dim = zone.dimension();
  Node* node;
  if (narrow) {
    node = nodePool_.make();
  } else {
    std::size_t bytes = sizeof(Node) + std::size_t(signatureLength(dim)) * sizeof(Signature) +
                        std::size_t(compactEntryCount(dim)) * sizeof(std::int32_t);
    node = new (::operator new(bytes)) Node;
  }
  node->next = nullptr;
  node->traceIndex = traceIndex;
  node->dim = std::uint8_t(dim);
  node->wide = !narrow;
  Signature* signature = signatureOf(node);
  if (dim == dim_) {
    std::copy(signature_.begin(), signature_.end(), signature);
  } else {
    // Compared with no zone of the list's dimension, so its signature is never read.
    std::fill(signature, signature + signatureLength(dim), Signature(0));
  }
  void* entries = signature + signatureLength(dim);
  if (narrow)
    std::copy(narrow_.begin(), narrow_.end(), static_cast<std::int16_t*>(entries));
  else
    wideEntries(zone, static_cast<std::int32_t*>(entries));
  return node;
}

void SimulationPassedList::freeNode(Node* node) {
  if (node->wide) {
    node->~Node();
    ::operator delete(node);
  } else {
    nodePool_.destroy(node);
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
int SimulationPassedList::relate(const Node* node, const UnpackedZone& zone,
                                 const Signature* signature, const ClockBounds* bounds) const {
  const int dim = zone.dimension();
  if (node->dim != dim) return Zone::noInclusion;
  const CompactZone stored = zoneOf(node);
  int relation = Zone::noInclusion;
  // The signatures settle most pairs without reading the entries.
  if (dim != dim_ ||
      !signaturesExcludeInclusion(signatureOf(node), signature, signatureLength(dim)))
    relation = compareCompact(stored, zone, dim == dim_ && !narrow_.empty() ? narrow_.data()
                                                                             : nullptr);
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
    return test([&](int i, int j) {
      return i == j ? zeroBound : entries[compactIndex(dim, i, j)];
    });
  }
  const auto* entries = static_cast<const std::int16_t*>(stored.entries);
  return test([&](int i, int j) {
    return i == j ? zeroBound : CompactZone::widen(entries[compactIndex(dim, i, j)]);
  });
}

Ref<GlobalState> SimulationPassedList::add(Ref<GlobalState> state) {
  assert(state->zone() && !state->zone()->isPacked());
  const UnpackedZone& zone = *static_cast<const UnpackedZone*>(state->zone());
  const int dim = zone.dimension();
  if (stored_ == 0 && dim != dim_) {
    // The pool's nodes and the signatures follow the first state's dimension.
    dim_ = dim;
    nodePool_.reshape(std::size_t(signatureLength(dim)) * sizeof(Signature) +
                      std::size_t(compactEntryCount(dim)) * sizeof(std::int16_t));
    signature_.assign(std::size_t(signatureLength(dim)), 0);
  }
  if (stored_ == 0) clamp_ = signatureClamp();
  bool narrow = false;
  if (dim == dim_) {
    zoneSignature(&zone, clamp_, signature_.data());
    narrow_.resize(std::size_t(compactEntryCount(dim)));
    narrow = narrowEntries(zone, narrow_.data());
    if (!narrow) narrow_.clear();
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
      int relation = relate(node, zone, signature_.data(), bounds);
      if (relation == Zone::argIncludes) {
        *link = node->next;
        freeNode(node);
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
  Node* node = makeNode(zone, state->traceIndex(), narrow);
  node->next = group->zones;
  group->zones = node;
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
  UnpackedZone* zone = UnpackedZone::create(node_->dim, false);
  SimulationPassedList::zoneOf(node_).unpackInto(*zone);
  state->setZone(zone);
  current_ = std::move(state);
  return current_.get();
}
