// The model reader: any text, accepted or refused with its diagnostics.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "gta/parser.h"
#include "model/system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  ParseResult parsed = parseSystem(std::string_view(reinterpret_cast<const char*>(data), size));
  if (parsed.system) parsed.system->initialState(true);
  return 0;
}
