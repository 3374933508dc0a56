// The newSystem request: a model text in, the names of its integer cells and clocks out.
#include <cstdint>
#include <sstream>
#include <string>

#include "gta/parser.h"
#include "model/integer.h"
#include "model/system.h"
#include "base/error.h"
#include "server/server.h"
#include "model/clock.h"

void Server::handleNewSystem() {
  std::stringstream text;
  if (!readTextBlock(in_, text)) throw ProtocolError("Protocol violation when receiving system");
  // The reader resets the model tables, and puts the previous ones back when it rejects the
  // text, so a failed upload leaves the loaded model working as before.
  ParseResult parsed = parseSystem(text);
  if (!parsed.system) throw ProtocolError("Syntax errors in system.");
  session_.setSystem(std::move(parsed.system));

  std::string cells;
  const IntegerVariables& variables = integerVariables();
  for (std::int32_t v = 0; v < variables.size(); ++v) {
    const IntegerVariable& variable = variables[v];
    if (variable.size == 1) {
      cells += variable.name + ' ';
    } else {
      for (std::int32_t k = 0; k < variable.size; ++k)
        cells += variable.name + '[' + std::to_string(k) + "] ";
    }
  }
  std::string clocks;
  for (std::int32_t c = 0; c < ClockInfo::count(); ++c) clocks += std::string(ClockInfo::name(c)) + ' ';
  reply("ok");
  reply(cells);
  reply(clocks);
  reply(".");
}
