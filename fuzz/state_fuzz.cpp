// The simulator's state reader: the first byte picks the request that reads a state, the rest
// is the state text and whatever follows it, over a fixed model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "gta/parser.h"
#include "model/system.h"
#include "base/error.h"
#include "server/server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static DiscardStream discard;
  static Ref<System> system = [] {
    ParseResult parsed = parseSystem(handshakeModel);
    if (!parsed.system) std::abort();
    return parsed.system;
  }();
  if (size == 0) return 0;
  static const char* const words[] = {"getTransitions\n", "getSuccessor\n", "startState\n"};
  std::string text = words[data[0] % 3];
  text.append(reinterpret_cast<const char*>(data + 1), size - 1);
  // A check from the state read, when the rest of the input leaves the server able to run one.
  text += "\nmodelCheck\nE<> P.S2 and Q.T2\n.\n";
  std::istringstream in(text);
  Server server(in, discard);
  server.session().setSystem(system);
  server.session().setProgress(new BudgetProgress(2000));
  server.run();
  return 0;
}
