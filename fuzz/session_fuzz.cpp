// Whole protocol sessions: the input is what a front end writes to the server, request words,
// parameter lines and text blocks alike.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "base/error.h"
#include "server/server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static DiscardStream discard;
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  Server server(in, discard);
  server.session().setProgress(new BudgetProgress(2000));
  server.run();
  return 0;
}
