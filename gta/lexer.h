// gta/lexer.h: the scanner of the system description language. Names are classified through
// the symbol table at the moment they are scanned, so the same text is a different token before
// and after its declaration, and inside and outside a process.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/diagnostics.h"
#include "model/symbol_table.h"

enum class Token : int {
  END = 0,
  ARROW = 257,
  ASSIGN = 258,  // ":=" and the keyword "assign"
  BANG = 259,
  COLON = 260,
  CHAN = 261,
  CLOCKNAME = 262,
  CLOCK = 263,
  COMMA = 264,
  CONSTNAME = 265,
  COMMIT = 266,
  CONST = 267,
  SLASH = 268,
  EQ = 269,
  GE = 270,  // ">=" and "=>"
  GT = 271,
  GUARD = 272,
  HIDE = 273,
  IDENT = 274,  // undeclared, or a process or state name
  INIT = 275,
  INT = 276,
  INTNAME = 277,
  LBRACE = 278,
  LE = 279,  // "<=" and "=<"
  LPAREN = 280,
  LBRACKET = 281,
  LT = 282,
  MINUS = 283,
  NE = 284,
  NUMBER = 285,
  PLUS = 286,
  PROCESS = 287,
  QUESTION = 288,
  RATE = 289,
  RBRACE = 290,
  RPAREN = 291,
  RBRACKET = 292,
  SEMICOLON = 293,
  STATE = 294,
  STRING = 295,
  SYNC = 296,
  SYSTEM = 297,
  STAR = 298,
  TRANS = 299,
  URGENT = 300,
  ILLEGAL = 301,
  CHANNAME = 303,
  MIN = 306,         // "<?"
  MAX = 307,         // ">?"
  PLUSASSIGN = 310,  // "+="
};

// What a token carries besides its code.
struct TokenValue {
  // NUMBER: the value; CONSTNAME, CHANNAME, CLOCKNAME, INTNAME: the symbol index; IDENT: the
  // index of the process or state it names, -1 for an unknown name.
  std::int32_t number = 0;
  // Names: the kind and extra of the symbol found when the name was scanned (-1 when unknown).
  std::int32_t kind = -1;
  std::int32_t extra = -1;
  // IDENT and the classified names (after "global." only the part after the dot): the name,
  // at most 63 characters.
  char text[Symbol::nameSize] = {};
};

// Hand-written longest-match scanner over one model text. Line ends it passes advance the
// line of the reading's diagnostics; over-long names draw a warning there. Every byte sequence
// scans: what is not a token is ILLEGAL.
class Lexer {
 public:
  Lexer(std::string text, Diagnostics& diagnostics)
      : text_(std::move(text)), diagnostics_(diagnostics) {}

  // The next token, 0 (END) at the end of the text; value is filled as described above.
  Token next(TokenValue& value);

  // While set, a "global." name is ILLEGAL: the parser sets it around a name being declared.
  void setQualifiedNameLock(bool locked) { locked_ = locked; }
  bool qualifiedNameLock() const { return locked_; }

  // Strict reports are "LINE:COLUMN: message" instead of "Error at line LINE : message".
  void setStrict(bool strict) { strict_ = strict; }

  // Bytes consumed so far.
  std::size_t offset() const { return pos_; }

  // Where the token scanned last starts: its line and its column (bytes from the line start,
  // counted from 1), and its text as written ("" at the end of the text).
  std::int32_t tokenLine() const { return tokenLine_; }
  std::int32_t tokenColumn() const { return std::int32_t(tokenStart_ - lineStart_) + 1; }
  std::string_view tokenText() const {
    return std::string_view(text_).substr(tokenStart_, pos_ - tokenStart_);
  }
  // The text from the start of the token scanned last, up to n bytes.
  std::string_view textAtToken(std::size_t n) const {
    return std::string_view(text_).substr(tokenStart_, n);
  }

  // A readable name for a token code, for tests and diagnostics ("IDENT", "LE", ...).
  static const char* name(Token token);

 private:
  Token identifier(TokenValue& value);
  Token qualifiedName(TokenValue& value);
  // Copies the name at [begin, end) into value, warning when it is longer than 63 characters.
  void takeName(std::size_t begin, std::size_t end, TokenValue& value);

  std::string text_;
  Diagnostics& diagnostics_;
  std::size_t pos_ = 0;
  bool locked_ = false;
  bool strict_ = false;
  bool noLineEndAhead_ = false;  // no '\n' follows the scan position
  std::size_t lineStart_ = 0;    // offset of the first byte of the scan position's line
  std::size_t tokenStart_ = 0;
  std::int32_t tokenLine_ = 1;
};
