// engine/simulation_list.h: a passed list that covers by LU simulation (aLU subsumption) and
// keeps its zones in compact form.
#pragma once
#include <cstdint>
#include <vector>

#include "engine/compact_zone.h"
#include "engine/inclusion.h"
#include "engine/passed_list.h"
#include "engine/pool.h"

// Covers like the classic list, but while the system has local clock bounds set a new state is
// also covered when its zone lies within aLU of a stored zone with the same discrete part (both
// abstracted by the bounds of their common locations), and a stored state is dropped when the
// new one covers it so. Without bounds it answers as the classic list.
//
// Memory: the discrete part once per group, inline; per stored state its trace index and a
// pointer to its zone, which is kept once for all stored states that have it (states with
// different discrete parts share zones often: in the benchmark families a stored zone serves
// 4 to 25 states on average), in compact form (engine/compact_zone.h) with its signature.
// Stored states are therefore not in the registry of live states; enumerate() rebuilds each one
// as it hands it out.
class SimulationPassedList final : public PassedList {
public:
  SimulationPassedList(Ref<GlobalStateHasher> hasher, unsigned size, Ref<System> system);
  ~SimulationPassedList() override;
  Ref<Enumeration<GlobalState>> enumerate() override;
  Ref<GlobalState> add(Ref<GlobalState> state) override;
  void clear() override;
  std::size_t unregisteredCount() const override { return stored_; }

  std::size_t storedCount() const { return stored_; }
  std::size_t groupCount() const { return groups_; }
  // Different zones kept.
  std::size_t zoneCount() const { return zones_; }

private:
  // A zone kept once. Followed by its signature (signatureLength(dim) numbers) and its compact
  // entries: 16 bits wide in slots of the pool (zones of the list's first dimension whose bounds
  // fit), 32 bits wide in blocks of their own otherwise.
  struct ZoneRecord {
    ZoneRecord* next;     // in its chain of the zone table
    std::uint32_t users;  // stored states with this zone
    std::uint32_t hash;
    std::uint8_t dim;
    bool wide;
  };
  struct Node {
    Node* next;
    ZoneRecord* zone;
    std::int32_t traceIndex;
  };
  // Followed by the discrete part: the locations (16 bits each, padded to whole 32-bit words)
  // and the integer cells. Groups of the list's first shape sit in slots of the pool, others in
  // blocks of their own.
  struct Group {
    Group* next;
    Node* zones;
    std::int32_t processes;
    std::int32_t cells;  // -1: the state had no valuation
  };

  static Signature* signatureOf(ZoneRecord* record) {
    return reinterpret_cast<Signature*>(record + 1);
  }
  static const Signature* signatureOf(const ZoneRecord* record) {
    return reinterpret_cast<const Signature*>(record + 1);
  }
  static CompactZone zoneOf(const ZoneRecord* record) {
    return CompactZone{signatureOf(record) + signatureLength(record->dim), record->dim,
                       record->wide};
  }
  static std::int16_t* locationsOf(Group* group) {
    return reinterpret_cast<std::int16_t*>(group + 1);
  }
  static const std::int16_t* locationsOf(const Group* group) {
    return reinterpret_cast<const std::int16_t*>(group + 1);
  }
  static const std::int32_t* cellsOf(const Group* group) {
    return reinterpret_cast<const std::int32_t*>(locationsOf(group) +
                                                 ((group->processes + 1) & ~1));
  }
  static std::size_t groupBytes(std::int32_t processes, std::int32_t cells) {
    return std::size_t((processes + 1) & ~1) * sizeof(std::int16_t) +
           std::size_t(cells > 0 ? cells : 0) * sizeof(std::int32_t);
  }
  // Whether group holds state's discrete part; integers: the system has integer variables.
  static bool holds(const Group* group, const GlobalState* state, bool integers);
  Group* makeGroup(const GlobalState* state, unsigned bucket);
  void freeGroup(Group* group);
  // A new state with group's discrete part and no zone.
  static GlobalState* discreteOf(const Group* group);
  // How a stored zone relates to the new one, by inclusion and, with bounds, by aLU simulation.
  int relate(const ZoneRecord* record, const UnpackedZone& zone, const ClockBounds* bounds) const;
  // The record of the new zone (whose entries add() prepared), made when it is not kept yet;
  // counts one more user.
  ZoneRecord* share(const UnpackedZone& zone);
  // Counts one user less and frees the record with its last one.
  void unshare(ZoneRecord* record);
  void freeRecord(ZoneRecord* record);
  void growIfNeeded();

  unsigned size_;
  std::vector<Group*> buckets_;
  Ref<GlobalStateHasher> hasher_;
  Ref<System> system_;
  NodePool<Group> groupPool_;  // groups of shape (processes_, cells_)
  NodePool<Node> nodePool_;
  NodePool<ZoneRecord> zonePool_;  // 16-bit records of dimension dim_
  std::vector<ZoneRecord*> zoneTable_;
  std::size_t stored_ = 0;
  std::size_t groups_ = 0;
  std::size_t zones_ = 0;
  std::int32_t processes_ = -1;
  std::int32_t cells_ = -1;
  int dim_ = 0;             // dimension of the pool's records; 0 at first
  std::int32_t clamp_ = 0;  // signature clamp, fixed at the first state
  // Of the state being added: signature, whether its entries are 16 bits wide, and the entries.
  std::vector<Signature> signature_;
  bool narrow_ = false;
  std::vector<std::int16_t> narrowEntries_;
  std::vector<std::int32_t> wideEntries_;

  friend class SimulationPassedListEnumeration;
};

// Walks the live table of a simulation list, rebuilding each stored state.
class SimulationPassedListEnumeration final : public Enumeration<GlobalState> {
public:
  explicit SimulationPassedListEnumeration(const SimulationPassedList* list) : list_(list) {}
  GlobalState* next() override;

private:
  const SimulationPassedList* list_;
  unsigned bucket_ = 0;
  const SimulationPassedList::Group* group_ = nullptr;
  const SimulationPassedList::Node* node_ = nullptr;
  Ref<GlobalState> current_;
};

class SimulationPassedListFactory final : public PassedListFactory {
public:
  SimulationPassedListFactory(Ref<GlobalStateHasher> hasher, unsigned size, Ref<System> system)
      : hasher_(std::move(hasher)), size_(size), system_(std::move(system)) {}
  Ref<PassedList> create() override { return new SimulationPassedList(hasher_, size_, system_); }

private:
  Ref<GlobalStateHasher> hasher_;
  unsigned size_;
  Ref<System> system_;
};
