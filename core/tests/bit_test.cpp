#include "bit.h"

#include <gtest/gtest.h>

namespace vexolin {
namespace {

TEST(BitFromInt, ZeroAndOneAreLevels) {
  EXPECT_EQ(std::get<Bit>(bit_from_int(0)), 0);
  EXPECT_EQ(std::get<Bit>(bit_from_int(1)), 1);
}

TEST(BitFromInt, OtherNumbersFailWithTheirText) {
  for (std::uint64_t v : {2u, 7u, 255u}) {
    const auto r = bit_from_int(v);
    ASSERT_TRUE(std::holds_alternative<BitError>(r));
    const BitError& e = std::get<BitError>(r);
    EXPECT_EQ(e.variant(), BitError::Variant::Int);
    EXPECT_EQ(e.display(), "Couldn't convert `" + std::to_string(v) + "` to a Bit, must be 0 or 1");
  }
  EXPECT_EQ(BitError::from_char('x').display(), "Couldn't convert `x` to a Bit, must be 0 or 1");
  EXPECT_EQ(BitError::from_int(7).debug(), "Int(\"7\")");
}

TEST(BitsToInt, SignedAndUnsignedReadings) {
  const BitVec ones3{1, 1, 1};
  EXPECT_EQ(bits_to_u64(ones3), 7u);
  EXPECT_EQ(static_cast<std::int64_t>(bits_to_s64(ones3)), -1);
  EXPECT_EQ(bits_to_u128(ones3), u128(7));
  EXPECT_EQ(bits_to_s128(ones3), ~u128(0));

  BitVec top64(64, 0);
  top64[63] = 1;
  top64[0] = 1;
  EXPECT_EQ(bits_to_s64(top64), (std::uint64_t(1) << 63) | 1);
  // At 128 bits the same vector is shorter than the integer and extends from bit 63.
  EXPECT_EQ(bits_to_s128(top64), (~u128(0) << 63) | 1);

  BitVec empty;
  EXPECT_EQ(bits_to_u64(empty), 0u);
  EXPECT_EQ(bits_to_s64(empty), 0u);
  EXPECT_EQ(bits_to_s128(empty), u128(0));
}

TEST(BitsToInt, BitsBeyondTheIntegerDoNotTakePart) {
  BitVec v(70, 1);
  v[3] = 0;
  const std::uint64_t low = ~std::uint64_t(0) & ~std::uint64_t(8);
  EXPECT_EQ(bits_to_u64(v), low);
  EXPECT_EQ(bits_to_s64(v), low);
  BitVec w(130, 0);
  w[129] = 1;  // beyond 128: ignored, no sign extension
  w[127] = 1;
  EXPECT_EQ(bits_to_u128(w), u128(1) << 127);
  EXPECT_EQ(bits_to_s128(w), u128(1) << 127);
}

TEST(IntToBits, WidthsAroundTheIntegerSize) {
  const std::uint64_t minus_one = ~std::uint64_t(0);
  EXPECT_EQ(u64_to_bits(minus_one, 70, true), BitVec(70, 1));
  BitVec unsigned70(64, 1);
  unsigned70.resize(70, 0);
  EXPECT_EQ(u64_to_bits(minus_one, 70, false), unsigned70);
  EXPECT_TRUE(u64_to_bits(5, 0, true).empty());
  EXPECT_EQ(u64_to_bits(5, 3, false), (BitVec{1, 0, 1}));

  const u128 top = u128(1) << 127;
  BitVec s130 = u128_to_bits(top, 130, true);
  EXPECT_EQ(s130[126], 0);
  EXPECT_EQ(s130[127], 1);
  EXPECT_EQ(s130[128], 1);
  EXPECT_EQ(s130[129], 1);
  EXPECT_EQ(u128_to_bits(top, 130, false)[129], 0);
  // Round trip at the 128-bit boundary.
  const u128 pattern = (u128(0x0123456789abcdefULL) << 64) | 0xfedcba9876543210ULL;
  EXPECT_EQ(bits_to_u128(u128_to_bits(pattern, 128, false)), pattern);
}

TEST(Elements, SplitAndJoin) {
  BitVec flat(12);
  for (std::size_t i = 0; i < flat.size(); ++i) flat[i] = Bit(i % 3 == 0);
  const auto parts = split_elements(flat, 4);
  ASSERT_EQ(parts.size(), 3u);
  EXPECT_EQ(parts[0], (BitVec{1, 0, 0, 1}));
  EXPECT_EQ(join_elements(parts), flat);
  EXPECT_TRUE(split_elements(flat, 0).empty());
}

}  // namespace
}  // namespace vexolin
