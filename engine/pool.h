// engine/pool.h: a pool of fixed-size slots for the records the engine makes by the million
// (chain nodes, waiting entries).
#pragma once
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

// Cuts blocks into slots for objects of type T. Freed slots are reused first; blocks go back
// only when the pool dies. recycle() makes every slot free again while keeping the blocks; the
// caller must have destroyed the objects it still holds (or T must be trivially destructible).
template <class T>
class NodePool {
public:
  NodePool() = default;
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool() {
    for (Slot* block : blocks_) ::operator delete(block);
  }

  template <class... Args>
  T* make(Args&&... args) {
    return new (allocate()) T(std::forward<Args>(args)...);
  }
  void destroy(T* object) {
    object->~T();
    Slot* slot = reinterpret_cast<Slot*>(object);
    slot->next = free_;
    free_ = slot;
    --live_;
  }
  void recycle() {
    free_ = nullptr;
    block_ = 0;
    next_ = blocks_.empty() ? nullptr : blocks_[0];
    end_ = blocks_.empty() ? nullptr : blocks_[0] + blockSlots;
    live_ = 0;
  }
  // Slots in use.
  std::size_t live() const { return live_; }

private:
  union Slot {
    Slot* next;
    alignas(T) unsigned char object[sizeof(T)];
  };
  static constexpr std::size_t blockSlots = (std::size_t(1) << 16) / sizeof(Slot);

  void* allocate() {
    ++live_;
    if (free_) {
      Slot* slot = free_;
      free_ = slot->next;
      return slot;
    }
    if (next_ == end_) nextBlock();
    return next_++;
  }
  void nextBlock() {
    if (next_ && block_ + 1 < blocks_.size()) {
      ++block_;
    } else {
      blocks_.push_back(static_cast<Slot*>(::operator new(blockSlots * sizeof(Slot))));
      block_ = blocks_.size() - 1;
    }
    next_ = blocks_[block_];
    end_ = next_ + blockSlots;
  }

  std::vector<Slot*> blocks_;
  std::size_t block_ = 0;  // block that next_ cuts from
  Slot* next_ = nullptr;
  Slot* end_ = nullptr;
  Slot* free_ = nullptr;
  std::size_t live_ = 0;
};
