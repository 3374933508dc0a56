// tctl/lexer.h: the property scanner. Names are resolved against the symbol table as they are
// read, so the parser sees locations, clocks, integer variables and constants as typed tokens.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

#include "base/diagnostics.h"

struct Symbol;
class System;

enum class TctlToken : int {
  END,              // end of the input stream
  END_OF_PROPERTY,  // a line feed: the property ends here
  AND,
  OR,
  NOT,
  IMPLY,
  TRUE,
  DEADLOCK,
  QUIT,
  EF,  // E<>
  AG,  // A[]
  EG,  // E[]
  AF,  // A<>
  LEADSTO,
  AT_F,  // no rule uses the two at-sign tokens: they are always a syntax error
  AT_L,
  RELOP,     // value: the relation code
  NAT,       // value: the number, or the constant's value
  INTVAR,    // value: the integer variable's symbol index
  CLOCKVAR,  // value: the clock's symbol index
  LOCATION,  // value: process position shifted left by 16, OR the location number
  BADSYM,    // a name that cannot be used here; always a syntax error
  LPAREN,
  RPAREN,
  LBRACKET,
  RBRACKET,
  PLUS,
  MINUS,
  STAR,
  SLASH,
  DOT,
};

// Relation codes carried by RELOP, shared with the clock and integer comparisons.
enum Relop : int {
  relGreaterEqual = 0,
  relLessEqual = 1,
  relLess = 2,
  relGreater = 3,
  relEqual = 4,
  relNotEqual = 5,
};

// A place in the current input: the column counts bytes from the start of the input (from 1).
struct TctlPlace {
  std::int32_t column = 0;  // 0: nothing recorded
  std::string text;         // the token as written; empty at the end of the input
  std::string message;      // refusals: "unexpected '!': write 'not'", "unknown name 'y'"
};

// The property scanner of one session. Besides the input of the property being read it keeps
// what lasts from one property to the next: comment mode, so that a text which ended inside "/*"
// leaves the next one starting inside the comment, and strictness.
class PropertyScanner {
 public:
  // Makes `in` the input (the stream must outlive the reading) and drops what was read ahead
  // from the previous one. Names it cannot use are written to diagnostics ("Bad property: ...")
  // and every line feed consumed advances its line; the positions of qualified names are
  // checked against system, which may be null.
  void begin(std::istream& in, Diagnostics& diagnostics, const System* system);
  // Takes the input away; comment mode and the places recorded stay.
  void finish();

  // The next token; BADSYM for a name that cannot be used. Without an input, or at the end of
  // it, END.
  TctlToken next();
  // The value of the token returned last.
  std::int32_t value() const { return value_; }
  // For a LOCATION token: the symbol indices of the process and of the location, for printing.
  std::int32_t processSymbol() const { return processSymbol_; }
  std::int32_t locationSymbol() const { return locationSymbol_; }

  // True while the scanner is inside a "/*" comment (a new scanner is not).
  bool inComment() const { return comment_; }

  // Strict scanning, for a user at a terminal rather than a front end (off by default): a
  // character the language does not know is not skipped but refused, and the scanner keeps the
  // place and text of the token scanned last and of the first refusal. A refusal returns BADSYM,
  // so the parser rejects the property.
  void setStrict(bool strict) { strict_ = strict; }
  // The token scanned last, and the first refusal since an input was begun (strict scanning
  // only; still readable after finish()).
  const TctlPlace& lastToken() const { return last_; }
  const TctlPlace& firstRefusal() const { return refusal_; }

 private:
  int peek(std::size_t k);
  void consume(std::size_t n);
  TctlToken scan();
  std::string readName();
  void refuse(const std::string& message);
  TctlToken badName(const std::string& name, const char* why);
  bool skipUnknown(std::size_t length, const char* hint);
  TctlToken valueToken(const Symbol& symbol);
  TctlToken resolveName(const std::string& name);
  TctlToken resolveQualified(const std::string& process, const std::string& name);
  TctlToken relop(std::size_t length, Relop code);
  TctlToken punctuation(TctlToken token);

  // The input and the characters read ahead but not used yet. The scanner never looks past a
  // line feed that ends the property, so nothing after the first line is taken from the stream
  // unless a comment or a line continuation runs on.
  std::streambuf* source_ = nullptr;
  std::string ahead_;
  Diagnostics* diagnostics_ = nullptr;
  const System* system_ = nullptr;
  bool comment_ = false;
  std::int32_t value_ = 0;
  std::int32_t processSymbol_ = -1;
  std::int32_t locationSymbol_ = -1;
  // Strict scanning: bytes consumed since the input was begun, and the places recorded.
  bool strict_ = false;
  std::size_t consumed_ = 0;
  std::size_t tokenStart_ = 0;
  std::string tokenText_;
  TctlPlace last_, refusal_;
};
