// Two-valued logic levels, bit vectors and their integer conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace vexolin {

/// One logic level: a byte holding 0 or 1. There is no unknown level at run time.
using Bit = std::uint8_t;

/// An owned sequence of levels, least significant first.
using BitVec = std::vector<Bit>;

/// 128-bit computing integer of the wide word-level paths.
__extension__ typedef unsigned __int128 u128;

/// The failed conversion of a value into a Bit.
class BitError {
 public:
  enum class Variant : std::uint8_t { Int, Char };

  static BitError from_int(std::uint64_t value) { return {Variant::Int, std::to_string(value)}; }
  static BitError from_char(char32_t c);

  Variant variant() const { return variant_; }
  /// The offending number in decimal, or the offending character as UTF-8.
  const std::string& value() const { return value_; }
  /// "Couldn't convert `{value}` to a Bit, must be 0 or 1"
  std::string display() const;
  /// The variant name and its payload, as in Int("7").
  std::string debug() const;

 private:
  BitError(Variant v, std::string s) : variant_(v), value_(std::move(s)) {}
  Variant variant_;
  std::string value_;
};

/// Checked conversion: 0 and 1 give the two levels, anything else a BitError::Int.
std::variant<Bit, BitError> bit_from_int(std::uint64_t value);

/// Unsigned value of the first min(|bits|, 64) bits.
std::uint64_t bits_to_u64(const Bit* bits, std::size_t len);
/// Value of the bits, sign-extended from the top bit when the vector is at most 64 bits long.
std::uint64_t bits_to_s64(const Bit* bits, std::size_t len);
/// Unsigned value of the first min(|bits|, 128) bits.
u128 bits_to_u128(const Bit* bits, std::size_t len);
/// Value of the bits, sign-extended from the top bit when the vector is at most 128 bits long.
u128 bits_to_s128(const Bit* bits, std::size_t len);

inline std::uint64_t bits_to_u64(const BitVec& v) {
  return bits_to_u64(v.data(), v.size());
}
inline std::uint64_t bits_to_s64(const BitVec& v) {
  return bits_to_s64(v.data(), v.size());
}
inline u128 bits_to_u128(const BitVec& v) {
  return bits_to_u128(v.data(), v.size());
}
inline u128 bits_to_s128(const BitVec& v) {
  return bits_to_s128(v.data(), v.size());
}

/// `width` bits of a 64-bit value; beyond bit 63 zeros (unsigned) or copies of bit 63 (signed).
BitVec u64_to_bits(std::uint64_t value, std::size_t width, bool is_signed);
/// `width` bits of a 128-bit value; beyond bit 127 zeros or copies of bit 127.
BitVec u128_to_bits(u128 value, std::size_t width, bool is_signed);

/// Element k of a flat vector: bits [k*width, k*width + width). Width 0 gives no elements.
std::vector<BitVec> split_elements(const BitVec& flat, std::size_t width);
/// The inverse of split_elements: elements concatenated, first element least significant.
BitVec join_elements(const std::vector<BitVec>& elements);

}  // namespace vexolin
