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
// Memory: one discrete part per group (an unregistered copy of the locations and integers),
// and per stored state only its trace index, the zone's signature and the zone in compact form
// (engine/compact_zone.h), 16-bit entries where every bound fits. Stored states are therefore
// not in the registry of live states; enumerate() rebuilds each one as it hands it out.
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

private:
  // Followed by the zone's signature (signatureLength(dim) numbers) and then its compact
  // entries, 16 bits wide in slots of the pool (zones of the list's first dimension whose
  // bounds fit), 32 bits wide in blocks of their own otherwise.
  struct Node {
    Node* next;
    std::int32_t traceIndex;
    std::uint8_t dim;
    bool wide;
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

  static Signature* signatureOf(Node* node) { return reinterpret_cast<Signature*>(node + 1); }
  static const Signature* signatureOf(const Node* node) {
    return reinterpret_cast<const Signature*>(node + 1);
  }
  static CompactZone zoneOf(const Node* node) {
    return CompactZone{signatureOf(node) + signatureLength(node->dim), node->dim, node->wide};
  }
  // How node's zone relates to the new one, by inclusion and, with bounds, by aLU simulation.
  int relate(const Node* node, const UnpackedZone& zone, const Signature* signature,
             const ClockBounds* bounds) const;
  static std::int16_t* locationsOf(Group* group) {
    return reinterpret_cast<std::int16_t*>(group + 1);
  }
  static const std::int16_t* locationsOf(const Group* group) {
    return reinterpret_cast<const std::int16_t*>(group + 1);
  }
  static const std::int32_t* cellsOf(const Group* group) {
    return reinterpret_cast<const std::int32_t*>(locationsOf(group) + ((group->processes + 1) & ~1));
  }
  static std::size_t groupBytes(std::int32_t processes, std::int32_t cells) {
    return std::size_t((processes + 1) & ~1) * sizeof(std::int16_t) +
           std::size_t(cells > 0 ? cells : 0) * sizeof(std::int32_t);
  }
  // Whether group holds state's discrete part; integers counts the system's integer variables.
  static bool holds(const Group* group, const GlobalState* state, bool integers);
  Group* makeGroup(const GlobalState* state, unsigned bucket);
  void freeGroup(Group* group);
  // A new state with group's discrete part and no zone.
  static GlobalState* discreteOf(const Group* group);
  Node* makeNode(const UnpackedZone& zone, std::int32_t traceIndex, bool narrow);
  void freeNode(Node* node);
  void growIfNeeded();

  unsigned size_;
  std::vector<Group*> buckets_;
  Ref<GlobalStateHasher> hasher_;
  Ref<System> system_;
  NodePool<Group> groupPool_;           // groups of shape (processes_, cells_)
  NodePool<Node> nodePool_;             // 16-bit nodes of dimension dim_
  std::size_t stored_ = 0;
  std::size_t groups_ = 0;
  std::int32_t processes_ = -1;
  std::int32_t cells_ = -1;
  int dim_ = 0;                         // dimension of the pool's nodes; 0 at first
  std::int32_t clamp_ = 0;              // signature clamp, fixed at the first state
  std::vector<Signature> signature_;    // of the state being added
  std::vector<std::int16_t> narrow_;    // its 16-bit entries, when they fit

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
