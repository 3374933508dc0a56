// tctl/lexer.h: the property scanner. Names are resolved against the symbol table as they are
// read, so the parser sees locations, clocks, integer variables and constants as typed tokens.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string>

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

// The value of the token tctl_lex() returned last.
extern std::int32_t tctl_lval;
// For a LOCATION token: the symbol indices of the process and of the location, for printing.
extern std::int32_t tctl_processSymbol;
extern std::int32_t tctl_locationSymbol;

// Reads the next token from the current input. Names it cannot use are written to the
// diagnostics sink ("Bad property: ...") and returned as BADSYM; every line feed it consumes
// advances lineNumber. Without an input, or at the end of it, returns END.
TctlToken tctl_lex();

// Makes `in` the scanner's input (the stream must outlive the reading), or none with null.
// Characters read ahead from the previous input are dropped; comment mode is kept, so a text
// that ended inside "/*" leaves the next one starting inside the comment.
void tctl_setInput(std::istream* in);

// True while the scanner is inside a "/*" comment.
bool tctl_inComment();
// Leaves comment mode (the scanner's start-up condition).
void tctl_resetComment();

// Strict scanning, for a user at a terminal rather than a front end (off by default): a
// character the language does not know is not skipped but refused, and the scanner keeps the
// place and text of the token scanned last and of the first refusal. A refusal returns BADSYM,
// so the parser rejects the property.
void tctl_setStrict(bool strict);

// A place in the current input: the column counts bytes from the start of the input (from 1).
struct TctlPlace {
  std::int32_t column = 0;  // 0: nothing recorded
  std::string text;         // the token as written; empty at the end of the input
  std::string message;      // refusals: "unexpected '!': write 'not'", "unknown name 'y'"
};
// The token scanned last, and the first refusal since an input was set (strict scanning only;
// still readable after the input is taken away with tctl_setInput(nullptr)).
const TctlPlace& tctl_lastToken();
const TctlPlace& tctl_firstRefusal();
