// A small strict JSON reader for checking the verifier's output: values as a tree.
#pragma once
#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct JsonValue {
  enum Type { null, boolean, number, string, array, object } type = null;
  bool flag = false;
  double value = 0;
  std::string text;
  std::vector<JsonValue> items;
  std::map<std::string, JsonValue> members;
  std::vector<std::string> order;  // member names in the order written

  const JsonValue& operator[](const std::string& name) const {
    auto found = members.find(name);
    if (found == members.end()) throw std::runtime_error("no member " + name);
    return found->second;
  }
  bool has(const std::string& name) const { return members.count(name) != 0; }
};

class JsonReader {
 public:
  // Throws std::runtime_error unless text is exactly one JSON value (white space around it).
  static JsonValue parse(const std::string& text) {
    JsonReader reader(text);
    JsonValue value = reader.value();
    reader.space();
    if (reader.at_ != text.size()) reader.fail("text after the value");
    return value;
  }

 private:
  explicit JsonReader(const std::string& text) : text_(text) {}

  [[noreturn]] void fail(const std::string& what) const {
    throw std::runtime_error(what + " at " + std::to_string(at_));
  }
  void space() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\t' || text_[at_] == '\r'))
      ++at_;
  }
  bool literal(const char* word) {
    std::string w(word);
    if (text_.compare(at_, w.size(), w) != 0) return false;
    at_ += w.size();
    return true;
  }
  void expect(char c) {
    space();
    if (at_ >= text_.size() || text_[at_] != c) fail(std::string("expected ") + c);
    ++at_;
  }

  JsonValue value() {
    space();
    if (at_ >= text_.size()) fail("value expected");
    JsonValue v;
    char c = text_[at_];
    if (c == '{') {
      v.type = JsonValue::object;
      ++at_;
      space();
      if (at_ < text_.size() && text_[at_] == '}') {
        ++at_;
        return v;
      }
      for (;;) {
        space();
        std::string name = stringBody();
        expect(':');
        if (v.members.count(name)) fail("duplicate member " + name);
        v.members[name] = value();
        v.order.push_back(name);
        space();
        if (at_ < text_.size() && text_[at_] == ',') {
          ++at_;
          continue;
        }
        expect('}');
        return v;
      }
    }
    if (c == '[') {
      v.type = JsonValue::array;
      ++at_;
      space();
      if (at_ < text_.size() && text_[at_] == ']') {
        ++at_;
        return v;
      }
      for (;;) {
        v.items.push_back(value());
        space();
        if (at_ < text_.size() && text_[at_] == ',') {
          ++at_;
          continue;
        }
        expect(']');
        return v;
      }
    }
    if (c == '"') {
      v.type = JsonValue::string;
      v.text = stringBody();
      return v;
    }
    if (literal("true")) {
      v.type = JsonValue::boolean;
      v.flag = true;
      return v;
    }
    if (literal("false")) {
      v.type = JsonValue::boolean;
      return v;
    }
    if (literal("null")) return v;
    std::size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    while (at_ < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[at_])) || text_[at_] == '.' ||
            text_[at_] == 'e' || text_[at_] == 'E' || text_[at_] == '+' || text_[at_] == '-'))
      ++at_;
    if (at_ == start) fail("value expected");
    v.type = JsonValue::number;
    v.value = std::strtod(text_.substr(start, at_ - start).c_str(), nullptr);
    return v;
  }

  std::string stringBody() {
    if (at_ >= text_.size() || text_[at_] != '"') fail("string expected");
    ++at_;
    std::string out;
    while (at_ < text_.size() && text_[at_] != '"') {
      unsigned char c = static_cast<unsigned char>(text_[at_]);
      if (c < 0x20) fail("raw control character in string");
      if (c != '\\') {
        out += char(c);
        ++at_;
        continue;
      }
      if (++at_ >= text_.size()) fail("escape at end");
      char e = text_[at_++];
      switch (e) {
        case '"':
          out += '"';
          break;
        case '\\':
          out += '\\';
          break;
        case '/':
          out += '/';
          break;
        case 'n':
          out += '\n';
          break;
        case 't':
          out += '\t';
          break;
        case 'r':
          out += '\r';
          break;
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'u': {
          if (at_ + 4 > text_.size()) fail("short \\u escape");
          out += char(std::strtol(text_.substr(at_, 4).c_str(), nullptr, 16));
          at_ += 4;
          break;
        }
        default:
          fail("bad escape");
      }
    }
    if (at_ >= text_.size()) fail("unterminated string");
    ++at_;
    return out;
  }

  const std::string& text_;
  std::size_t at_ = 0;
};
