// The property reader over a fixed model, and the transformations the checkers apply to what it
// accepts (negation, normal form, printing).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "gta/parser.h"
#include "model/system.h"
#include "base/error.h"
#include "tctl/parser.h"
#include "tctl/tctl_expression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static DiscardStream discard;
  static Ref<System> system = [] {
    ParseResult parsed = parseSystem(handshakeModel);
    if (!parsed.system) std::abort();
    return parsed.system;
  }();
  CheckedProperty parsed =
      parsePropertyText(std::string(reinterpret_cast<const char*>(data), size), system);
  if (parsed.expression) {
    parsed.expression->print(discard);
    parsed.expression->negate()->normalize()->print(discard);
  }
  return 0;
}
