// The setOptions request: option lines up to ".", each changing one value and dropping the
// engine objects that depend on it.
#include <cstring>
#include <string>

#include "base/error.h"
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
      session_.setOption(Session::orderOption, digit == 1);
    } else if (name == "reduction") {
      session_.setOption(Session::reductionOption, digit);
    } else if (name == "representation") {
      if (digit < 0 || digit > 3) throw ProtocolError("Protocol violation: 0, 1, 2 or 3 expected");
      session_.setOption(Session::representationOption, digit);
    } else if (name == "abstraction") {
      if (digit < 0 || digit > 2) throw ProtocolError("Protocol violation: 0, 1 or 2 expected");
      session_.setOption(Session::abstractionOption, digit);
    } else if (name == "reuse") {
      session_.setOption(Session::reuseOption, parseBool(value));
    } else if (name == "activeClocks") {
      session_.setOption(Session::activeClocksOption, parseBool(value));
    } else if (name == "trace") {
      session_.setOption(Session::traceOption, parseBool(value));
    }
  }
  session_.configure();
  reply("ok");
  reply(".");
}
