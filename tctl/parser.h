// tctl/parser.h: the property grammar. A property is one line: a quantifier with a state
// formula, a leads-to pair, "quit", or nothing.
#pragma once
#include <cstddef>
#include <iosfwd>
#include <string>

#include "base/diagnostics.h"
#include "base/ref.h"
#include "tctl/lexer.h"

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

struct ParsedProperty {
  PropertyKind kind = propertyNone;
  Ref<TCTLExpression> expression;  // null for propertyQuit and propertyNone
};

// Reads one property from text with the session's scanner: up to the line feed that ends the
// property, or to the end of the input. Diagnostics go to diagnostics, whose line advances by
// the line feeds read: the scanner's messages for names it cannot use, "Bad property" for the
// first syntax error (after which the rest of the line is read and dropped), or the message for a
// misplaced "deadlock". The deadlock predicate is made over system, which may be null (then no
// edge is enabled). When the kind is propertyQuit or propertyNone the property was not accepted
// for checking, and the diagnostics hold the reason (nothing for an empty text or "quit").
ParsedProperty parseProperty(std::istream& text, Ref<System> system, PropertyScanner& scanner,
                             Diagnostics& diagnostics);

// The same over a string with a scanner of its own (outside comment mode), collecting the
// diagnostics itself.
struct CheckedProperty : ParsedProperty {
  std::string diagnostics;
};
CheckedProperty parsePropertyText(const std::string& text, Ref<System> system);
