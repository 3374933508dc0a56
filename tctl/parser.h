// tctl/parser.h: the property grammar. A property is one line: a quantifier with a state
// formula, a leads-to pair, "quit", or nothing.
#pragma once
#include <cstddef>
#include <iosfwd>
#include <string>

#include "base/ref.h"

class System;
class TCTLExpression;

// What a property asks, and so which checker answers it.
enum PropertyKind : int {
  propertyAlways = 0,      // A[] p: the result is the negation of p
  propertyReachable = 1,   // E<> p
  propertyPersistent = 2,  // E[] p
  propertyInevitable = 3,  // A<> p: the result is the negation of p
  propertyLeadsTo = 4,     // p --> q: the result is an OrExpr with p left and q right
  propertyQuit = 5,        // "quit", or the end of the input: no result
  propertyNone = 6,        // an empty line or a rejected property: no result
};

// The parser's stacks of pending operators and operands together hold at most this many
// entries; a property nested deeper is refused as a syntax error. Flat chains of any length fit.
constexpr std::size_t maxParseStack = 10000;

// The parser's process-wide outcome: the result is null for propertyQuit and propertyNone.
extern Ref<TCTLExpression> tctl_result;
extern PropertyKind tctl_kind;
// The system the deadlock predicates are made over; may be null (then no edge is enabled).
extern Ref<System> tctl_system;

// Parses one property from the scanner's input (tctl_setInput) and sets tctl_result and
// tctl_kind. Reads up to the line feed that ends the property, or to the end of the input.
// Diagnostics go to the diagnostics sink: the scanner's messages for names it cannot use,
// "Bad property" for the first syntax error (after which the rest of the line is read and
// dropped), or the message for a misplaced "deadlock". Returns 0 when the property was
// accepted (including the empty, "quit" and end-of-input forms), 1 when it was rejected.
int tctl_parse();

struct ParsedProperty {
  PropertyKind kind = propertyNone;
  Ref<TCTLExpression> expression;  // null for propertyQuit and propertyNone
};

// The model-check entry point. Makes `text` the scanner's input, sets tctl_system to `system`,
// runs tctl_parse(), and leaves the scanner without input and tctl_system and tctl_result
// empty again (the result is handed back instead). It writes its diagnostics to errorStream()
// and advances lineNumber by the line feeds it reads; the caller points the sink at its own
// buffer and sets lineNumber to 1 before the call, and restores the sink after it. When the
// kind is propertyQuit or propertyNone the property was not accepted for checking, and the buffer holds the reason
// (nothing for an empty text or "quit").
ParsedProperty parseProperty(std::istream& text, Ref<System> system);

// The same over a string, collecting the diagnostics itself: the sink is pointed at a private
// buffer and lineNumber set to 1 for the parse, and both are restored afterwards.
struct CheckedProperty : ParsedProperty {
  std::string diagnostics;
};
CheckedProperty parsePropertyText(const std::string& text, Ref<System> system);
