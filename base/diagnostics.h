// base/diagnostics.h: where a reader writes what it has to say about a text, and the line of the
// text it is at. Each reading gets its own: a request handler points one at a buffer whose
// contents become the error reply.
#pragma once
#include <cstdint>
#include <iosfwd>
#include <string_view>

class Diagnostics {
 public:
  explicit Diagnostics(std::ostream& sink) : sink_(&sink) {}

  std::ostream& stream() { return *sink_; }

  // The line the reader is at, from 1; readers advance it at every line end they pass.
  std::int32_t line() const { return line_; }
  void nextLine() { ++line_; }

  // "Error at line N : " message, then a line end.
  void reportError(std::string_view message);
  // "Bad property" and a line end.
  void reportBadProperty();

 private:
  std::ostream* sink_;
  std::int32_t line_ = 1;
};
