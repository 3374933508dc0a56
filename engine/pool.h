// engine/pool.h: a pool of fixed-size slots for the records the engine makes by the million
// (chain nodes, waiting entries), and the growth rule of the engine's hash tables.
#pragma once
#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

// Cuts blocks into slots for objects of type T, each followed by a tail of extra bytes whose
// size is chosen at run time (zero by default). Freed slots are reused first; blocks go back
// only when the pool dies or is reshaped. recycle() makes every slot free again while keeping
// the blocks; the caller must have destroyed the objects it still holds (or T must be
// trivially destructible).
template <class T>
class NodePool {
public:
  explicit NodePool(std::size_t extra = 0) { shape(extra); }
  NodePool(const NodePool&) = delete;
  NodePool& operator=(const NodePool&) = delete;
  ~NodePool() { dropBlocks(); }

  // Frees every block and sets the size of the tail behind each object. Nothing may be live.
  void reshape(std::size_t extra) {
    dropBlocks();
    shape(extra);
  }
  std::size_t extra() const { return extra_; }

  template <class... Args>
  T* make(Args&&... args) {
    return new (allocate()) T(std::forward<Args>(args)...);
  }
  void destroy(T* object) {
    object->~T();
    FreeSlot* slot = reinterpret_cast<FreeSlot*>(object);
    slot->next = free_;
    free_ = slot;
    --live_;
  }
  void recycle() {
    free_ = nullptr;
    block_ = 0;
    next_ = blocks_.empty() ? nullptr : blocks_[0];
    end_ = blocks_.empty() ? nullptr : blocks_[0] + blockBytes_;
    live_ = 0;
  }
  // The tail behind an object of this pool.
  static void* tail(T* object) { return object + 1; }
  static const void* tail(const T* object) { return object + 1; }
  // Slots in use.
  std::size_t live() const { return live_; }

private:
  struct FreeSlot {
    FreeSlot* next;
  };
  static constexpr std::size_t align = alignof(T) > alignof(FreeSlot) ? alignof(T)
                                                                      : alignof(FreeSlot);

  void shape(std::size_t extra) {
    extra_ = extra;
    std::size_t size = sizeof(T) + extra;
    if (size < sizeof(FreeSlot)) size = sizeof(FreeSlot);
    slotBytes_ = (size + align - 1) / align * align;
    std::size_t slots = (std::size_t(1) << 16) / slotBytes_;
    if (slots < 16) slots = 16;
    blockBytes_ = slots * slotBytes_;
  }
  void dropBlocks() {
    for (char* block : blocks_) ::operator delete(block, std::align_val_t(align));
    blocks_.clear();
    recycle();
  }
  void* allocate() {
    ++live_;
    if (free_) {
      FreeSlot* slot = free_;
      free_ = slot->next;
      return slot;
    }
    if (next_ == end_) nextBlock();
    void* slot = next_;
    next_ += slotBytes_;
    return slot;
  }
  void nextBlock() {
    if (next_ && block_ + 1 < blocks_.size()) {
      ++block_;
    } else {
      blocks_.push_back(static_cast<char*>(::operator new(blockBytes_, std::align_val_t(align))));
      block_ = blocks_.size() - 1;
    }
    next_ = blocks_[block_];
    end_ = next_ + blockBytes_;
  }

  std::vector<char*> blocks_;
  std::size_t extra_ = 0;
  std::size_t slotBytes_ = 0;
  std::size_t blockBytes_ = 0;
  std::size_t block_ = 0;  // block that next_ cuts from
  char* next_ = nullptr;
  char* end_ = nullptr;
  FreeSlot* free_ = nullptr;
  std::size_t live_ = 0;
};

// The bucket count a hash table grows to from size: the first prime from twice the size on.
inline unsigned grownTableSize(unsigned size) {
  auto isPrime = [](unsigned n) {
    if (n < 2) return false;
    for (unsigned d = 2; d * d <= n; ++d)
      if (n % d == 0) return false;
    return true;
  };
  unsigned n = size * 2 + 1;
  while (!isPrime(n)) n += 2;
  return n;
}
