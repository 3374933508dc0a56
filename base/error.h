// base/error.h: the exceptions that abort a request, and fatal reports.
#pragma once
#include <cstdarg>
#include <exception>

// A message formatted printf-style into a fixed array; longer texts are cut to 255 characters.
class FormattedError : public std::exception {
public:
  const char* what() const noexcept override { return message_; }

protected:
  FormattedError() { message_[0] = 0; }
  void format(const char* fmt, va_list args);

private:
  char message_[256];
};

// The request does not follow the protocol or names something that does not exist.
class ProtocolError : public FormattedError {
public:
  explicit ProtocolError(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

// The data of a request (a property text) is rejected by its parser.
class InputError : public FormattedError {
public:
  explicit InputError(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

// A check or simulation step that cannot be completed: the diagram library failed, memory ran
// out, a search was stopped. The request fails with an error reply carrying the message, and the
// loaded model stays; never turned into a verdict.
class CheckError : public FormattedError {
public:
  explicit CheckError(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

// An internal inconsistency, or an operation a class does not support. Never caught.
class Bug : public FormattedError {
public:
  explicit Bug(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
};

// "Fatal Error: " and the message on standard error, then fatalExit.
[[noreturn]] void fatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// "Quorix BUG: " and the message on standard error, then fatalExit.
[[noreturn]] void internalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
// A line end on standard error, a flush, and the process ends with status -1.
[[noreturn]] void fatalExit();
