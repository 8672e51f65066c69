#include "netlist_wrapper/json_syntax.h"

#include <cstdint>
#include <vector>

namespace vexolin {

namespace {

bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool is_digit(unsigned char c) {
  return c >= '0' && c <= '9';
}

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

class Checker {
 public:
  explicit Checker(std::string_view text)
      : s_(reinterpret_cast<const unsigned char*>(text.data())), n_(text.size()) {}

  std::optional<JsonSyntaxFault> run() {
    enum class State { Value, Key, AfterValue };
    std::vector<unsigned char> open;  // '[' or '{' per nesting level
    State state = State::Value;
    skip_space();
    for (;;) {
      switch (state) {
        case State::Value: {
          if (at_end()) return fault(n_, eof_message(open));
          const unsigned char c = s_[i_];
          if (c == '[' || c == '{') {
            ++i_;
            skip_space();
            if (at_end()) return fault(n_, c == '[' ? kEofList : kEofObject);
            if (s_[i_] == (c == '[' ? ']' : '}')) {
              ++i_;
              state = State::AfterValue;
              break;
            }
            open.push_back(c);
            state = c == '[' ? State::Value : State::Key;
            break;
          }
          if (c == '"') {
            if (!string()) return fault_;
          } else if (c == '-' || is_digit(c)) {
            if (!number()) return fault_;
          } else if (c == 't' || c == 'f' || c == 'n') {
            if (!literal(c == 't' ? "true" : c == 'f' ? "false" : "null")) return fault_;
          } else {
            return fault(i_, "expected value");
          }
          state = State::AfterValue;
          break;
        }
        case State::Key:
          if (at_end()) return fault(n_, kEofObject);
          if (s_[i_] != '"') return fault(i_, "key must be a string");
          if (!string()) return fault_;
          skip_space();
          if (at_end()) return fault(n_, kEofObject);
          if (s_[i_] != ':') return fault(i_, "expected `:`");
          ++i_;
          skip_space();
          state = State::Value;
          break;
        case State::AfterValue: {
          skip_space();
          if (open.empty()) {
            if (!at_end()) return fault(i_, "trailing characters");
            return std::nullopt;
          }
          const bool list = open.back() == '[';
          if (at_end()) return fault(n_, list ? kEofList : kEofObject);
          const unsigned char c = s_[i_];
          if (c == ',') {
            ++i_;
            skip_space();
            if (!at_end() && s_[i_] == (list ? ']' : '}')) return fault(i_, "trailing comma");
            state = list ? State::Value : State::Key;
          } else if (c == (list ? ']' : '}')) {
            ++i_;
            open.pop_back();
          } else {
            return fault(i_, list ? "expected `,` or `]`" : "expected `,` or `}`");
          }
          break;
        }
      }
    }
  }

 private:
  static constexpr std::string_view kEofList = "EOF while parsing a list";
  static constexpr std::string_view kEofObject = "EOF while parsing an object";

  static std::string_view eof_message(const std::vector<unsigned char>& open) {
    if (open.empty()) return "EOF while parsing a value";
    return open.back() == '[' ? kEofList : kEofObject;
  }

  bool at_end() const { return i_ >= n_; }
  void skip_space() {
    while (i_ < n_ && is_space(s_[i_])) ++i_;
  }
  std::optional<JsonSyntaxFault> fault(std::size_t at, std::string_view message) {
    fault_ = JsonSyntaxFault{at, message};
    return fault_;
  }
  bool fail(std::size_t at, std::string_view message) {
    fault(at, message);
    return false;
  }

  // Four hex digits at i_; the code unit, or -1 after recording the fault.
  std::int32_t hex4() {
    std::int32_t v = 0;
    for (int k = 0; k < 4; ++k) {
      if (at_end()) {
        fail(n_, "EOF while parsing a string");
        return -1;
      }
      const int h = hex_value(s_[i_]);
      if (h < 0) {
        fail(i_, "invalid escape");
        return -1;
      }
      v = v * 16 + h;
      ++i_;
    }
    return v;
  }

  bool string() {
    ++i_;  // opening quote
    for (;;) {
      if (at_end()) return fail(n_, "EOF while parsing a string");
      const unsigned char c = s_[i_];
      if (c == '"') {
        ++i_;
        return true;
      }
      if (c < 0x20)
        return fail(i_, "control character (\\u0000-\\u001F) found while parsing a string");
      if (c == '\\') {
        const std::size_t start = i_;
        ++i_;
        if (at_end()) return fail(n_, "EOF while parsing a string");
        const unsigned char e = s_[i_++];
        if (e == 'u') {
          const std::int32_t unit = hex4();
          if (unit < 0) return false;
          if (unit >= 0xDC00 && unit <= 0xDFFF) return fail(start, "lone surrogate in hex escape");
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i_ + 1 >= n_ || s_[i_] != '\\' || s_[i_ + 1] != 'u') {
              return fail(start, "lone surrogate in hex escape");
            }
            i_ += 2;
            const std::int32_t low = hex4();
            if (low < 0) return false;
            if (low < 0xDC00 || low > 0xDFFF) return fail(start, "lone surrogate in hex escape");
          }
        } else if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' &&
                   e != 'r' && e != 't') {
          return fail(start, "invalid escape");
        }
        continue;
      }
      if (c < 0x80) {
        ++i_;
        continue;
      }
      if (!utf8_sequence()) return fail(i_, "invalid UTF-8");
    }
  }

  bool utf8_sequence() {
    const unsigned char c = s_[i_];
    std::size_t len;
    std::uint32_t cp;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1Fu;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0Fu;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07u;
    } else {
      return false;
    }
    if (i_ + len > n_) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((s_[i_ + k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (s_[i_ + k] & 0x3Fu);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
        cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i_ += len;
    return true;
  }

  bool number() {
    const std::size_t start = i_;
    if (s_[i_] == '-') ++i_;
    if (at_end() || !is_digit(s_[i_])) return fail(start, "invalid number");
    if (s_[i_] == '0') {
      ++i_;
    } else {
      while (!at_end() && is_digit(s_[i_])) ++i_;
    }
    if (!at_end() && s_[i_] == '.') {
      ++i_;
      if (at_end() || !is_digit(s_[i_])) return fail(start, "invalid number");
      while (!at_end() && is_digit(s_[i_])) ++i_;
    }
    if (!at_end() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (!at_end() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (at_end() || !is_digit(s_[i_])) return fail(start, "invalid number");
      while (!at_end() && is_digit(s_[i_])) ++i_;
    }
    // "01", "1.2.3", "1x": the number runs on without a separator.
    if (!at_end()) {
      const unsigned char c = s_[i_];
      if (is_digit(c) || c == '.' || c == '+' || c == '-' || (c >= 'a' && c <= 'z') ||
          (c >= 'A' && c <= 'Z')) {
        return fail(start, "invalid number");
      }
    }
    return true;
  }

  bool literal(std::string_view word) {
    for (const char w : word) {
      if (at_end()) return fail(n_, "EOF while parsing a value");
      if (s_[i_] != static_cast<unsigned char>(w)) return fail(i_, "expected ident");
      ++i_;
    }
    return true;
  }

  const unsigned char* s_;
  std::size_t n_;
  std::size_t i_ = 0;
  std::optional<JsonSyntaxFault> fault_;
};

}  // namespace

std::optional<JsonSyntaxFault> find_json_syntax_fault(std::string_view text) {
  return Checker(text).run();
}

TextPosition text_position(std::string_view text, std::size_t offset) {
  if (offset > text.size()) offset = text.size();
  std::size_t line = 1, line_start = 0;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      line_start = i + 1;
    }
  }
  return {line, offset - line_start + 1};
}

}  // namespace vexolin
