#include "server/filter.h"

#include <cctype>
#include <climits>

#include "base/error.h"

NewlineFilterBuffer::int_type NewlineFilterBuffer::underflow() {
  int_type c;
  do {
    c = source_->sbumpc();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::eof();
  } while (traits_type::to_char_type(c) == '\r');
  ch_ = traits_type::to_char_type(c);
  setg(&ch_, &ch_, &ch_ + 1);
  return traits_type::to_int_type(ch_);
}

int NewlineFilterBuffer::sync() { return source_->pubsync(); }

NewlineFilterStream::NewlineFilterStream(std::istream& source)
    : std::istream(nullptr), buffer_(std::make_unique<NewlineFilterBuffer>(source.rdbuf())) {
  rdbuf(buffer_.get());
}

NewlineFilterStream::~NewlineFilterStream() { rdbuf(nullptr); }

namespace {
// Reads through the next line feed (consumed, not stored), keeping the first `limit` characters.
std::string readBoundedLine(std::istream& in, std::size_t limit) {
  std::string line;
  std::streambuf* buf = in.rdbuf();
  if (!buf || !in.good()) {
    in.setstate(std::ios::failbit);
    return line;
  }
  for (;;) {
    int c = buf->sbumpc();
    if (c == std::char_traits<char>::eof()) {
      in.setstate(std::ios::eofbit);
      break;
    }
    if (c == '\n') break;
    if (line.size() < limit) line.push_back(char(c));
  }
  return line;
}
}  // namespace

std::string readCommandWord(std::istream& filtered) {
  return readBoundedLine(filtered, kMaxCommandWord);
}

std::string readLine(std::istream& in) { return readBoundedLine(in, kMaxParameterLine); }

std::int32_t parseInteger(const std::string& line) {
  std::size_t i = 0, n = line.size();
  while (i < n && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
  bool negative = false;
  if (i < n && (line[i] == '+' || line[i] == '-')) negative = line[i++] == '-';
  if (i == n || !std::isdigit(static_cast<unsigned char>(line[i])))
    throw ProtocolError("Bad integer value");
  long long value = 0;
  for (; i < n && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
    value = value * 10 + (line[i] - '0');
    if (value > 1LL + INT_MAX) throw ProtocolError("Bad integer value");
  }
  if (i != n) throw ProtocolError("Bad integer value");
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) throw ProtocolError("Bad integer value");
  return static_cast<std::int32_t>(value);
}

bool readTextBlock(std::istream& in, std::ostream& sink) {
  std::streambuf* buf = in.rdbuf();
  if (!buf) return false;
  constexpr int eof = std::char_traits<char>::eof();
  bool ended = !in.good();
  // One character with carriage returns skipped; eof once the input has ended.
  auto next = [&]() -> int {
    if (ended) return eof;
    int c;
    do c = buf->sbumpc();
    while (c == '\r');
    if (c == eof) {
      ended = true;
      in.setstate(std::ios::eofbit);
    }
    return c;
  };
  int w0 = next(), w1 = next(), w2 = next();
  for (;;) {
    if (ended) return false;
    if (w0 == '\n' && w1 == '.' && w2 == '\n') {
      sink.put('\n');
      return true;
    }
    sink.put(char(w0));
    w0 = w1;
    w1 = w2;
    w2 = next();
  }
}
