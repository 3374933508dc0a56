// The setOptions request: option lines up to ".", each changing one value and dropping the
// engine objects that depend on it.
#include <cstring>
#include <string>

#include "server/error.h"
#include "server/server.h"

namespace {

bool parseBool(char value) {
  switch (value) {
    case '1':
    case 'T':
      return true;
    case '0':
    case 'F':
      return false;
    default:
      throw ProtocolError("Protocol violation: T, F, 0 or 1 expected");
  }
}

}  // namespace

void Server::handleSetOptions() {
  for (;;) {
    std::string line = readLine(in_);
    if (isTerminator(line)) break;
    std::size_t nameEnd = line.find(' ');
    std::string name = line.substr(0, nameEnd);
    std::size_t valueAt = nameEnd == std::string::npos ? line.size() : nameEnd;
    while (valueAt < line.size() && line[valueAt] == ' ') ++valueAt;
    if (valueAt >= line.size()) throw ProtocolError("Syntax error");
    char value = line[valueAt];
    int digit = value - '0';

    if (name == "order") {
      bool depthFirst = digit == 1;
      if (depthFirst != options_.order) {
        options_.order = depthFirst;
        drop(dropWaiting | dropEnumeration);
      }
    } else if (name == "reduction") {
      if (digit != options_.reduction) {
        options_.reduction = digit;
        drop(dropEnumeration);
      }
    } else if (name == "representation") {
      if (digit < 0 || digit > 3) throw ProtocolError("Protocol violation: 0, 1, 2 or 3 expected");
      if (digit != options_.representation) {
        options_.representation = digit;
        drop(dropEnumeration | dropPassed | dropWaiting);
      }
    } else if (name == "reuse") {
      bool reuse = parseBool(value);
      if (reuse != options_.reuse) {
        options_.reuse = reuse;
        drop(dropEnumeration);
      }
    } else if (name == "activeClocks") {
      bool active = parseBool(value);
      if (active != options_.activeClocks) {
        options_.activeClocks = active;
        drop(dropWaiting | dropEnumeration);
      }
    } else if (name == "trace") {
      // Setting trace always takes effect, even to the value it has.
      options_.trace = parseBool(value);
      drop(dropTraces | dropEnumeration);
    }
  }
  configure();
  reply("ok");
  reply(".");
}
