#include "bit.h"

namespace vexolin {

BitError BitError::from_char(char32_t c) {
  std::string s;
  if (c < 0x80) {
    s.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    s.push_back(static_cast<char>(0xC0 | (c >> 6)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    s.push_back(static_cast<char>(0xE0 | (c >> 12)));
    s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    s.push_back(static_cast<char>(0xF0 | (c >> 18)));
    s.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    s.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
  return {Variant::Char, std::move(s)};
}

std::string BitError::display() const {
  return "Couldn't convert `" + value_ + "` to a Bit, must be 0 or 1";
}

std::string BitError::debug() const {
  return std::string(variant_ == Variant::Int ? "Int" : "Char") + "(\"" + value_ + "\")";
}

std::variant<Bit, BitError> bit_from_int(std::uint64_t value) {
  if (value <= 1) return static_cast<Bit>(value);
  return BitError::from_int(value);
}

namespace {

template <class Int>
Int unsigned_value(const Bit* bits, std::size_t len) {
  constexpr std::size_t n = sizeof(Int) * 8;
  Int v = 0;
  for (std::size_t i = 0, end = len < n ? len : n; i < end; ++i) v |= Int(bits[i] & 1) << i;
  return v;
}

template <class Int>
Int signed_value(const Bit* bits, std::size_t len) {
  constexpr std::size_t n = sizeof(Int) * 8;
  Int v = unsigned_value<Int>(bits, len);
  // A vector longer than the integer keeps its first n bits unchanged; only a shorter one is
  // extended from its own top bit.
  if (len > 0 && len < n && bits[len - 1]) v |= ~Int(0) << len;
  return v;
}

template <class Int>
BitVec to_bits(Int value, std::size_t width, bool is_signed) {
  constexpr std::size_t n = sizeof(Int) * 8;
  BitVec out(width);
  for (std::size_t i = 0, end = width < n ? width : n; i < end; ++i) out[i] = Bit((value >> i) & 1);
  if (width > n && is_signed) {
    const Bit fill = Bit((value >> (n - 1)) & 1);
    for (std::size_t i = n; i < width; ++i) out[i] = fill;
  }
  return out;
}

}  // namespace

std::uint64_t bits_to_u64(const Bit* bits, std::size_t len) {
  return unsigned_value<std::uint64_t>(bits, len);
}
std::uint64_t bits_to_s64(const Bit* bits, std::size_t len) {
  return signed_value<std::uint64_t>(bits, len);
}
u128 bits_to_u128(const Bit* bits, std::size_t len) {
  return unsigned_value<u128>(bits, len);
}
u128 bits_to_s128(const Bit* bits, std::size_t len) {
  return signed_value<u128>(bits, len);
}

BitVec u64_to_bits(std::uint64_t value, std::size_t width, bool is_signed) {
  return to_bits(value, width, is_signed);
}
BitVec u128_to_bits(u128 value, std::size_t width, bool is_signed) {
  return to_bits(value, width, is_signed);
}

std::vector<BitVec> split_elements(const BitVec& flat, std::size_t width) {
  std::vector<BitVec> out;
  if (width == 0) return out;
  out.reserve(flat.size() / width + 1);
  for (std::size_t at = 0; at < flat.size(); at += width) {
    const std::size_t end = at + width < flat.size() ? at + width : flat.size();
    out.emplace_back(flat.begin() + static_cast<std::ptrdiff_t>(at),
                     flat.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return out;
}

BitVec join_elements(const std::vector<BitVec>& elements) {
  BitVec out;
  for (const BitVec& e : elements) out.insert(out.end(), e.begin(), e.end());
  return out;
}

}  // namespace vexolin
