// cdd/cdd.h: clock decision diagrams: unions of zones as shared, reference-counted diagrams over
// clock differences, and the library's own difference-bound matrix `CddMatrix`.
//
// The library's state (its kernel, which `Cdd::init` builds and `Cdd::done` tears down, and its
// settings) is one instance, a CddLibrary: every thread has one of its own, and a session makes
// its own instance current while it works. Diagrams are reached through `Cdd` handles.
// Valuations are read over non-negative clocks: a diagram stands for the valuations in which
// every clock is at least 0, which is why the unconstrained zone is the true terminal.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

// A difference-bound matrix: a flags byte, the dimension, dim x dim raw bounds (2c+1 for <= c,
// 2c for < c, 0x7FFFFFFF for none; entry (i, j) bounds x_i - x_j) and one touched bit per clock.
// Object, bounds and bits are one allocation. Clock 0 is the reference clock.
struct CddMatrix {
  static constexpr std::int32_t infinity = 0x7FFFFFFF;

  // A new matrix of dimension dim (1 to 65535), left unset; destroy() releases it.
  static CddMatrix* create(int dim);
  static void destroy(CddMatrix* d);

  int dimension() const { return dim_; }
  // The unconstrained zone: <= 0 on the diagonal and in row 0, no bound elsewhere. Closed.
  void init();
  // Sets entry (i, j) and marks i and j touched; the matrix needs close() afterwards.
  void set(int i, int j, std::int32_t raw);
  std::int32_t get(int i, int j) const { return bounds()[i * dim_ + j]; }
  // Copies other's entries (same dimension) and its closed state.
  void assign(const CddMatrix& other);
  // Closure over the touched clocks (no work when nothing was set since the last closure).
  void close();
  // Closes when needed, then adds x_i - x_j bounded by raw, keeping the matrix closed.
  // Returns false when the zone becomes empty (the matrix is then marked empty).
  bool constrain(int i, int j, std::int32_t raw);
  // Restricts x_i - x_j to the values above `after` (a raw bound, or minusInfinity for no
  // lower limit) up to `upTo` (a raw bound, or infinity): the interval of a diagram node.
  bool constrainInterval(int i, int j, std::int32_t after, std::int32_t upTo);
  // Exact on a closed matrix: some diagonal entry is below <= 0.
  bool isEmpty() const;

  std::uint8_t flags_;
  std::uint16_t dim_;

  std::int32_t* bounds() { return reinterpret_cast<std::int32_t*>(this + 1); }
  const std::int32_t* bounds() const { return reinterpret_cast<const std::int32_t*>(this + 1); }
  std::uint32_t* touched() { return reinterpret_cast<std::uint32_t*>(bounds() + dim_ * dim_); }

private:
  CddMatrix() = default;
};

// Owns a matrix: destroys it however the scope ends, an exception included.
struct CddMatrixDeleter {
  void operator()(CddMatrix* d) const { CddMatrix::destroy(d); }
};
using CddMatrixPtr = std::unique_ptr<CddMatrix, CddMatrixDeleter>;

// Raw bound of a node interval standing for "no lower limit".
constexpr std::int32_t minusInfinity = static_cast<std::int32_t>(0x80000001u);

// Totals over all node managers.
struct CddStats {
  long pages = 0;        // 64 KiB pages taken from the system
  long allocated = 0;    // nodes in use: live and dead
  long dead = 0;         // nodes whose count fell to 0, not yet collected
  long live = 0;         // allocated - dead (the two terminals are not counted)
  long freeNodes = 0;    // nodes on free lists
  long collections = 0;  // garbage collections run
  long rehashes = 0;     // unique tables doubled
  double gcSeconds = 0;  // processor time spent collecting
};

// A handle to a diagram, carrying a reference. Copying takes a reference, destruction and
// assignment drop one; a diagram whose last handle goes becomes dead and is reclaimed by a later
// collection. The default handle is null: no diagram.
// Handles that outlive `done` (or a following `init`) are inert: dropping them does nothing and
// operations on them give null.
class Cdd {
public:
  using Handle = std::uint32_t;  // node index, lowest bit = complement
  enum Op { opAnd = 0, opXor = 1 };
  // Called after every collection: collection number, nodes in use and free nodes of the
  // collected manager, seconds of this collection, seconds of all collections.
  using GCHandler = void (*)(int collection, int nodes, int freeNodes, double seconds,
                             double totalSeconds);
  // Called after every rehash: rehash number, level, new bucket count, nodes in the table, the
  // new node limit, seconds of this rehash, seconds of all rehashes.
  using RehashHandler = void (*)(int rehash, int level, int buckets, int keys, int maxKeys,
                                 double seconds, double totalSeconds);
  // Visitor of forEachZone; the matrix is closed, non-empty and valid only during the call.
  using ZoneVisitor = void (*)(const CddMatrix* zone, void* context);

  // ---- the library ----
  // 0, or -5 when already initialised; throws CheckError "Out of memory" when memory runs out
  // (the library is then shut down). maxPairs is accepted for existing callers and bounds
  // nothing: a node has as many intervals as its level needs. cacheSize is the entry count of
  // the operation cache; stackSize the initial size of the scratch stack. Installs the default
  // reporters, which write to standard error.
  static int init(int maxPairs, int cacheSize, int stackSize);
  // The most 64 KiB pages the nodes may take, for the process (65536 at most, the reach of a
  // handle, and by default). An operation that needs more throws CheckError "Out of memory".
  static void setPageLimit(std::size_t pages);
  // Releases every node, table, cache and page. Does nothing when not initialised.
  static void done();
  static bool isInitialised();
  // Adds the clock-difference levels of n more clocks (the reference clock counts as one):
  // for every new clock k and every m < k, the level of x_k - x_m.
  static void addClocks(int n);
  static int clockCount();
  static int levelCount();
  // The clocks (i > j) of the difference x_i - x_j that a level tests; false if no such level.
  static bool levelClocks(int level, int& i, int& j);
  // None (nullptr) switches the report off.
  static void setGCHandler(GCHandler handler);
  static void setRehashHandler(RehashHandler handler);
  static CddStats stats();
  // The code of the last error reported (0 when none since init).
  static int lastError();

  // ---- building diagrams ----
  static Cdd trueCdd();
  static Cdd falseCdd();
  // The diagram of exactly the valuations of d (closed; an empty d gives false). Clock pairs of
  // d beyond the library's clocks are ignored.
  static Cdd fromDBM(const CddMatrix* d);
  // Operations that build nodes throw CheckError "Out of memory" when no page can be had; the
  // library stays usable and keeps every diagram made before.
  // op 0: conjunction; op 1: exclusive or. Null when an operand is null.
  static Cdd apply(const Cdd& a, const Cdd& b, int op);
  // The same set without the paths that no valuation satisfies: false exactly when empty.
  static Cdd reduce(const Cdd& a);
  // Visits disjoint, non-empty zones whose union is the set of a within start (a closed matrix
  // whose dimension is at least the library's clock count). Returns the number of zones.
  static int forEachZone(const Cdd& a, const CddMatrix* start, ZoneVisitor visit, void* context);

  // ---- the handle ----
  Cdd() = default;
  Cdd(const Cdd& other);
  Cdd(Cdd&& other) noexcept : h_(other.h_), generation_(other.generation_) { other.h_ = 0; }
  Cdd& operator=(const Cdd& other);
  Cdd& operator=(Cdd&& other) noexcept;
  ~Cdd();

  bool isNull() const { return h_ == 0 || !isCurrent(); }
  bool isFalse() const;
  bool isTrue() const;
  Handle handle() const { return isNull() ? 0 : h_; }
  // Handle equality: equal handles denote the same set; different ones still may.
  bool operator==(const Cdd& other) const { return handle() == other.handle(); }
  // The complement: a flip of the flag, no node is made.
  Cdd operator!() const;
  friend Cdd operator&(const Cdd& a, const Cdd& b) { return apply(a, b, opAnd); }
  friend Cdd operator^(const Cdd& a, const Cdd& b) { return apply(a, b, opXor); }
  friend Cdd operator|(const Cdd& a, const Cdd& b) { return !apply(!a, !b, opAnd); }
  friend Cdd operator-(const Cdd& a, const Cdd& b) { return apply(a, !b, opAnd); }
  Cdd& operator&=(const Cdd& other) { return *this = *this & other; }
  Cdd& operator|=(const Cdd& other) { return *this = *this | other; }

  // Membership of a valuation: values[k] is the value of clock k, values[0] is 0. Clocks the
  // diagram tests must be below the library's clock count.
  bool contains(const double* values) const;
  // The reference count of the top node (0 for null, 1023 for terminals and saturated nodes).
  int referenceCount() const;

private:
  // Takes over a reference the kernel made for the caller.
  static Cdd adopt(Handle h);
  bool isCurrent() const;
  void swapWith(Cdd& other) noexcept {
    Handle h = h_;
    std::uint32_t g = generation_;
    h_ = other.h_, generation_ = other.generation_;
    other.h_ = h, other.generation_ = g;
  }

  Handle h_ = 0;
  std::uint32_t generation_ = 0;
};

struct CddLibraryState;

// One instance of the library. The static functions of Cdd and every handle work on the calling
// thread's current instance: the thread's own, or the one a Binding made current. A handle made
// in one instance is null in any other.
class CddLibrary {
public:
  CddLibrary();
  // Shuts the instance down.
  ~CddLibrary();
  CddLibrary(const CddLibrary&) = delete;
  CddLibrary& operator=(const CddLibrary&) = delete;

  // Makes a library the current one while it lives, then puts the previous one back.
  class Binding {
  public:
    explicit Binding(CddLibrary& library);
    ~Binding();
    Binding(const Binding&) = delete;
    Binding& operator=(const Binding&) = delete;

  private:
    CddLibraryState* previous_;
  };

private:
  std::unique_ptr<CddLibraryState> state_;
};
