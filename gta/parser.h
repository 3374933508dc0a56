// gta/parser.h: reads a model text into a System, or reports why it cannot.
#pragma once
#include <iosfwd>
#include <string>
#include <string_view>

#include "base/ref.h"

class System;

struct ParseResult {
  // The new system, prepared, with its clock owners resolved and its maximal constants and
  // diagonal guards in the clock table; null when the text was rejected.
  Ref<System> system;
  // Every "Error at line N : ..." report of the reading, one per line; also the length
  // warnings of an accepted text.
  std::string diagnostics;
};

// Reads a whole model text into fresh model tables (symbols, clocks with their constants,
// channels, integer variables), counting lines from 1. A rejected text leaves the
// current tables as they were, so the previous system keeps working; an accepted one hands the
// new tables to the new system and makes them the thread's current ones.
//
// The reports are collected in the result, from the reading's own diagnostics buffer.
//
// Strict reading, for a terminal user rather than a front end, rejects the same texts but reports
// differently: each report is "LINE:COLUMN: message" at the token the reading stopped at, a
// parse error names that token ("unexpected '&&': write ',' between the constraints of a
// guard", "unknown name 'y'"), and a broken rule's message names it when the message does not
// ("Transition destination is not a state: 'C'").
ParseResult parseSystem(std::istream& in, bool strict = false);
ParseResult parseSystem(std::string_view text, bool strict = false);
