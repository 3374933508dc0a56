// server/filter.h: protocol input (the carriage-return filter and the line readers) and reply lines.
#pragma once
#include <cstdint>
#include <istream>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

// Reads another buffer one byte at a time and never delivers a carriage return. Its get area is
// the one character last delivered, so nothing beyond what was consumed is taken from the source.
class NewlineFilterBuffer : public std::streambuf {
public:
  explicit NewlineFilterBuffer(std::streambuf* source) : source_(source) {}
  ~NewlineFilterBuffer() override = default;

protected:
  int_type underflow() override;
  int sync() override;

private:
  std::streambuf* source_;
  char ch_ = 0;
};

// An input stream that owns a NewlineFilterBuffer over the given source stream's buffer.
class NewlineFilterStream : public std::istream {
public:
  explicit NewlineFilterStream(std::istream& source);
  ~NewlineFilterStream() override;

private:
  std::unique_ptr<NewlineFilterBuffer> buffer_;
};

constexpr std::size_t kMaxCommandWord = 18;
constexpr std::size_t kMaxParameterLine = 98;

// One request line of at most 18 characters, line feed consumed and not stored. A longer line
// yields its first 18 characters; the rest of it is read and dropped.
std::string readCommandWord(std::istream& filtered);

// One parameter line of at most 98 characters, carriage returns kept. A longer line yields its
// first 98 characters; the rest of it is read and dropped. At end of input: what was read.
std::string readLine(std::istream& in);

// True for a line that is exactly ".".
inline bool isTerminator(std::string_view line) { return line == "."; }

// A decimal 32-bit integer, optional leading white space and sign, nothing after it;
// otherwise ProtocolError "Bad integer value".
std::int32_t parseInteger(const std::string& line);

// Receives a text block ended by a line ".", carriage returns skipped. The sink gets the block's
// characters followed by one line feed. False when the input ends before the terminator.
bool readTextBlock(std::istream& in, std::ostream& sink);

// Writes one reply line and flushes it.
inline void writeLine(std::ostream& out, std::string_view text) {
  out << text << '\n';
  out.flush();
}
