// The word-level bitwise, logic, reduce, shift and multiplexer kinds, and what all word-level
// kinds share: construction, debug output, overlapping and stuck output nets.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "diagnostics.h"
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
  Operands operands;
  std::size_t y;
  bool sign;
  BitVec expected;
};

// Every bit of Y is expected, so each case runs once over zeros and once over ones in Y.
void run_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    for (Bit preset : {Bit(0), Bit(1)}) {
      const BitVec y = run_cell(c.type, c.operands, c.y, signed_if(c.sign), preset);
      EXPECT_EQ(y, c.expected) << c.type << (c.sign ? " signed" : " unsigned") << " gave "
                               << show(y) << " over " << int(preset) << ", expected "
                               << show(c.expected);
    }
  }
}

TEST(BitwiseAndShift, WorkedExamples) {
  const BitVec a70 = [] {
    BitVec v(70, 1);
    const BitVec low = msb("10110101");
    std::copy(low.begin(), low.end(), v.begin());
    return v;
  }();
  run_cases({
      {"$and", {{"A", msb("101")}, {"B", msb("11")}}, 5, false, msb("00001")},
      {"$and", {{"A", msb("101")}, {"B", msb("11")}}, 5, true, msb("11101")},
      {"$xor", {{"A", msb("101")}, {"B", msb("11")}}, 5, false, msb("00110")},
      {"$xor", {{"A", msb("101")}, {"B", msb("11")}}, 5, true, msb("00010")},
      {"$and", {{"A", a70}, {"B", msb("11")}}, 8, true, msb("10110101")},
      {"$or", {{"A", {}}, {"B", msb("1")}}, 3, true, msb("111")},
      {"$not", {{"A", {}}}, 3, false, msb("111")},
      {"$not", {{"A", msb("10")}}, 4, true, msb("0001")},
      {"$shr", {{"A", msb("11100")}, {"B", bits_of(3, 2)}}, 5, false, msb("00011")},
      {"$shr", {{"A", msb("11100")}, {"B", bits_of(3, 2)}}, 5, true, msb("11111")},
      {"$shr", {{"A", msb("1")}, {"B", bits_of(1, 1)}}, 2, true, msb("11")},
      {"$shl", {{"A", msb("10")}, {"B", bits_of(1, 1)}}, 4, true, msb("1100")},
      {"$shl", {{"A", BitVec(8, 1)}, {"B", bits_of(64, 7)}}, 8, false, BitVec(8, 0)},
      {"$shl", {{"A", BitVec(8, 1)}, {"B", bits_of(65, 7)}}, 8, false, BitVec(8, 0)},
      {"$shl", {{"A", BitVec(8, 1)}, {"B", bits_of(70, 7)}}, 8, true, BitVec(8, 0)},
      {"$shl", {{"A", BitVec(70, 1)}, {"B", bits_of(100, 7)}}, 70, false, BitVec(70, 0)},
      // A 100-bit A shifts its upper bits down into a 4-bit Y.
      {"$shr",
       {{"A",
         [] {
           BitVec v(100, 0);
           v[98] = 1;
           return v;
         }()},
        {"B", bits_of(96, 7)}},
       4,
       false,
       msb("0100")},
  });
}

TEST(LogicAndReduce, OneBitResults) {
  run_cases({
      {"$reduce_and", {{"A", BitVec(9, 1)}}, 1, false, msb("1")},
      {"$reduce_and", {{"A", msb("110111")}}, 1, false, msb("0")},
      {"$reduce_and", {{"A", {}}}, 1, false, msb("1")},
      {"$reduce_or", {{"A", msb("000100")}}, 1, false, msb("1")},
      {"$reduce_or", {{"A", {}}}, 1, false, msb("0")},
      {"$reduce_bool", {{"A", msb("0000")}}, 1, false, msb("0")},
      {"$reduce_bool", {{"A", msb("1000")}}, 1, false, msb("1")},
      {"$logic_not", {{"A", {}}}, 1, false, msb("1")},
      {"$logic_not", {{"A", msb("000")}}, 1, false, msb("1")},
      {"$logic_not", {{"A", msb("010")}}, 1, false, msb("0")},
      {"$logic_and", {{"A", msb("00")}, {"B", msb("1")}}, 1, false, msb("0")},
      {"$logic_and", {{"A", msb("10")}, {"B", msb("001")}}, 1, false, msb("1")},
      {"$logic_and", {{"A", msb("1")}, {"B", {}}}, 1, false, msb("0")},
      {"$logic_or", {{"A", {}}, {"B", {}}}, 1, false, msb("0")},
      {"$logic_or", {{"A", msb("0")}, {"B", msb("100")}}, 1, false, msb("1")},
  });
}

TEST(LogicAndReduce, WriteOnlyBitZeroAndNothingWithoutY) {
  const std::vector<std::pair<std::string, Operands>> cells = {
      {"$logic_not", {{"A", msb("000")}}},
      {"$logic_and", {{"A", msb("1")}, {"B", msb("1")}}},
      {"$logic_or", {{"A", msb("1")}, {"B", msb("0")}}},
      {"$reduce_and", {{"A", msb("11")}}},
      {"$reduce_or", {{"A", msb("01")}}},
      {"$reduce_bool", {{"A", msb("10")}}},
  };
  for (const auto& [type, operands] : cells) {
    WordCell wide(type, operands, 3);
    wide.preset_y(msb("100"));
    EXPECT_EQ(wide.settle_y(), msb("101")) << type;

    WordCell none(type, operands, 0);
    none.bench.store.set_dirty(false);
    EXPECT_EQ(none.bench.settle(), 1u) << type;
  }
}

TEST(Multiplexers, MuxCopiesNoFurtherThanTheSelectedInput) {
  WordCell b_side("$mux", {{"A", msb("000")}, {"B", msb("10")}, {"S", {1}}}, 3);
  b_side.preset_y(msb("101"));
  EXPECT_EQ(b_side.settle_y(), msb("110"));

  WordCell a_side("$mux", {{"A", msb("011")}, {"B", msb("10")}, {"S", {0}}}, 3);
  a_side.preset_y(msb("100"));
  EXPECT_EQ(a_side.settle_y(), msb("011"));
}

TEST(Multiplexers, PmuxAndBmuxSelectParts) {
  // B's parts, most significant first: part 2 = 111, part 1 = 010, part 0 = 001.
  const BitVec b = msb("111010001");
  run_cases({
      {"$pmux", {{"S", msb("011")}, {"A", msb("101")}, {"B", b}}, 3, false, msb("010")},
      {"$pmux", {{"S", msb("000")}, {"A", msb("101")}, {"B", b}}, 3, false, msb("101")},
      {"$pmux", {{"S", msb("001")}, {"A", msb("101")}, {"B", b}}, 3, false, msb("001")},
      {"$pmux", {{"S", msb("110")}, {"A", msb("101")}, {"B", b}}, 3, false, msb("111")},
      {"$bmux", {{"S", msb("10")}, {"A", msb("10100110")}}, 2, false, msb("10")},
      {"$bmux", {{"S", msb("00")}, {"A", msb("10100110")}}, 2, false, msb("10")},
      {"$bmux", {{"S", msb("11")}, {"A", msb("10100110")}}, 2, false, msb("10")},
      {"$bmux", {{"S", msb("01")}, {"A", msb("10100110")}}, 2, false, msb("01")},
  });
}

// A part reaching beyond B or A copies what exists and leaves the rest of Y as it was.
TEST(Multiplexers, PartsBeyondTheirListLeaveYAlone) {
  struct Short {
    std::string type;
    Operands operands;
    std::size_t y;
    BitVec expected;  // over a Y preset to all ones
  };
  BitVec s64(64, 0);
  s64[63] = 1;  // 2^63 parts of 2 bits: the offset would wrap to 0 in 64 bits
  BitVec s70(70, 0);
  s70[69] = 1;
  const std::vector<Short> cases = {
      {"$pmux", {{"S", msb("10")}, {"A", msb("000")}, {"B", msb("0000")}}, 3, msb("110")},
      {"$pmux", {{"S", msb("10")}, {"A", msb("000")}, {"B", msb("00")}}, 3, msb("111")},
      {"$pmux", {{"S", msb("00")}, {"A", msb("0")}, {"B", msb("000000")}}, 3, msb("110")},
      {"$pmux", {{"S", {}}, {"A", {}}, {"B", {}}}, 3, msb("111")},
      {"$bmux", {{"S", msb("11")}, {"A", msb("0000000")}}, 2, msb("10")},
      {"$bmux", {{"S", msb("11")}, {"A", msb("000000")}}, 2, msb("11")},
      {"$bmux", {{"S", s64}, {"A", msb("00000000")}}, 2, msb("11")},
      {"$bmux", {{"S", s70}, {"A", msb("00000000")}}, 2, msb("11")},
  };
  for (const Short& c : cases) {
    WordCell cell(c.type, c.operands, c.y);
    cell.preset_y(BitVec(c.y, 1));
    EXPECT_EQ(cell.settle_y(), c.expected) << c.type << " S " << show(c.operands[0].second);
  }
  WordCell empty_y("$bmux", {{"S", msb("1")}, {"A", msb("01")}}, 0);
  EXPECT_EQ(empty_y.bench.settle(), 1u);
}

TEST(BitwiseAndShift, MatchReferenceAcrossWidthsBeyond128) {
  OperandGen gen(0x5eed'0042);
  const std::vector<std::string> types = {"$and", "$or", "$xor", "$not", "$pos", "$shl", "$shr"};
  for (const std::string& type : types) {
    const bool shift = type == "$shl" || type == "$shr";
    const bool unary = type == "$not" || type == "$pos";
    for (int sign = 0; sign < 2; ++sign) {
      for (int round = 0; round < 300; ++round) {
        const BitVec a = gen.bits(gen.width(200));
        BitVec b;
        if (shift) {
          b = gen.pick(8) == 0 ? gen.bits(gen.width(70)) : gen.bits(gen.pick(9));
        } else if (!unary) {
          b = gen.bits(gen.width(200));
        }
        const std::size_t yw = gen.width(200);
        Operands ops = {{"A", a}};
        if (!unary) ops.push_back({"B", b});
        WordCell cell(type, ops, yw, signed_if(sign));
        cell.preset_y(gen.bits(yw));
        const BitVec expected = testing::ref::expect(type, a, b, yw, sign);
        ASSERT_EQ(cell.settle_y(), expected)
            << type << (sign ? " signed" : " unsigned") << " A=" << show(a) << " B=" << show(b)
            << " |Y|=" << yw;
      }
    }
  }
}

// Y overlaps A, one net up, so every written bit but the last is also an input bit: the cell
// must compute from the values found on entry.
TEST(WordCells, OutputOverlappingInputComputesFromEntryValues) {
  OperandGen gen(7);
  const std::vector<std::string> types = {"$and", "$xor", "$not", "$pos", "$shl",
                                          "$shr", "$add", "$mul", "$div", "$neg"};
  for (const std::string& type : types) {
    const bool unary = type == "$not" || type == "$pos" || type == "$neg";
    for (const std::size_t w : {std::size_t{5}, std::size_t{70}, std::size_t{150}}) {
      if (w > 128 && type != "$and" && type != "$xor" && type != "$not" && type != "$pos" &&
          type != "$shl" && type != "$shr") {
        continue;
      }
      const BitVec a = gen.bits(w);
      const BitVec b = type == "$shl" || type == "$shr" ? bits_of(2, 3) : gen.bits(w);
      testing::Bench bench(static_cast<NetId>(3 + 2 * w + 1));
      std::vector<NetId> a_nets, y_nets, b_nets;
      for (NetId i = 0; i < w; ++i) {
        a_nets.push_back(2 + i);
        y_nets.push_back(3 + i);
        bench.store.set(2 + i, a[i]);
      }
      for (NetId i = 0; i < b.size(); ++i) {
        b_nets.push_back(static_cast<NetId>(3 + w + i));
        bench.store.set(static_cast<NetId>(3 + w + i), b[i]);
      }
      ConnectionMap c = {{"A", a_nets}, {"Y", y_nets}};
      if (!unary) c["B"] = b_nets;
      bench.add(type, c, signed_if(true));
      bench.pass();
      BitVec y;
      for (NetId n : y_nets) y.push_back(bench.store.get(n));
      EXPECT_EQ(y, testing::ref::expect(type, a, unary ? BitVec{} : b, w, true))
          << type << " |Y|=" << w;
    }
  }
}

// Y = {3, 4} over a source part {2, 3}: $mux reads net 3 for Y[1] after Y[0] has written it,
// $pmux and $bmux read the whole part first.
TEST(Multiplexers, MuxCopiesNetByNetPartSelectorsReadFirst) {
  struct Overlap {
    std::string type;
    ConnectionMap connections;
    Bit y1;
  };
  const std::vector<Overlap> cases = {
      {"$mux", {{"A", {2, 3}}, {"B", {5, 5}}, {"S", {0}}, {"Y", {3, 4}}}, 1},
      {"$pmux", {{"S", {0}}, {"A", {2, 3}}, {"B", {5, 5}}, {"Y", {3, 4}}}, 0},
      {"$pmux", {{"S", {1}}, {"A", {5, 5}}, {"B", {2, 3}}, {"Y", {3, 4}}}, 0},
      {"$bmux", {{"S", {0}}, {"A", {2, 3, 5, 5}}, {"Y", {3, 4}}}, 0},
  };
  for (const Overlap& c : cases) {
    testing::Bench bench(6);
    bench.store.set(2, 1);
    bench.add(c.type, c.connections);
    bench.pass();
    EXPECT_EQ(bench.store.get(3), 1) << c.type;
    EXPECT_EQ(bench.store.get(4), c.y1) << c.type;
  }
}

TEST(WordCells, StuckOutputNetHoldsWhileTheOthersUpdate) {
  struct Stuck {
    std::string type;
    Operands operands;
    std::size_t y;
    BitVec expected;
  };
  const std::vector<Stuck> cases = {
      {"$xor", {{"A", BitVec(8, 1)}, {"B", msb("1")}}, 8, msb("11111110")},
      {"$xor",
       {{"A", BitVec(150, 1)}, {"B", msb("1")}},
       150,
       [] {
         BitVec v(150, 1);
         v[0] = 0;
         return v;
       }()},
      {"$shl", {{"A", msb("1011")}, {"B", msb("1")}}, 4, msb("0110")},
      {"$not", {{"A", msb("0101")}}, 4, msb("1010")},
      {"$pmux", {{"S", msb("1")}, {"A", msb("0000")}, {"B", msb("1101")}}, 4, msb("1101")},
      {"$add", {{"A", BitVec(70, 1)}, {"B", msb("1")}}, 70, BitVec(70, 0)},
      {"$mul", {{"A", msb("111")}, {"B", msb("11")}}, 3, msb("101")},
      {"$lt", {{"A", msb("01")}, {"B", msb("10")}}, 3, msb("001")},
  };
  for (const Stuck& c : cases) {
    WordCell cell(c.type, c.operands, c.y, signed_if(false));
    const Bit forced = Bit(c.expected[1] ^ 1);
    cell.bench.store.stick(cell.y[1], forced);
    cell.preset_y(testing::ref::invert(c.expected));
    BitVec want = c.expected;
    want[1] = forced;
    EXPECT_EQ(cell.settle_y(), want) << c.type << " |Y|=" << c.y;
    EXPECT_EQ(cell.bench.store.total_count(cell.y[1]), 0u) << c.type;
  }
}

const std::vector<std::string> kWordTypes = {
    "$add",      "$sub",        "$mul",       "$div",         "$mod", "$neg",       "$eq",
    "$ne",       "$lt",         "$le",        "$gt",          "$ge",  "$and",       "$or",
    "$xor",      "$shl",        "$shr",       "$not",         "$pos", "$logic_not", "$logic_and",
    "$logic_or", "$reduce_and", "$reduce_or", "$reduce_bool", "$mux", "$pmux",      "$bmux"};

// Every pin any word-level kind reads, each on its own nets.
const ConnectionMap kAllPins = {{"A", {2, 3}}, {"B", {4}}, {"S", {5}}, {"Y", {6, 7}}};

TEST(WordCellConstruction, EveryNameIsRegisteredOnceReduceBoolSharingReduceOr) {
  std::set<const CellRegistration*> registrations;
  for (const std::string& type : kWordTypes) {
    const CellRegistration* r = find_cell_type(type);
    ASSERT_NE(r, nullptr) << type;
    registrations.insert(r);
  }
  EXPECT_EQ(registrations.size(), 27u);
  EXPECT_EQ(find_cell_type("$reduce_bool"), find_cell_type("$reduce_or"));
  EXPECT_EQ(find_cell_type("$ADD"), nullptr);
}

std::vector<std::string> g_lines;
void capture(std::string_view line, void*) {
  g_lines.emplace_back(line);
}

TEST(WordCellConstruction, ConnectionBlockPrintedBeforeAnyPinLookup) {
  const std::set<std::string> silent = {"$bmux", "$pos", "$mux", "$pmux"};
  set_diagnostic_sink(&capture, nullptr);
  ::setenv("VEXOLIN_DEBUG", "1", 1);
  for (const std::string& type : kWordTypes) {
    g_lines.clear();
    // No pins at all: a printing kind shows the block and only then fails.
    Result<CellInstance> r = find_cell_type(type)->constructor({}, {{"A_SIGNED", 0}});
    EXPECT_FALSE(r.ok()) << type;
    const std::vector<std::string> block = {"Parsing connections: {}"};
    EXPECT_EQ(g_lines, silent.count(type) ? std::vector<std::string>{} : block) << type;
  }
  g_lines.clear();
  testing::make_cell("$add", {{"A", {2}}, {"B", {3}}, {"Y", {4}}});
  ::unsetenv("VEXOLIN_DEBUG");
  testing::make_cell("$add", {{"A", {2}}, {"B", {3}}, {"Y", {4}}});
  set_diagnostic_sink(nullptr, nullptr);
  EXPECT_EQ(g_lines,
            (std::vector<std::string>{"Parsing connections: {", "    \"A\": [", "        2,",
                                      "    ],", "    \"B\": [", "        3,", "    ],",
                                      "    \"Y\": [", "        4,", "    ],", "}"}));
}

TEST(WordCellConstruction, MissingPinsAndParametersAreInternalFailures) {
  struct Missing {
    std::string type;
    ConnectionMap connections;
    ParameterMap parameters;
    std::string named;
  };
  const std::vector<Missing> cases = {
      {"$not", {{"A", {2}}, {"Y", {3}}}, {{"B_SIGNED", 1}}, "`A_SIGNED`"},
      {"$pos", {{"A", {2}}, {"Y", {3}}}, {}, "`A_SIGNED`"},
      {"$add", {{"A", {2}}, {"Y", {3}}}, {}, "`B`"},
      {"$shr", {{"B", {2}}, {"Y", {3}}}, {}, "`A`"},
      {"$neg", {{"A", {2}}}, {}, "`Y`"},
      {"$logic_and", {{"A", {2}}, {"Y", {3}}}, {}, "`B`"},
      {"$reduce_or", {{"A", {2}}}, {}, "`Y`"},
      {"$mux", {{"A", {2}}, {"B", {3}}, {"Y", {4}}}, {}, "`S`"},
      {"$mux", {{"A", {2}}, {"B", {3}}, {"S", {}}, {"Y", {4}}}, {}, "`S`"},
      {"$pmux", {{"A", {2}}, {"B", {3}}, {"Y", {4}}}, {}, "`S`"},
      {"$bmux", {{"S", {2}}, {"Y", {4}}}, {}, "`A`"},
  };
  for (const Missing& m : cases) {
    Result<CellInstance> r = find_cell_type(m.type)->constructor(m.connections, m.parameters);
    ASSERT_FALSE(r.ok()) << m.type;
    EXPECT_EQ(r.error().variant(), SimError::Variant::Internal) << m.type;
    EXPECT_NE(r.error().display().find(m.named), std::string::npos) << r.error().display();
  }
  for (const std::string& type : kWordTypes) {
    EXPECT_TRUE(find_cell_type(type)->constructor(kAllPins, {{"A_SIGNED", 0}}).ok()) << type;
  }
}

// A one-bit A of 1 into a 3-bit Y reads as 1 unsigned and -1 signed: which parameters make a
// kind signed shows in the upper bits.
TEST(WordCellConstruction, SignedFlagFollowsEachKindsParameters) {
  struct Flag {
    std::string type;
    ParameterMap parameters;
    bool sign;
  };
  const std::vector<Flag> cases = {
      {"$add", {{"B_SIGNED", 1}}, true},
      {"$add", {{"A_SIGNED", 2}}, true},
      {"$add", {}, false},
      {"$or", {{"A_SIGNED", 0}, {"B_SIGNED", 7}}, true},
      {"$shl", {{"B_SIGNED", 1}}, false},
      {"$shl", {{"A_SIGNED", 1}}, true},
      {"$shr", {{"B_SIGNED", 1}}, false},
      {"$not", {{"A_SIGNED", 0}, {"B_SIGNED", 1}}, false},
      {"$not", {{"A_SIGNED", 1}}, true},
      {"$pos", {{"A_SIGNED", 1}}, true},
      {"$neg", {{"B_SIGNED", 1}}, false},
      {"$neg", {{"A_SIGNED", 1}}, true},
  };
  for (const Flag& f : cases) {
    Operands ops = {{"A", msb("1")}};
    if (f.type != "$not" && f.type != "$pos" && f.type != "$neg") ops.push_back({"B", {}});
    const BitVec y = run_cell(f.type, ops, 3, f.parameters);
    EXPECT_EQ(y, testing::ref::expect(f.type, msb("1"), {}, 3, f.sign)) << f.type;
  }
}

}  // namespace
}  // namespace vexolin
