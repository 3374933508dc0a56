#include "base/error.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <iostream>

void FormattedError::format(const char* fmt, va_list args) {
  std::vsnprintf(message_, sizeof message_, fmt, args);
}

#define QUORIX_FORMAT_CTOR(Class) \
  Class::Class(const char* fmt, ...) {  \
    va_list args;                       \
    va_start(args, fmt);                \
    format(fmt, args);                  \
    va_end(args);                       \
  }
QUORIX_FORMAT_CTOR(ProtocolError)
QUORIX_FORMAT_CTOR(InputError)
QUORIX_FORMAT_CTOR(CheckError)
QUORIX_FORMAT_CTOR(Bug)
#undef QUORIX_FORMAT_CTOR

namespace {
[[noreturn]] void report(const char* prefix, const char* fmt, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, fmt, args);
  std::cerr << prefix << text;
  fatalExit();
}
}  // namespace

void fatalError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  report("Fatal Error: ", fmt, args);
}

void internalError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  report("Quorix BUG: ", fmt, args);
}

void fatalExit() {
  std::cerr << '\n';
  std::cerr.flush();
  std::cout.flush();
  std::_Exit(255);
}
