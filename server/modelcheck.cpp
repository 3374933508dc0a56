// The modelCheck request: a property text in, a verdict and maybe a trace out.
#include <sstream>
#include <string>

#include "model/global_state.h"
#include "model/system.h"
#include "base/error.h"
#include "server/server.h"
#include "tctl/parser.h"
#include "tctl/tctl_expression.h"

void Server::handleModelCheck() {
  if (!session_.system()) throw ProtocolError("No system received");
  std::stringstream text;
  if (!readTextBlock(in_, text))
    throw ProtocolError("Protocol violation when receiving property");

  std::ostringstream buffer;
  Diagnostics diagnostics(buffer);
  ParsedProperty parsed =
      parseProperty(text, session_.system(), session_.propertyScanner(), diagnostics);
  if (!parsed.expression) throw InputError("%s", buffer.str().c_str());

  CheckResult result = session_.check(parsed.kind, std::move(parsed.expression));
  reply("ok");
  reply(std::string(1, static_cast<char>(result.verdict)));
  if (!session_.options().trace || !result.found) {
    reply("0");
    reply("0");
    reply(".");
    return;
  }
  reply(std::to_string(result.path->length()));
  reply(std::to_string(result.loop->length()));
  for (const ReplayedStep& step : session_.replay(*result.path, *result.loop)) {
    writeState(step.state.get());
    if (step.step.first) writeTransitionLine(step.step.first.get());
    if (step.step.second) writeTransitionLine(step.step.second.get());
    reply(".");
  }
  reply(".");
}
