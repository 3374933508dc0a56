// model/symbol_table.h: the names a system declares, scoped by frames (one global, one per process).
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>
#include <unordered_map>
#include <vector>

// Kinds of symbols. Clock and integer labels reuse 4 and 5 as their kind() codes.
enum SymbolKind : std::int32_t {
  constantKind = 0,
  channelKind = 1,
  processKind = 2,
  stateKind = 3,
  clockKind = 4,
  integerKind = 5,
  symbolKindCount = 6
};

// A declared name. Names keep at most 63 characters; longer texts are cut.
struct Symbol {
  static constexpr int nameSize = 64;

  char name[nameSize];
  std::int32_t kind;   // a SymbolKind, -1 in the not-found symbol
  std::int32_t index;  // dense per kind over the whole table
  std::int32_t extra;  // kind-specific payload

  Symbol();  // the not-found form: empty name, kind, index and extra -1
  Symbol(const char* text, std::int32_t kind, std::int32_t index, std::int32_t extra);
  Symbol(const Symbol& other);
  Symbol& operator=(const Symbol& other);

  bool isFound() const { return kind != -1 && index != -1; }
};

// The current model's symbol table (model/model_tables.h). Every frame keeps hash indexes by
// name and by (kind, index), so a lookup takes constant time whatever the frame's size. A value:
// copy it to save it, assign a fresh one to reset it.
//   SymbolTable saved = symbols();   symbols() = SymbolTable();   symbols() = std::move(saved);
class SymbolTable {
 public:
  explicit SymbolTable(int kinds = symbolKindCount);

  // Appends an empty frame, activates it and returns its index.
  std::int32_t newFrame();
  // Activates an existing frame (a process scope) again.
  void pushFrame(std::int32_t frame);
  // Deactivates the innermost active frame; the frame itself stays.
  void popFrame();

  // Takes the next index of the kind (also when the name is taken) and inserts the symbol into
  // the innermost active frame. False when that frame already holds the name.
  bool declare(const char* name, std::int32_t kind, std::int32_t extra);
  // Appends a copy to the innermost active frame unless the name is already there.
  bool insert(const Symbol& symbol);

  // Lookups return the not-found symbol on failure. References stay valid until the next
  // declaration.
  Symbol& find(const char* name);
  Symbol& findInFrame(const char* name, std::int32_t frame);
  Symbol& find(std::int32_t kind, std::int32_t index);  // over all frames, active or not
  Symbol& findInFrame(std::int32_t kind, std::int32_t index, std::int32_t frame);

  std::int32_t kindOf(const char* name) { return find(name).kind; }
  std::int32_t indexOf(const char* name) { return find(name).index; }
  std::int32_t extraOf(const char* name) { return find(name).extra; }
  std::int32_t extraOf(std::int32_t kind, std::int32_t index) { return find(kind, index).extra; }

  // Fatal report when the symbol does not exist.
  void setExtra(const char* name, std::int32_t value);
  void setExtra(std::int32_t kind, std::int32_t index, std::int32_t value);

  // The next index of a kind, that is how many declarations of it were attempted.
  std::int32_t counter(std::int32_t kind) const;
  std::int32_t frameCount() const { return std::int32_t(frames_.size()); }
  const std::vector<std::int32_t>& activeFrames() const { return active_; }
  const std::vector<Symbol>& frame(std::int32_t frame) const { return frames_[frame]; }

  void dump(std::ostream& out) const;

 private:
  Symbol& notFound();

  // Positions in a frame: by name (cut as stored), and by (kind, index), the first entry each.
  struct FrameIndex {
    std::unordered_map<std::string, std::int32_t> byName;
    std::unordered_map<std::uint64_t, std::int32_t> byNumber;
  };

  std::vector<std::int32_t> active_;
  std::vector<std::vector<Symbol>> frames_;
  std::vector<FrameIndex> indexes_;
  std::vector<std::int32_t> counters_;
  Symbol notFound_;
};

// The current model's table, holding the global frame from the start.
SymbolTable& symbols();
