// The network as a Graphviz graph.
#include "verify/dot.h"

#include <ostream>
#include <sstream>
#include <string>

#include "model/channel.h"
#include "model/control_state.h"
#include "model/process.h"
#include "model/system.h"
#include "model/transition.h"
#include "verify/format.h"

namespace {

// A Graphviz quoted string; lines are joined with "\n".
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\')
      out += '\\';
    else if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

template <class Labels>
std::string printed(const Labels& labels) {
  std::ostringstream text;
  for (std::size_t k = 0; k < labels.size(); ++k) {
    if (k) text << ", ";
    labels[k]->print(text);
  }
  return text.str();
}

std::string edgeLabel(const Transition& edge) {
  std::string label;
  if (!edge.guards().empty()) label += printed(edge.guards()) + "\n";
  if (edge.synchronisation() != 0) {
    std::int32_t number = syncChannel(edge.synchronisation());
    const Channel* channel = channels().lookup(number);
    label += (channel ? channel->name() : std::to_string(number)) +
             (edge.synchronisation() > 0 ? "!" : "?") + "\n";
  }
  if (!edge.assignments().empty()) label += printed(edge.assignments()) + "\n";
  if (!label.empty()) label.pop_back();
  return label;
}

}  // namespace

void writeDot(const System& system, std::ostream& out) {
  out << "digraph network {\n";
  out << "  node [shape=ellipse];\n";
  for (int p = 0; p < system.processCount(); ++p) {
    const Process* process = system.process(p);
    if (!process) continue;
    std::string prefix = "p" + std::to_string(p) + "_";
    out << "  subgraph cluster_" << p << " {\n";
    out << "    label=" << quoted(processName(system, p)) << ";\n";
    for (int k = 0; k < process->locationCount(); ++k) {
      const ControlState* location = process->location(k);
      std::string label = locationName(system, p, k);
      if (location->isCommitted()) label += "\n(committed)";
      if (location->isUrgent()) label += "\n(urgent)";
      if (!location->invariant().empty()) label += "\n" + printed(location->invariant());
      out << "    " << prefix << k << " [label=" << quoted(label);
      if (location->isCommitted() || location->isUrgent()) out << ", peripheries=2";
      out << "];\n";
    }
    if (process->initial() >= 0 && process->initial() < process->locationCount()) {
      out << "    " << prefix << "init [shape=point];\n";
      out << "    " << prefix << "init -> " << prefix << process->initial() << ";\n";
    }
    for (int k = 0; k < process->edgeCount(); ++k) {
      const Transition* edge = process->edge(k);
      if (edge->source() < 0 || edge->destination() < 0) continue;
      out << "    " << prefix << edge->source() << " -> " << prefix << edge->destination();
      std::string label = edgeLabel(*edge);
      if (!label.empty()) out << " [label=" << quoted(label) << "]";
      out << ";\n";
    }
    out << "  }\n";
  }
  out << "}\n";
}
