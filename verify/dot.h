// verify/dot.h: the network as a Graphviz graph.
#pragma once
#include <iosfwd>

class System;

// One cluster per process, named after it; locations labelled with their names, invariants and
// committed or urgent marks, the initial one entered by an arrow from a dot; edges labelled
// with guard, synchronisation and assignment lines.
void writeDot(const System& system, std::ostream& out);
