// The word-level arithmetic and comparison kinds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "word_helpers.h"

namespace vexolin {
namespace {

using testing::bits_of;
using testing::msb;
using testing::OperandGen;
using testing::Operands;
using testing::run_cell;
using testing::show;
using testing::signed_if;
using testing::WordCell;

struct Case {
  std::string type;
  BitVec a, b;
  std::size_t y;
  bool sign;
  BitVec expected;
};

// Every bit of Y is expected, so each case runs once over zeros and once over ones in Y.
void run_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    Operands ops = {{"A", c.a}};
    if (c.type != "$neg") ops.push_back({"B", c.b});
    for (Bit preset : {Bit(0), Bit(1)}) {
      const BitVec y = run_cell(c.type, ops, c.y, signed_if(c.sign), preset);
      EXPECT_EQ(y, c.expected) << c.type << (c.sign ? " signed" : " unsigned") << " A=" << show(c.a)
                               << " B=" << show(c.b) << " gave " << show(y) << ", expected "
                               << show(c.expected);
    }
  }
}

BitVec ones_then_zeros(std::size_t ones, std::size_t zeros) {
  BitVec v(ones, 1);
  v.resize(ones + zeros, 0);
  return v;
}

/// The most negative value of `n` bits.
BitVec most_negative(std::size_t n) {
  BitVec v(n, 0);
  v.back() = 1;
  return v;
}

TEST(Arithmetic, WorkedExamples) {
  BitVec a100(100, 1), b100(100, 1);
  a100[0] = 0;   // low 64 bits: A = B - 1
  b100[80] = 0;  // above bit 63: A > B
  run_cases({
      {"$add", bits_of(13, 4), bits_of(3, 4), 4, false, bits_of(0, 4)},
      {"$sub", bits_of(3, 4), bits_of(5, 4), 4, false, bits_of(14, 4)},
      {"$mul", bits_of(13, 4), bits_of(3, 4), 4, true, bits_of(7, 4)},
      {"$div", bits_of(8, 4), bits_of(15, 4), 4, true, bits_of(8, 4)},
      {"$div", bits_of(8, 4), bits_of(15, 4), 4, false, bits_of(0, 4)},
      {"$mod", bits_of(13, 4), bits_of(3, 4), 4, true, bits_of(0, 4)},
      {"$mod", bits_of(13, 4), bits_of(3, 4), 4, false, bits_of(1, 4)},
      {"$sub", msb("0"), msb("1"), 70, true, bits_of(1, 70)},
      {"$neg", bits_of(1, 3), {}, 130, true, BitVec(130, 1)},
      {"$neg", bits_of(1, 3), {}, 130, false, ones_then_zeros(128, 2)},
      {"$eq", msb("111"), msb("1111"), 1, true, msb("1")},
      {"$eq", msb("111"), msb("1111"), 1, false, msb("0")},
      {"$eq", {}, {}, 1, false, msb("1")},
      {"$lt", bits_of(13, 4), bits_of(3, 4), 4, true, msb("0001")},
      {"$lt", bits_of(13, 4), bits_of(3, 4), 4, false, msb("0000")},
      {"$lt", a100, b100, 1, false, msb("1")},
      {"$add", {}, {}, 3, true, msb("000")},
  });
  // An empty Y writes nothing, so the pass after construction changes no net.
  WordCell empty("$add", {{"A", msb("1")}, {"B", msb("1")}}, 0);
  EXPECT_EQ(empty.bench.settle(), 1u);
}

TEST(Arithmetic, PosExtendsAnyWidth) {
  const ParameterMap sign = {{"A_SIGNED", 1}}, plain = {{"A_SIGNED", 0}};
  EXPECT_EQ(run_cell("$pos", {{"A", msb("101")}}, 5, sign), msb("11101"));
  EXPECT_EQ(run_cell("$pos", {{"A", msb("101")}}, 5, plain), msb("00101"));
  EXPECT_EQ(run_cell("$pos", {{"A", msb("10110")}}, 3, sign, 1), msb("110"));
  EXPECT_EQ(run_cell("$pos", {{"A", {}}}, 3, sign, 1), msb("000"));
  EXPECT_EQ(run_cell("$pos", {{"A", BitVec(200, 1)}}, 300, sign), BitVec(300, 1));
}

// A zero divisor gives an all-ones quotient and the dividend as remainder; the most negative
// value divided by -1 is itself with remainder 0. Each result is then extended like any other.
TEST(Arithmetic, DivisionWithoutAResultOfItsOwn) {
  BitVec min128_ext = most_negative(128);
  min128_ext.resize(130, 1);
  run_cases({
      {"$div", bits_of(5, 4), bits_of(0, 4), 4, false, msb("1111")},
      {"$div", bits_of(5, 4), bits_of(0, 4), 4, true, msb("1111")},
      {"$div", bits_of(5, 4), {}, 60, false, BitVec(60, 1)},
      {"$div", bits_of(5, 4), {}, 130, true, BitVec(130, 1)},
      {"$div", bits_of(5, 4), bits_of(0, 90), 130, false, ones_then_zeros(128, 2)},
      {"$mod", bits_of(5, 4), bits_of(0, 4), 4, false, bits_of(5, 4)},
      {"$mod", msb("1101"), bits_of(0, 4), 8, true, msb("11111101")},
      {"$mod", msb("1101"), bits_of(0, 4), 8, false, msb("00001101")},
      {"$mod",
       msb("1101"),
       {},
       70,
       true,
       [] {
         BitVec v(70, 1);
         v[1] = 0;
         return v;
       }()},
      {"$div", most_negative(64), msb("1"), 64, true, most_negative(64)},
      {"$mod", most_negative(64), msb("1"), 64, true, BitVec(64, 0)},
      {"$div", most_negative(128), msb("1"), 128, true, most_negative(128)},
      {"$mod", most_negative(128), msb("1"), 128, true, BitVec(128, 0)},
      {"$div", most_negative(128), msb("11"), 130, true, min128_ext},
      {"$mod", most_negative(128), msb("1"), 100, true, BitVec(100, 0)},
      // A 4-bit most negative value is no overflow in 64 bits: -8 / -1 = 8.
      {"$div", most_negative(4), msb("1"), 5, true, bits_of(8, 5)},
  });
}

TEST(Arithmetic, MatchReferenceAcrossWidthsAndSigns) {
  OperandGen gen(0xa417'2024);
  const std::vector<std::string> types = {"$add", "$sub", "$mul", "$div", "$mod", "$neg",
                                          "$eq",  "$ne",  "$lt",  "$le",  "$gt",  "$ge"};
  for (const std::string& type : types) {
    for (int sign = 0; sign < 2; ++sign) {
      for (int round = 0; round < 250; ++round) {
        const BitVec a = gen.bits(gen.width(140));
        // Comparisons of equal operands are otherwise rare.
        const BitVec b = type != "$neg" && gen.pick(8) == 0 ? a : gen.bits(gen.width(140));
        const std::size_t yw = gen.width(140);
        Operands ops = {{"A", a}};
        if (type != "$neg") ops.push_back({"B", b});
        WordCell cell(type, ops, yw, signed_if(sign));
        cell.preset_y(gen.bits(yw));
        const BitVec operand_b = type == "$neg" ? BitVec{} : b;
        ASSERT_EQ(cell.settle_y(), testing::ref::expect(type, a, operand_b, yw, sign))
            << type << (sign ? " signed" : " unsigned") << " A=" << show(a) << " B=" << show(b)
            << " |Y|=" << yw;
      }
    }
  }
}

}  // namespace
}  // namespace vexolin
