#include "text.h"

namespace vexolin {

std::size_t space_length_at(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) -> unsigned {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned c = byte(at);
  if (c == ' ' || (c >= 0x09 && c <= 0x0D)) return 1;
  if (c == 0xC2) {
    const unsigned d = byte(at + 1);
    return d == 0x85 || d == 0xA0 ? 2 : 0;  // U+0085, U+00A0
  }
  if (c == 0xE1) return byte(at + 1) == 0x9A && byte(at + 2) == 0x80 ? 3 : 0;  // U+1680
  if (c == 0xE2) {
    const unsigned d = byte(at + 1), e = byte(at + 2);
    if (d == 0x80 && ((e >= 0x80 && e <= 0x8A) || e == 0xA8 || e == 0xA9 || e == 0xAF)) {
      return 3;  // U+2000..U+200A, U+2028, U+2029, U+202F
    }
    if (d == 0x81 && e == 0x9F) return 3;  // U+205F
    return 0;
  }
  if (c == 0xE3) return byte(at + 1) == 0x80 && byte(at + 2) == 0x80 ? 3 : 0;  // U+3000
  return 0;
}

std::string_view trim_space(std::string_view text) {
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t n = space_length_at(text, begin);
    if (n == 0) break;
    begin += n;
  }
  // Scan forward so that multi-byte spaces are recognised from their first byte.
  std::size_t end = begin, at = begin;
  while (at < text.size()) {
    const std::size_t n = space_length_at(text, at);
    if (n) {
      at += n;
    } else {
      ++at;
      end = at;
    }
  }
  return text.substr(begin, end - begin);
}

std::string remove_space(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t n = space_length_at(text, at);
    if (n) {
      at += n;
    } else {
      out.push_back(text[at++]);
    }
  }
  return out;
}

std::string debug_quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  for (const char ch : s) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          static constexpr char kHex[] = "0123456789abcdef";
          out += "\\u{";
          if (c >= 0x10) out += kHex[c >> 4];
          out += kHex[c & 0xF];
          out += '}';
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace vexolin
