// cdd/cdd.cpp: node memory, unique tables, the operation cache and the diagram operations.
//
// A handle is a 32-bit index into the node memory: the page number in the upper 16 bits, the
// byte offset of the node inside its 64 KiB page in the lower 16. Nodes start at even offsets,
// so the lowest bit is free for the complement flag. Handle 0 is the page header of page 0 and
// never a node: it is the null handle.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <vector>

#include "cdd/cdd.h"
#include "base/error.h"

namespace {

using Handle = Cdd::Handle;

constexpr std::int32_t infinity = CddMatrix::infinity;
constexpr std::size_t pageBytes = 65536;
constexpr std::uint32_t pageHeaderBytes = 16;
constexpr std::uint32_t levelMask = 0xFFFFF;  // low 20 bits of a node's second word
constexpr std::uint32_t terminalLevel = levelMask;
constexpr std::uint32_t countShift = 20;
constexpr std::uint32_t countMask = 0x3FF;
constexpr std::uint32_t saturated = 1023;  // a count this high never changes again
constexpr std::uint32_t oneCount = 1u << countShift;
// Page numbers are 16 bits of a handle.
constexpr std::size_t maxPages = 65536;

// The kernel's own page holds the terminal node and the chain sentinel.
constexpr Handle falseNode = pageHeaderBytes;
constexpr Handle trueNode = falseNode | 1;
constexpr Handle sentinel = 2 * pageHeaderBytes;

struct Pair {
  Handle child;
  std::int32_t bound;  // raw upper bound of the interval; infinity for the last one
};
static_assert(sizeof(Pair) == 8);

struct NodeHeader {
  Handle link;          // next node in the hash chain or on the free list
  std::uint32_t info;   // level in the low 20 bits, reference count in the 10 above
};

struct Manager;
struct PageHeader {
  char* next;
  Manager* manager;  // null for the kernel's own page
};
static_assert(sizeof(PageHeader) <= pageHeaderBytes);

struct UniqueTable {
  std::vector<Handle> buckets;  // chain heads; empty until the first node of the level
  std::uint32_t count = 0;
  std::uint32_t limit = 0;
  int shift = 24;  // bucket = hash >> shift
};

// Allocates the nodes of one size: interval nodes with `pairs` intervals.
struct Manager {
  explicit Manager(int n)
      : pairs(n), nodeBytes(std::uint32_t(sizeof(NodeHeader) + n * sizeof(Pair))) {}
  int pairs;
  std::uint32_t nodeBytes;
  char* pages = nullptr;
  Handle freeList = 0;
  std::vector<UniqueTable> tables;  // per level
  long freeNodes = 0, pageCount = 0, allocated = 0, dead = 0, collections = 0;
  double gcSeconds = 0;
};

struct CacheEntry {
  Handle a = 0, b = 0, result = 0;
  std::uint32_t op = 0;
};

struct Level {
  int i, j;  // the level tests x_i - x_j, i > j
};

inline std::uint32_t countOf(std::uint32_t info) { return (info >> countShift) & countMask; }
inline Handle regular(Handle h) { return h & ~1u; }
inline bool isTerminal(Handle h) { return regular(h) == falseNode; }

inline std::int64_t addRaw(std::int64_t a, std::int64_t b) {
  if (a == infinity || b == infinity) return infinity;
  return a + b - ((a | b) & 1);
}

// Whether a value, given as a double, lies at or below a raw bound.
inline bool within(double v, std::int32_t bound) {
  if (bound == infinity) return true;
  double c = bound >> 1;
  return (bound & 1) ? v <= c : v < c;
}

inline void mix(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c) {
  a -= b; a -= c; a ^= (c >> 13);
  b -= c; b -= a; b ^= (a << 8);
  c -= a; c -= b; c ^= (b >> 13);
  a -= b; a -= c; a ^= (c >> 12);
  b -= c; b -= a; b ^= (a << 16);
  c -= a; c -= b; c ^= (b >> 5);
  a -= b; a -= c; a ^= (c >> 3);
  b -= c; b -= a; b ^= (a << 10);
  c -= a; c -= b; c ^= (b >> 15);
}

// Bob Jenkins' lookup2 over the pair array read as little-endian 32-bit words; the length is
// the array's size in bytes. Pair arrays are whole words, so no byte tail occurs.
std::uint32_t hashPairs(const Pair* p, int n) {
  auto word = [p](int k) {
    return (k & 1) ? static_cast<std::uint32_t>(p[k >> 1].bound) : p[k >> 1].child;
  };
  std::uint32_t a = 0x9E3779B9u, b = 0x9E3779B9u, c = 0;
  int len = 2 * n, k = 0;
  while (len >= 3) {
    a += word(k);
    b += word(k + 1);
    c += word(k + 2);
    mix(a, b, c);
    k += 3;
    len -= 3;
  }
  c += std::uint32_t(n) * sizeof(Pair);
  switch (len) {
    case 2:
      b += word(k + 1);
      [[fallthrough]];
    case 1:
      a += word(k);
      break;
    default:
      break;
  }
  mix(a, b, c);
  return c;
}

void defaultGCReport(int collection, int nodes, int freeNodes, double seconds, double total) {
  std::fprintf(stderr, "Garbage collection #%d: %d nodes / %d free", collection, nodes, freeNodes);
  std::fprintf(stderr, " / %.1fs / %.1fs total\n", seconds, total);
}

void defaultRehashReport(int rehash, int level, int buckets, int keys, int maxKeys, double seconds,
                         double total) {
  std::fprintf(stderr, "Rehash #%d: level %d / %d buckets / %d keys / %d max / %.1fs / %.1fs total\n",
               rehash, level, buckets, keys, maxKeys, seconds, total);
}

class Kernel;

}  // namespace

// One instance of the library: the kernel (null until init) and its settings.
struct CddLibraryState {
  Kernel* kernel = nullptr;
  // Stamped on every handle the kernel makes; a new one at every init and done, unique in the
  // process, so a handle of another instance or of an earlier kernel is inert.
  std::uint32_t generation = 0;
  int lastErrorCode = 0;
  std::size_t pageLimit = maxPages;
};

namespace {

std::atomic<std::uint32_t> generations{0};

CddLibraryState*& currentState() {
  thread_local CddLibraryState own;
  thread_local CddLibraryState* current = &own;
  return current;
}

CddLibraryState& state() { return *currentState(); }

void report(int code) {
  state().lastErrorCode = code;
  std::fprintf(stderr, "CDD Error: %d\n", code);
}

double secondsSince(std::clock_t start) {
  return double(std::clock() - start) / CLOCKS_PER_SEC;
}

class Kernel {
public:
  Kernel(int cacheSize, int stackSize);
  ~Kernel();
  bool ready() const { return !pages_.empty(); }
  // Drops the references held by the scratch entries from start on: what an operation that
  // failed half-way had built.
  void unwind(std::size_t start) { release(start); }
  std::size_t scratchTop() const { return top_; }

  // ---- nodes ----
  NodeHeader* header(Handle h) const {
    return reinterpret_cast<NodeHeader*>(pages_[h >> 16] + (h & 0xFFFEu));
  }
  Pair* pairs(Handle h) const { return reinterpret_cast<Pair*>(header(h) + 1); }
  Manager* managerOf(Handle h) const {
    return reinterpret_cast<PageHeader*>(pages_[h >> 16])->manager;
  }
  std::uint32_t levelOf(Handle h) const { return header(h)->info & levelMask; }
  int pairCount(Handle h) const { return managerOf(h)->pairs; }

  void ref(Handle h);
  void deref(Handle h);

  // ---- levels ----
  void addClocks(int n);
  int clocks() const { return clocks_; }
  const std::vector<Level>& levels() const { return levels_; }

  // ---- operations; results carry one reference for the caller, 0 on error ----
  Handle fromDBM(const CddMatrix* d);
  Handle apply(Handle a, Handle b, std::uint32_t op);
  Handle reduce(Handle h);
  int forEachZone(Handle h, const CddMatrix* start, Cdd::ZoneVisitor visit, void* context);
  bool contains(Handle h, const double* values) const;

  CddStats stats() const;

  Cdd::GCHandler gcHandler = defaultGCReport;
  Cdd::RehashHandler rehashHandler = defaultRehashReport;

private:
  void push(Handle child, std::int32_t bound) {
    if (top_ == scratch_.size()) scratch_.resize(scratch_.size() * 2);
    scratch_[top_++] = Pair{child, bound};
  }
  void pushChildren(Handle h) {
    const Pair* p = pairs(h);
    for (int k = 0, n = pairCount(h); k < n; ++k)
      if (!isTerminal(p[k].child)) push(regular(p[k].child), 0);
  }
  // Drops the references held by the scratch entries from start on, and pops them.
  void release(std::size_t start) {
    std::size_t end = top_;
    for (std::size_t k = start; k < end; ++k) deref(scratch_[k].child);
    top_ = start;
  }
  Manager& manager(int n) {
    if (managers_.size() <= std::size_t(n)) managers_.resize(std::size_t(n) + 1);
    if (!managers_[n]) managers_[n] = std::make_unique<Manager>(n);
    return *managers_[n];
  }
  UniqueTable& table(Manager& m, std::uint32_t level);
  Handle makeNode(std::uint32_t level, std::size_t start);
  Handle allocate(Manager& m);
  void addPage(Manager& m);
  void collect(Manager& m);
  void rehash(Manager& m, UniqueTable& t, std::uint32_t level);
  void cleanCache();
  bool isDead(Handle h) const { return countOf(header(h)->info) == 0; }

  void markNeeded(const CddMatrix* d);
  CddMatrix* matrix(std::size_t depth);
  Handle reduce(Handle h, const CddMatrix* d, std::size_t depth);
  int walk(Handle h, const CddMatrix* d, std::size_t depth, std::vector<CddMatrixPtr>& stack,
           Cdd::ZoneVisitor visit, void* context);

  std::vector<char*> pages_;   // page number -> page
  std::vector<char*> blocks_;  // what was allocated: pages, and runs of pages for large nodes
  std::vector<std::unique_ptr<Manager>> managers_;  // by interval count
  std::vector<Level> levels_;
  std::vector<int> pairToLevel_;  // pair index k(k-1)/2 + m -> level
  int clocks_ = 0;
  std::vector<CacheEntry> cache_;
  std::vector<Pair> scratch_;
  std::size_t top_ = 0;
  std::vector<CddMatrixPtr> matrices_;  // reduce: one matrix per depth
  long collections_ = 0, rehashes_ = 0;
  double gcSeconds_ = 0, rehashSeconds_ = 0;
  // Minimal constraint set of fromDBM.
  std::vector<std::uint8_t> needed_;
  std::vector<int> headOf_, nextInClass_, heads_;
};

Kernel::Kernel(int cacheSize, int stackSize)
    : cache_(std::size_t(std::max(cacheSize, 1))),
      scratch_(std::size_t(std::max(stackSize, 16))) {
  char* page = static_cast<char*>(std::aligned_alloc(pageBytes, pageBytes));
  if (!page) return;
  std::memset(page, 0, pageHeaderBytes + 2 * sizeof(NodeHeader) + 16);
  new (page) PageHeader{nullptr, nullptr};
  blocks_.push_back(page);
  pages_.push_back(page);
  header(falseNode)->info = terminalLevel | (saturated << countShift);
  header(sentinel)->info = terminalLevel | (saturated << countShift);
}

Kernel::~Kernel() {
  for (char* block : blocks_) std::free(block);
}

void Kernel::ref(Handle h) {
  NodeHeader* n = header(h);
  std::uint32_t c = countOf(n->info);
  if (c == saturated) return;
  n->info += oneCount;
  if (c != 0) return;
  // Revived: the children take back the references the node dropped when it died.
  --managerOf(h)->dead;
  std::size_t base = top_;
  pushChildren(regular(h));
  while (top_ > base) {
    Handle x = scratch_[--top_].child;
    NodeHeader* xn = header(x);
    std::uint32_t xc = countOf(xn->info);
    if (xc == saturated) continue;
    xn->info += oneCount;
    if (xc == 0) {
      --managerOf(x)->dead;
      pushChildren(x);
    }
  }
}

void Kernel::deref(Handle h) {
  NodeHeader* n = header(h);
  std::uint32_t c = countOf(n->info);
  if (c == saturated) return;
  if (c > 1) {
    n->info -= oneCount;
    return;
  }
  // Over an explicit stack: a long chain of dying nodes must not exhaust the call stack.
  std::size_t base = top_;
  push(regular(h), 0);
  while (top_ > base) {
    Handle x = scratch_[--top_].child;
    NodeHeader* xn = header(x);
    std::uint32_t xc = countOf(xn->info);
    if (xc == saturated) continue;
    if (xc == 0) {
      report(-4);
      continue;
    }
    xn->info -= oneCount;
    if (xc == 1) {
      ++managerOf(x)->dead;
      pushChildren(x);
    }
  }
}

void Kernel::addClocks(int n) {
  if (n <= 0) return;
  int total = clocks_ + n;
  for (int k = clocks_; k < total; ++k)
    for (int m = 0; m < k; ++m) {
      if (pairToLevel_.size() <= std::size_t(k * (k - 1) / 2 + m))
        pairToLevel_.resize(std::size_t(k * (k - 1) / 2 + m) + 1, -1);
      pairToLevel_[std::size_t(k * (k - 1) / 2 + m)] = int(levels_.size());
      levels_.push_back(Level{k, m});
    }
  clocks_ = total;
  matrices_.clear();
}

UniqueTable& Kernel::table(Manager& m, std::uint32_t level) {
  if (m.tables.size() <= level) m.tables.resize(std::max<std::size_t>(levels_.size(), level + 1));
  UniqueTable& t = m.tables[level];
  if (t.buckets.empty()) {
    t.buckets.assign(256, sentinel);
    t.limit = 1024;
    t.shift = 24;
  }
  return t;
}

void Kernel::addPage(Manager& m) {
  // A node too large for one page gets a run of consecutive pages of its own. Its handle names
  // the first page; the page numbers of the rest are taken so that no other handle points
  // into it.
  const std::size_t run = (pageHeaderBytes + m.nodeBytes + pageBytes - 1) / pageBytes;
  if (pages_.size() + run > std::min(state().pageLimit, maxPages))
    throw CheckError("Out of memory");
  // Room in both tables first, so that nothing can fail once the block is taken.
  if (blocks_.size() == blocks_.capacity()) blocks_.reserve(2 * blocks_.size());
  if (pages_.capacity() < pages_.size() + run)
    pages_.reserve(std::max(2 * pages_.capacity(), pages_.size() + run));
  char* page = static_cast<char*>(std::aligned_alloc(pageBytes, run * pageBytes));
  if (!page) throw CheckError("Out of memory");
  blocks_.push_back(page);
  new (page) PageHeader{m.pages, &m};
  m.pages = page;
  m.pageCount += long(run);
  Handle base = Handle(pages_.size()) << 16;
  for (std::size_t k = 0; k < run; ++k) pages_.push_back(page + k * pageBytes);
  std::uint32_t count =
      std::max<std::uint32_t>(1, std::uint32_t((pageBytes - pageHeaderBytes) / m.nodeBytes));
  for (std::uint32_t k = count; k-- > 0;) {
    Handle h = base | (pageHeaderBytes + k * m.nodeBytes);
    header(h)->link = m.freeList;
    header(h)->info = 0;
    m.freeList = h;
  }
  m.freeNodes += count;
}

Handle Kernel::allocate(Manager& m) {
  if (m.freeList == 0) {
    if (m.dead * 100 > m.allocated * 20) collect(m);
    if (m.freeList == 0) addPage(m);
  }
  Handle h = m.freeList;
  m.freeList = header(h)->link;
  --m.freeNodes;
  ++m.allocated;
  return h;
}

void Kernel::cleanCache() {
  for (CacheEntry& e : cache_)
    if (e.a != 0 && (isDead(e.a) || isDead(e.b) || isDead(e.result))) e = CacheEntry{};
}

void Kernel::collect(Manager& m) {
  std::clock_t start = std::clock();
  cleanCache();
  long freed = 0;
  for (UniqueTable& t : m.tables) {
    for (Handle& head : t.buckets) {
      Handle* slot = &head;
      while (*slot != sentinel) {
        NodeHeader* n = header(*slot);
        if (countOf(n->info) == 0) {
          Handle h = *slot;
          *slot = n->link;
          n->link = m.freeList;
          m.freeList = h;
          --t.count;
          ++freed;
        } else {
          slot = &n->link;
        }
      }
    }
  }
  m.dead -= freed;
  m.allocated -= freed;
  m.freeNodes += freed;
  ++m.collections;
  ++collections_;
  double seconds = secondsSince(start);
  m.gcSeconds += seconds;
  gcSeconds_ += seconds;
  if (gcHandler)
    gcHandler(int(collections_), int(m.allocated), int(m.freeNodes), seconds, gcSeconds_);
}

void Kernel::rehash(Manager& m, UniqueTable& t, std::uint32_t level) {
  if (t.shift == 0) return;
  std::clock_t start = std::clock();
  std::vector<Handle> grown(t.buckets.size() * 2, sentinel);
  int shift = t.shift - 1;
  // Each chain splits by the next hash bit into two chains that keep its order.
  for (std::size_t b = 0; b < t.buckets.size(); ++b) {
    Handle* tails[2] = {&grown[2 * b], &grown[2 * b + 1]};
    for (Handle h = t.buckets[b]; h != sentinel;) {
      Handle next = header(h)->link;
      Handle** tail = &tails[(hashPairs(pairs(h), m.pairs) >> shift) & 1];
      **tail = h;
      *tail = &header(h)->link;
      h = next;
    }
    *tails[0] = sentinel;
    *tails[1] = sentinel;
  }
  t.buckets.swap(grown);
  t.shift = shift;
  t.limit *= 2;
  ++rehashes_;
  double seconds = secondsSince(start);
  rehashSeconds_ += seconds;
  if (rehashHandler)
    rehashHandler(int(rehashes_), int(level), int(t.buckets.size()), int(t.count), int(t.limit),
                  seconds, rehashSeconds_);
}

// Makes the node of the pairs on the scratch stack from start up (children with the references
// the caller owns), pops them, and returns the node with a reference for the caller.
Handle Kernel::makeNode(std::uint32_t level, std::size_t start) {
  std::size_t last = start;
  for (std::size_t r = start + 1; r < top_; ++r) {
    if (scratch_[r].child == scratch_[last].child) {
      scratch_[last].bound = scratch_[r].bound;
      deref(scratch_[r].child);  // works above top_, the pairs stay put
    } else {
      scratch_[++last] = scratch_[r];
    }
  }
  top_ = last + 1;
  int n = int(top_ - start);
  if (n == 1) {
    top_ = start;
    return scratch_[start].child;
  }
  // The first child is stored without the complement flag; the flag moves to the handle.
  Handle flip = scratch_[start].child & 1;
  if (flip)
    for (std::size_t r = start; r < top_; ++r) scratch_[r].child ^= 1;
  Manager& m = manager(n);
  UniqueTable& t = table(m, level);
  std::uint32_t hash = hashPairs(&scratch_[start], n);
  std::size_t bytes = std::size_t(n) * sizeof(Pair);
  auto findSlot = [&](Handle*& slot) {
    slot = &t.buckets[hash >> t.shift];
    while (*slot != sentinel) {
      int order = std::memcmp(pairs(*slot), &scratch_[start], bytes);
      if (order == 0) return true;
      if (order > 0) break;
      slot = &header(*slot)->link;
    }
    return false;
  };
  Handle* slot;
  if (findSlot(slot)) {
    Handle found = *slot;
    ref(found);  // revives it if dead
    release(start);
    return found | flip;
  }
  long collectionsBefore = collections_;
  Handle h = allocate(m);
  if (collections_ != collectionsBefore) findSlot(slot);
  NodeHeader* node = header(h);
  node->info = level | oneCount;
  std::memcpy(pairs(h), &scratch_[start], bytes);
  node->link = *slot;
  *slot = h;
  top_ = start;
  if (++t.count > t.limit) rehash(m, t, level);
  return h | flip;
}

// Marks the minimal constraint set of the closed matrix d in needed_: clocks whose difference
// is fixed form classes that are encoded by one cycle each; between class heads, an edge that a
// path through a third head implies is left out. Trivial lower bounds x >= 0 are left out too:
// valuations are read over non-negative clocks.
void Kernel::markNeeded(const CddMatrix* d) {
  const int n = d->dimension();
  const std::int32_t* m = d->bounds();
  needed_.assign(std::size_t(n) * n, 0);
  headOf_.assign(std::size_t(n), -1);
  nextInClass_.assign(std::size_t(n), -1);
  heads_.clear();
  for (int i = 0; i < n; ++i) {
    if (headOf_[i] >= 0) continue;
    headOf_[i] = i;
    heads_.push_back(i);
    int last = i;
    for (int j = i + 1; j < n; ++j) {
      if (headOf_[j] >= 0 || m[i * n + j] == infinity || m[j * n + i] == infinity) continue;
      if ((m[i * n + j] >> 1) + (m[j * n + i] >> 1) != 0) continue;
      headOf_[j] = i;
      nextInClass_[last] = j;
      last = j;
    }
  }
  for (int a : heads_)
    for (int b : heads_) {
      if (a == b || m[a * n + b] == infinity) continue;
      bool implied = false;
      for (int k : heads_) {
        if (k == a || k == b) continue;
        if (addRaw(m[a * n + k], m[k * n + b]) <= m[a * n + b]) {
          implied = true;
          break;
        }
      }
      if (!implied) needed_[std::size_t(a) * n + b] = 1;
    }
  for (int head : heads_) {
    int i = head;
    while (nextInClass_[i] >= 0) {
      needed_[std::size_t(i) * n + nextInClass_[i]] = 1;
      i = nextInClass_[i];
    }
    if (i != head) needed_[std::size_t(i) * n + head] = 1;
  }
  for (int i = 1; i < n; ++i)
    if (m[i] > 0) needed_[std::size_t(i)] = 0;
}

Handle Kernel::fromDBM(const CddMatrix* d) {
  if (d->isEmpty()) return falseNode;
  markNeeded(d);
  const int n = d->dimension();
  Handle result = trueNode;
  for (std::size_t level = levels_.size(); level-- > 0;) {
    int i = levels_[level].i, j = levels_[level].j;
    if (i >= n) continue;
    bool upper = needed_[std::size_t(i) * n + j], lower = needed_[std::size_t(j) * n + i];
    if (!upper && !lower) continue;
    std::size_t start = top_;
    // The lower bound comes from entry (j, i): below it, x_i - x_j leaves the zone.
    if (lower) push(falseNode, 1 - d->get(j, i));
    push(result, upper ? d->get(i, j) : infinity);
    if (upper) push(falseNode, infinity);
    result = makeNode(std::uint32_t(level), start);
    if (result == 0) return 0;
  }
  return result;
}

Handle Kernel::apply(Handle a, Handle b, std::uint32_t op) {
  if (op == Cdd::opAnd) {
    if (a == b || b == trueNode) return ref(a), a;
    if (a == falseNode || b == falseNode || a == (b ^ 1)) return falseNode;
    if (a == trueNode) return ref(b), b;
  } else {
    if (a == b) return falseNode;
    if (a == (b ^ 1)) return trueNode;
    if (a == falseNode) return ref(b), b;
    if (b == falseNode) return ref(a), a;
    if (a == trueNode) return ref(b), b ^ 1;
    if (b == trueNode) return ref(a), a ^ 1;
  }
  if (a > b) std::swap(a, b);
  CacheEntry& entry = cache_[(((a + op) * 0xC00005u + b) * 0x40F1F9u) % cache_.size()];
  if (entry.a == a && entry.b == b && entry.op == op) {
    Handle r = entry.result;
    ref(r);
    return r;
  }
  std::uint32_t la = levelOf(a), lb = levelOf(b), top = std::min(la, lb);
  // An operand below the top level takes part as one interval covering every value.
  Pair wholeA{a, infinity}, wholeB{b, infinity};
  const Pair* pa = &wholeA;
  const Pair* pb = &wholeB;
  int na = 1, nb = 1;
  Handle fa = 0, fb = 0;
  if (la == top) pa = pairs(a), na = pairCount(a), fa = a & 1;
  if (lb == top) pb = pairs(b), nb = pairCount(b), fb = b & 1;
  std::size_t start = top_;
  for (int ka = 0, kb = 0; ka < na && kb < nb;) {
    std::int32_t bound = std::min(pa[ka].bound, pb[kb].bound);
    Handle r = apply(pa[ka].child ^ fa, pb[kb].child ^ fb, op);
    if (r == 0) {
      release(start);
      return 0;
    }
    if (top_ > start && scratch_[top_ - 1].child == r) {
      deref(r);
      scratch_[top_ - 1].bound = bound;
    } else {
      push(r, bound);
    }
    if (pa[ka].bound == bound) ++ka;
    if (pb[kb].bound == bound) ++kb;
  }
  Handle r = makeNode(top, start);
  if (r != 0) {
    CacheEntry& slot = cache_[(((a + op) * 0xC00005u + b) * 0x40F1F9u) % cache_.size()];
    slot = CacheEntry{a, b, r, op};
  }
  return r;
}

CddMatrix* Kernel::matrix(std::size_t depth) {
  while (matrices_.size() <= depth) matrices_.emplace_back(CddMatrix::create(std::max(clocks_, 1)));
  return matrices_[depth].get();
}

Handle Kernel::reduce(Handle h) {
  CddMatrix* d = matrix(0);
  d->init();
  return reduce(h, d, 0);
}

Handle Kernel::reduce(Handle h, const CddMatrix* d, std::size_t depth) {
  if (isTerminal(h)) return h;
  std::uint32_t level = levelOf(h);
  const int i = levels_[level].i, j = levels_[level].j;
  const Handle flip = h & 1;
  const Pair* p = pairs(h);
  const int n = pairCount(h);
  const std::int32_t up0 = d->get(i, j), low0 = d->get(j, i);
  std::size_t start = top_;
  std::int32_t after = minusInfinity;
  bool started = false;
  for (int k = 0; k < n; after = p[k].bound, ++k) {
    std::int32_t up = std::min(up0, p[k].bound);
    std::int32_t low = after == minusInfinity ? low0 : std::min(low0, 1 - after);
    if (addRaw(up, low) < 1) {
      // The values of a path form one interval: the feasible intervals are consecutive.
      if (started) break;
      continue;
    }
    const CddMatrix* e = d;
    if (up < up0 || low < low0) {
      CddMatrix* f = matrix(depth + 1);
      f->assign(*d);
      if (up < up0) f->constrain(i, j, up);
      if (low < low0) f->constrain(j, i, low);
      e = f;
    }
    Handle r = reduce(p[k].child ^ flip, e, depth + 1);
    if (r == 0) {
      release(start);
      return 0;
    }
    if (started && scratch_[top_ - 1].child == r) {
      deref(r);
      scratch_[top_ - 1].bound = p[k].bound;
    } else {
      push(r, p[k].bound);
      started = true;
    }
  }
  if (!started) return falseNode;  // only on an empty matrix
  scratch_[top_ - 1].bound = infinity;
  return makeNode(level, start);
}

int Kernel::forEachZone(Handle h, const CddMatrix* start, Cdd::ZoneVisitor visit, void* context) {
  std::vector<CddMatrixPtr> stack;
  stack.emplace_back(CddMatrix::create(start->dimension()));
  CddMatrix* d = stack.back().get();
  d->assign(*start);
  d->close();
  return d->isEmpty() ? 0 : walk(h, d, 0, stack, visit, context);
}

int Kernel::walk(Handle h, const CddMatrix* d, std::size_t depth, std::vector<CddMatrixPtr>& stack,
                 Cdd::ZoneVisitor visit, void* context) {
  if (isTerminal(h)) {
    if (h != trueNode) return 0;
    visit(d, context);
    return 1;
  }
  const Level& level = levels_[levelOf(h)];
  const Handle flip = h & 1;
  const Pair* p = pairs(h);
  int zones = 0;
  if (stack.size() <= depth + 1) stack.emplace_back(CddMatrix::create(d->dimension()));
  std::int32_t after = minusInfinity;
  for (int k = 0, n = pairCount(h); k < n; after = p[k].bound, ++k) {
    CddMatrix* e = stack[depth + 1].get();
    e->assign(*d);
    if (!e->constrainInterval(level.i, level.j, after, p[k].bound)) continue;
    zones += walk(p[k].child ^ flip, e, depth + 1, stack, visit, context);
  }
  return zones;
}

bool Kernel::contains(Handle h, const double* values) const {
  while (!isTerminal(h)) {
    const Level& level = levels_[levelOf(h)];
    double v = values[level.i] - values[level.j];
    const Pair* p = pairs(h);
    int k = 0;
    while (!within(v, p[k].bound)) ++k;
    h = p[k].child ^ (h & 1);
  }
  return h == trueNode;
}

CddStats Kernel::stats() const {
  CddStats s;
  for (const auto& m : managers_) {
    if (!m) continue;
    s.pages += m->pageCount;
    s.allocated += m->allocated;
    s.dead += m->dead;
    s.freeNodes += m->freeNodes;
  }
  s.live = s.allocated - s.dead;
  s.collections = collections_;
  s.rehashes = rehashes_;
  s.gcSeconds = gcSeconds_;
  return s;
}


// Runs an operation that builds nodes. When it fails (no memory for a page, the page limit), the
// references its unfinished levels held are dropped, so the library stays consistent and
// usable, and the failure goes to the caller as a CheckError: a diagram operation that cannot
// be completed has no result to give.
template <class Operation>
Handle guarded(Operation operation) {
  const std::size_t top = state().kernel->scratchTop();
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    state().kernel->unwind(top);
    throw CheckError("Out of memory");
  } catch (...) {
    state().kernel->unwind(top);
    throw;
  }
}

}  // namespace

// ---- the library ----

int Cdd::init(int, int cacheSize, int stackSize) {
  if (state().kernel) {
    report(-5);
    return -5;
  }
  state().lastErrorCode = 0;
  try {
    state().kernel = new Kernel(cacheSize, stackSize);
  } catch (const std::bad_alloc&) {
    state().kernel = nullptr;
  }
  if (!state().kernel || !state().kernel->ready()) {
    done();
    throw CheckError("Out of memory");
  }
  state().generation = ++generations;
  return 0;
}

void Cdd::setPageLimit(std::size_t pages) { state().pageLimit = pages; }

void Cdd::done() {
  delete state().kernel;
  state().kernel = nullptr;
  state().generation = ++generations;  // handles made so far are inert from now on
}

bool Cdd::isInitialised() { return state().kernel != nullptr; }

void Cdd::addClocks(int n) {
  if (state().kernel) state().kernel->addClocks(n);
}

int Cdd::clockCount() { return state().kernel ? state().kernel->clocks() : 0; }

int Cdd::levelCount() { return state().kernel ? int(state().kernel->levels().size()) : 0; }

bool Cdd::levelClocks(int level, int& i, int& j) {
  if (!state().kernel || level < 0 || std::size_t(level) >= state().kernel->levels().size())
    return false;
  i = state().kernel->levels()[std::size_t(level)].i;
  j = state().kernel->levels()[std::size_t(level)].j;
  return true;
}

void Cdd::setGCHandler(GCHandler handler) {
  if (state().kernel) state().kernel->gcHandler = handler;
}

void Cdd::setRehashHandler(RehashHandler handler) {
  if (state().kernel) state().kernel->rehashHandler = handler;
}

CddStats Cdd::stats() { return state().kernel ? state().kernel->stats() : CddStats{}; }

int Cdd::lastError() { return state().lastErrorCode; }

Cdd Cdd::trueCdd() { return state().kernel ? adopt(trueNode) : Cdd(); }

Cdd Cdd::falseCdd() { return state().kernel ? adopt(falseNode) : Cdd(); }

Cdd Cdd::fromDBM(const CddMatrix* d) {
  if (!state().kernel || !d) return Cdd();
  return adopt(guarded([d] { return state().kernel->fromDBM(d); }));
}

Cdd Cdd::apply(const Cdd& a, const Cdd& b, int op) {
  if (a.isNull() || b.isNull() || (op != opAnd && op != opXor)) return Cdd();
  return adopt(guarded([&] { return state().kernel->apply(a.h_, b.h_, std::uint32_t(op)); }));
}

Cdd Cdd::reduce(const Cdd& a) {
  if (a.isNull()) return Cdd();
  return adopt(guarded([&] { return state().kernel->reduce(a.h_); }));
}

int Cdd::forEachZone(const Cdd& a, const CddMatrix* start, ZoneVisitor visit, void* context) {
  if (a.isNull() || !start || start->dimension() < state().kernel->clocks()) return 0;
  return state().kernel->forEachZone(a.h_, start, visit, context);
}

// ---- the handle ----

Cdd Cdd::adopt(Handle h) {
  Cdd c;
  c.h_ = h;
  c.generation_ = state().generation;
  return c;
}

bool Cdd::isCurrent() const { return state().kernel && generation_ == state().generation; }

Cdd::Cdd(const Cdd& other) {
  if (other.isNull()) return;
  state().kernel->ref(other.h_);
  h_ = other.h_;
  generation_ = other.generation_;
}

Cdd& Cdd::operator=(const Cdd& other) {
  if (this != &other) Cdd(other).swapWith(*this);
  return *this;
}

Cdd& Cdd::operator=(Cdd&& other) noexcept {
  if (this != &other) {
    Cdd(std::move(other)).swapWith(*this);
  }
  return *this;
}

Cdd::~Cdd() {
  if (h_ != 0 && isCurrent()) state().kernel->deref(h_);
}

bool Cdd::isFalse() const { return !isNull() && h_ == falseNode; }

bool Cdd::isTrue() const { return !isNull() && h_ == trueNode; }

Cdd Cdd::operator!() const {
  Cdd c(*this);
  c.h_ ^= c.h_ != 0 ? 1 : 0;
  return c;
}

bool Cdd::contains(const double* values) const {
  return !isNull() && state().kernel->contains(h_, values);
}

int Cdd::referenceCount() const {
  return isNull() ? 0 : int(countOf(state().kernel->header(h_)->info));
}

// ---- instances ----

CddLibrary::CddLibrary() : state_(std::make_unique<CddLibraryState>()) {}

CddLibrary::~CddLibrary() {
  Binding bound(*this);
  Cdd::done();
}

CddLibrary::Binding::Binding(CddLibrary& library) : previous_(currentState()) {
  currentState() = library.state_.get();
}

CddLibrary::Binding::~Binding() { currentState() = previous_; }
