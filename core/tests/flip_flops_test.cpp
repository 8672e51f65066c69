// The flip-flop kinds: edge detection, asynchronous reset and load, state after reset, stuck nets
// and the wide reset values of $adffe.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "word_helpers.h"

namespace vexolin {
namespace {

using testing::Bench;
using testing::msb;
using testing::show;

std::vector<NetId> nets(NetId first, std::size_t count) {
  std::vector<NetId> v;
  for (std::size_t i = 0; i < count; ++i) v.push_back(first + static_cast<NetId>(i));
  return v;
}

void write(Bench& b, const std::vector<NetId>& ids, const BitVec& value) {
  for (std::size_t i = 0; i < ids.size(); ++i) b.store.set(ids[i], value[i]);
}

BitVec read(const Bench& b, const std::vector<NetId>& ids) {
  BitVec v;
  for (NetId n : ids) v.push_back(b.store.get(n));
  return v;
}

// What the design's reset() does to a cell list and its store.
void reset(Bench& b) {
  for (CellInstance& cell : b.cells) {
    if (const auto reset_state = kind_ops(cell.kind).reset_state) reset_state(cell);
  }
  b.store.clear();
}

struct Step {
  Bit clk;
  BitVec in;  // the pins between clock and output, in pin order
  Bit out;
};

struct SingleBitCase {
  std::string type;
  std::vector<std::string> pins;  // clock, inputs, output
  std::vector<Step> steps;
};

TEST(SingleBitFlipFlops, CaptureOnlyAtTheRisingEdge) {
  const std::vector<SingleBitCase> cases = {
      {"$_DFF_P_",
       {"C", "D", "Q"},
       {{0, {1}, 0}, {1, {1}, 1}, {1, {0}, 1}, {0, {0}, 1}, {1, {0}, 0}}},
      // R high at a rising clock clears Q whatever D is; R high with the clock low writes nothing.
      {"$_SDFF_PP0_",
       {"C", "R", "D", "Q"},
       {{1, {0, 1}, 1}, {0, {1, 1}, 1}, {1, {1, 1}, 0}, {0, {0, 1}, 0}, {1, {0, 1}, 1}}},
      {"DFFHQNx1_ASAP7_75t_R",
       {"CLK", "D", "QN"},
       {{0, {0}, 0}, {1, {0}, 1}, {1, {1}, 1}, {0, {1}, 1}, {1, {1}, 0}}},
  };
  for (const SingleBitCase& c : cases) {
    Bench b(static_cast<NetId>(2 + c.pins.size()));
    ConnectionMap conn;
    for (std::size_t i = 0; i < c.pins.size(); ++i) conn[c.pins[i]] = {NetId(2 + i)};
    b.add(c.type, conn);
    const NetId out = static_cast<NetId>(1 + c.pins.size());
    for (std::size_t s = 0; s < c.steps.size(); ++s) {
      const Step& step = c.steps[s];
      for (std::size_t i = 0; i < step.in.size(); ++i) b.store.set(NetId(3 + i), step.in[i]);
      b.store.set(2, step.clk);
      b.settle();
      EXPECT_EQ(b.store.get(out), step.out) << c.type << " step " << s;
    }
    // Each change of the output above was written once: holding the clock writes nothing more.
    std::uint64_t changes = 0;
    for (std::size_t s = 0; s < c.steps.size(); ++s) {
      changes += c.steps[s].out != (s ? c.steps[s - 1].out : 0);
    }
    EXPECT_EQ(b.store.total_count(out), changes) << c.type;
  }
}

TEST(SingleBitFlipFlops, TheThreeDffhqnNamesBuildOneKind) {
  const ConnectionMap c = {{"CLK", {2}}, {"D", {3}}, {"QN", {4}}};
  const CellKind kind = testing::make_cell("DFFHQNx1_ASAP7_75t_R", c).kind;
  EXPECT_EQ(testing::make_cell("DFFHQNx2_ASAP7_75t_R", c).kind, kind);
  EXPECT_EQ(testing::make_cell("DFFHQNx3_ASAP7_75t_R", c).kind, kind);
  EXPECT_NE(testing::make_cell("$_DFF_P_", {{"C", {2}}, {"D", {3}}, {"Q", {4}}}).kind, kind);
}

// $dff on nets: CLK 2, D from 3, Q after D.
struct Dff {
  Bench bench{32};
  std::vector<NetId> d, q;
  static constexpr NetId kClk = 2;

  Dff(std::size_t d_width, std::size_t q_width, std::uint32_t polarity)
      : d(nets(3, d_width)), q(nets(NetId(3 + d_width), q_width)) {
    bench.add("$dff", {{"CLK", {kClk}}, {"D", d}, {"Q", q}}, {{"CLK_POLARITY", polarity}});
  }
  BitVec clock_to(Bit level) {
    bench.store.set(kClk, level);
    bench.settle();
    return read(bench, q);
  }
};

TEST(WordFlipFlops, DffCapturesAtTheEdgeToItsPolarity) {
  for (std::uint32_t polarity : {1u, 0u, 7u}) {
    const Bit active = polarity != 0;
    Dff ff(3, 3, polarity);
    write(ff.bench, ff.d, msb("110"));
    EXPECT_EQ(ff.clock_to(Bit(active ^ 1)), msb("000")) << polarity;
    EXPECT_EQ(ff.clock_to(active), msb("110")) << polarity;
    write(ff.bench, ff.d, msb("011"));
    EXPECT_EQ(ff.clock_to(active), msb("110")) << "held clock, polarity " << polarity;
    EXPECT_EQ(ff.clock_to(Bit(active ^ 1)), msb("110")) << "inactive edge, polarity " << polarity;
    EXPECT_EQ(ff.clock_to(active), msb("011")) << polarity;
  }
}

TEST(WordFlipFlops, DffWritesOnlyTheQBitsThatDReaches) {
  Dff ff(2, 3, 1);
  write(ff.bench, ff.q, msb("100"));
  write(ff.bench, ff.d, msb("01"));
  EXPECT_EQ(ff.clock_to(1), msb("101"));
  EXPECT_EQ(ff.bench.store.total_count(ff.q[2]), 1u);  // the preset only
}

TEST(WordFlipFlops, AllBitsCaptureTogetherWhenDReadsQ) {
  // D is Q with its two bits swapped: a register that captured bit by bit would copy one bit
  // into both.
  Bench b(5);
  b.add("$dff", {{"CLK", {2}}, {"D", {4, 3}}, {"Q", {3, 4}}}, {{"CLK_POLARITY", 1}});
  b.store.set(3, 1);
  b.store.set(2, 1);
  b.settle();
  EXPECT_EQ(read(b, {3, 4}), (BitVec{0, 1}));
}

// $adffe on nets: CLK 2, ARST 3, EN 4, D from 5, Q after D.
struct Adffe {
  Bench bench{200};
  std::vector<NetId> d, q;
  static constexpr NetId kClk = 2, kArst = 3, kEn = 4;

  Adffe(std::size_t d_width, std::size_t q_width, const ParameterMap& p)
      : d(nets(5, d_width)), q(nets(NetId(5 + d_width), q_width)) {
    bench.add("$adffe", {{"CLK", {kClk}}, {"ARST", {kArst}}, {"EN", {kEn}}, {"D", d}, {"Q", q}}, p);
  }
};

ParameterMap adffe_parameters(std::uint32_t width, std::optional<std::uint32_t> value, Bit clk = 1,
                              Bit en = 1, Bit arst = 1) {
  ParameterMap p = {
      {"WIDTH", width}, {"CLK_POLARITY", clk}, {"EN_POLARITY", en}, {"ARST_POLARITY", arst}};
  if (value) p.insert_or_assign("ARST_VALUE", *value);
  return p;
}

TEST(WordFlipFlops, AdffeResetIsAppliedOnArstAndAtEachClockEdgeWhileHeld) {
  struct Polarities {
    Bit clk, en, arst;
  };
  for (const Polarities pol :
       {Polarities{1, 1, 1}, Polarities{0, 0, 0}, Polarities{1, 0, 1}, Polarities{0, 1, 0}}) {
    const std::string name = "polarities clk " + std::to_string(pol.clk) + " en " +
                             std::to_string(pol.en) + " arst " + std::to_string(pol.arst);
    Adffe ff(3, 3, adffe_parameters(3, 5, pol.clk, pol.en, pol.arst));
    Bench& b = ff.bench;
    const auto level = [&](NetId net, Bit active, bool on) {
      b.store.set(net, Bit(on ? active : active ^ 1));
    };
    const auto settled_q = [&] {
      b.settle();
      return read(b, ff.q);
    };
    const auto clock = [&](bool on) { level(Adffe::kClk, pol.clk, on); };
    const auto arst = [&](bool on) { level(Adffe::kArst, pol.arst, on); };
    const auto enable = [&](bool on) { level(Adffe::kEn, pol.en, on); };

    reset(b);
    clock(false);
    arst(false);
    enable(true);
    write(b, ff.d, msb("010"));
    EXPECT_EQ(settled_q(), msb("000")) << name;

    arst(true);
    EXPECT_EQ(settled_q(), msb("101")) << "ARST becoming active, " << name;
    write(b, ff.q, msb("000"));  // shows whether the value is written again
    EXPECT_EQ(settled_q(), msb("000")) << "ARST held, clock still, " << name;
    clock(true);
    EXPECT_EQ(settled_q(), msb("101")) << "clock edge with ARST held ignores D, " << name;
    write(b, ff.q, msb("000"));
    arst(false);
    EXPECT_EQ(settled_q(), msb("000")) << "ARST released with the clock active, " << name;
    arst(true);
    EXPECT_EQ(settled_q(), msb("101")) << "ARST active again with the clock active, " << name;

    clock(false);
    arst(false);
    enable(false);
    write(b, ff.q, msb("000"));
    EXPECT_EQ(settled_q(), msb("000")) << "clock and ARST inactive, " << name;
    clock(true);
    EXPECT_EQ(settled_q(), msb("000")) << "edge with EN inactive, " << name;
    clock(false);
    enable(true);
    EXPECT_EQ(settled_q(), msb("000")) << "inactive clock edge, " << name;
    clock(true);
    EXPECT_EQ(settled_q(), msb("010")) << "edge with EN active, " << name;
  }
}

TEST(WordFlipFlops, AdffeResetValueTakesWidthBitsOfTheParameter) {
  struct Case {
    std::string what;
    std::uint32_t width;
    std::optional<std::uint32_t> value;
    std::optional<std::string> text;  // the netlist's binary-digit text, most significant first
    std::size_t q_width;
    BitVec expected;
  };
  BitVec one_then_zeros(40, 0);
  one_then_zeros[0] = 1;
  BitVec low_ones(40, 0);
  for (std::size_t i = 0; i < 32; ++i) low_ones[i] = 1;
  const std::string all_ones(64, '1');
  const std::vector<Case> cases = {
      {"5 in 3 bits", 3, 5, "101", 3, msb("101")},
      {"number 1 in 40 bits", 40, 1, std::nullopt, 40, one_then_zeros},
      {"text 1 in 40 bits", 40, 1, std::string(39, '0') + "1", 40, one_then_zeros},
      // 64 significant digits: no 32-bit value exists, only the text carries it.
      {"64 ones", 64, std::nullopt, all_ones, 64, BitVec(64, 1)},
      {"a number has no bits above 31", 40, 0xFFFFFFFFu, std::nullopt, 40, low_ones},
      {"text shorter than WIDTH", 6, 5, "101", 6, msb("000101")},
      {"x and z digits", 4, std::nullopt, "1xz1", 4, msb("1001")},
      {"WIDTH below |Q| leaves the upper Q bits", 2, 15, std::nullopt, 4, msb("11")},
      {"WIDTH above |Q|", 8, 0xFF, std::nullopt, 2, msb("11")},
  };
  for (const Case& c : cases) {
    ParameterMap p = adffe_parameters(c.width, c.value);
    if (c.text) p.wide.insert_or_assign("ARST_VALUE", *wide_parameter_bits(*c.text));
    // Over zeros and over ones, so that every written bit and every bit left alone shows.
    for (const Bit preset : {Bit(0), Bit(1)}) {
      Adffe ff(1, c.q_width, p);
      write(ff.bench, ff.q, BitVec(c.q_width, preset));
      ff.bench.store.set(Adffe::kArst, 1);
      ff.bench.settle();
      BitVec expected = c.expected;
      expected.resize(c.q_width, preset);
      EXPECT_EQ(read(ff.bench, ff.q), expected)
          << c.what << " over " << int(preset) << ": " << show(read(ff.bench, ff.q));
    }
  }
}

// $aldff on nets: CLK 2, ALOAD 3, AD 4-5, D 6-7, Q 8-9.
TEST(WordFlipFlops, AldffLoadsAdWhenAloadRisesAndAtClockEdgesWhileHeld) {
  for (const Bit pol : {Bit(1), Bit(0)}) {
    Bench b(10);
    const std::vector<NetId> ad{4, 5}, d{6, 7}, q{8, 9};
    b.add("$aldff", {{"CLK", {2}}, {"ALOAD", {3}}, {"AD", ad}, {"D", d}, {"Q", q}},
          {{"CLK_POLARITY", pol}, {"ALOAD_POLARITY", pol}});
    const auto settled_q = [&] {
      b.settle();
      return read(b, q);
    };
    const Bit on = pol, off = Bit(pol ^ 1);
    reset(b);
    b.store.set(2, off);
    b.store.set(3, off);
    write(b, ad, msb("01"));
    write(b, d, msb("10"));
    EXPECT_EQ(settled_q(), msb("00")) << int(pol);
    b.store.set(3, on);
    EXPECT_EQ(settled_q(), msb("01")) << "ALOAD becoming active, polarity " << int(pol);
    write(b, ad, msb("11"));
    EXPECT_EQ(settled_q(), msb("01")) << "AD changed while held, polarity " << int(pol);
    b.store.set(2, on);
    EXPECT_EQ(settled_q(), msb("11")) << "clock edge while held, polarity " << int(pol);
    b.store.set(2, off);
    b.store.set(3, off);
    EXPECT_EQ(settled_q(), msb("11")) << int(pol);
    b.store.set(2, on);
    EXPECT_EQ(settled_q(), msb("10")) << "clock edge with ALOAD inactive, polarity " << int(pol);
  }
}

// A freshly built cell has every state byte 0; reset() leaves them inactive. With the inputs on
// constant nets, which survive reset(), the first pass shows which of the two sees an edge.
TEST(FlipFlopState, ConstructionAndResetDecideTheFirstCapture) {
  struct Case {
    std::string what;
    std::string type;
    ConnectionMap connections;
    ParameterMap parameters;
    Bit fresh, after_reset;  // the output net after the first pass
  };
  const std::vector<Case> cases = {
      {"$dff clock polarity 0",
       "$dff",
       {{"CLK", {0}}, {"D", {1}}, {"Q", {2}}},
       {{"CLK_POLARITY", 0}},
       0,
       1},
      {"$dff clock polarity 1",
       "$dff",
       {{"CLK", {0}}, {"D", {1}}, {"Q", {2}}},
       {{"CLK_POLARITY", 1}},
       0,
       0},
      {"$adffe reset polarity 0",
       "$adffe",
       {{"CLK", {0}}, {"ARST", {0}}, {"EN", {1}}, {"D", {1}}, {"Q", {2}}},
       adffe_parameters(1, 1, 1, 1, 0),
       0,
       1},
      {"$adffe clock polarity 0",
       "$adffe",
       {{"CLK", {0}}, {"ARST", {0}}, {"EN", {1}}, {"D", {1}}, {"Q", {2}}},
       adffe_parameters(1, 0, 0, 1, 1),
       0,
       1},
      {"$aldff load polarity 0",
       "$aldff",
       {{"CLK", {0}}, {"ALOAD", {0}}, {"AD", {1}}, {"D", {0}}, {"Q", {2}}},
       {{"CLK_POLARITY", 1}, {"ALOAD_POLARITY", 0}},
       0,
       1},
      {"$_DFF_P_ with its clock at 1", "$_DFF_P_", {{"C", {1}}, {"D", {1}}, {"Q", {2}}}, {}, 1, 1},
      {"$_SDFF_PP0_ with its clock at 1",
       "$_SDFF_PP0_",
       {{"C", {1}}, {"R", {0}}, {"D", {1}}, {"Q", {2}}},
       {},
       1,
       1},
      {"DFFHQN with its clock at 1",
       "DFFHQNx2_ASAP7_75t_R",
       {{"CLK", {1}}, {"D", {0}}, {"QN", {2}}},
       {},
       1,
       1},
  };
  for (const Case& c : cases) {
    Bench b(3);
    b.add(c.type, c.connections, c.parameters);
    b.pass();
    EXPECT_EQ(b.store.get(2), c.fresh) << c.what << ", freshly built";
    reset(b);
    EXPECT_EQ(b.store.get(2), 0) << c.what;
    b.pass();
    EXPECT_EQ(b.store.get(2), c.after_reset) << c.what << ", after reset";
  }
}

// Each case has its trigger (clock, ARST or ALOAD, active high) on net 2 and its output on net 3;
// the trigger rising writes 1 to the output.
struct TriggerCase {
  std::string trigger;
  std::string type;
  ConnectionMap connections;
  ParameterMap parameters;
};

std::vector<TriggerCase> trigger_cases() {
  return {
      {"CLK", "$dff", {{"CLK", {2}}, {"D", {1}}, {"Q", {3}}}, {{"CLK_POLARITY", 1}}},
      {"CLK",
       "$adffe",
       {{"CLK", {2}}, {"ARST", {0}}, {"EN", {1}}, {"D", {1}}, {"Q", {3}}},
       adffe_parameters(1, 0)},
      {"ARST",
       "$adffe",
       {{"CLK", {0}}, {"ARST", {2}}, {"EN", {1}}, {"D", {0}}, {"Q", {3}}},
       adffe_parameters(1, 1)},
      {"CLK",
       "$aldff",
       {{"CLK", {2}}, {"ALOAD", {0}}, {"AD", {0}}, {"D", {1}}, {"Q", {3}}},
       {{"CLK_POLARITY", 1}, {"ALOAD_POLARITY", 1}}},
      {"ALOAD",
       "$aldff",
       {{"CLK", {0}}, {"ALOAD", {2}}, {"AD", {1}}, {"D", {0}}, {"Q", {3}}},
       {{"CLK_POLARITY", 1}, {"ALOAD_POLARITY", 1}}},
      {"C", "$_DFF_P_", {{"C", {2}}, {"D", {1}}, {"Q", {3}}}, {}},
      {"C", "$_SDFF_PP0_", {{"C", {2}}, {"R", {0}}, {"D", {1}}, {"Q", {3}}}, {}},
      {"CLK", "DFFHQNx3_ASAP7_75t_R", {{"CLK", {2}}, {"D", {0}}, {"QN", {3}}}, {}},
  };
}

TEST(FlipFlopStuckNets, ReleasedOutputGetsNoLateCapture) {
  for (const TriggerCase& c : trigger_cases()) {
    const std::string what = c.type + " triggered by " + c.trigger;
    Bench b(4);
    b.add(c.type, c.connections, c.parameters);
    b.settle();
    b.store.stick(3, 0);
    b.store.set(2, 1);
    b.settle();
    EXPECT_EQ(b.store.get(3), 0) << what;
    b.store.unstick(3);
    b.settle();
    b.pass();
    EXPECT_EQ(b.store.get(3), 0) << what << ": captured late";
    EXPECT_EQ(b.store.total_count(3), 0u) << what;
    b.store.set(2, 0);
    b.settle();
    b.store.set(2, 1);
    b.settle();
    EXPECT_EQ(b.store.get(3), 1) << what << ": no capture at the next edge";
  }
}

TEST(FlipFlopStuckNets, StuckTriggerNeverCaptures) {
  for (const TriggerCase& c : trigger_cases()) {
    Bench b(4);
    b.add(c.type, c.connections, c.parameters);
    b.store.stick(2, 0);
    for (Bit level : {Bit(1), Bit(0), Bit(1)}) {
      b.store.set(2, level);
      b.settle();
    }
    EXPECT_EQ(b.store.get(3), 0) << c.type << " triggered by " << c.trigger;
  }
}

std::vector<std::string> g_lines;
void collect(std::string_view line, void*) {
  g_lines.emplace_back(line);
}

TEST(FlipFlopConstruction, MissingPinsAndParametersAreInternalFailures) {
  const ConnectionMap adffe_pins = {
      {"CLK", {2}}, {"ARST", {3}}, {"EN", {4}}, {"D", {5}}, {"Q", {6}}};
  const ParameterMap adffe_params = adffe_parameters(1, 0);
  const auto without = [](auto map, const std::string& name) {
    map.erase(name);
    return map;
  };
  struct Missing {
    std::string type;
    ConnectionMap connections;
    ParameterMap parameters;
    std::string named;
  };
  const std::vector<Missing> cases = {
      {"$dff", {{"CLK", {2}}, {"D", {3}}, {"Q", {4}}}, {}, "`CLK_POLARITY`"},
      {"$dff", {{"D", {3}}, {"Q", {4}}}, {{"CLK_POLARITY", 1}}, "`CLK`"},
      {"$dff", {{"CLK", {}}, {"D", {3}}, {"Q", {4}}}, {{"CLK_POLARITY", 1}}, "`CLK`"},
      {"$dff", {{"CLK", {2}}, {"D", {3}}}, {{"CLK_POLARITY", 1}}, "`Q`"},
      {"$adffe", adffe_pins, without(adffe_params, "WIDTH"), "`WIDTH`"},
      {"$adffe", adffe_pins, without(adffe_params, "ARST_VALUE"), "`ARST_VALUE`"},
      {"$adffe", adffe_pins, without(adffe_params, "CLK_POLARITY"), "`CLK_POLARITY`"},
      {"$adffe", adffe_pins, without(adffe_params, "EN_POLARITY"), "`EN_POLARITY`"},
      {"$adffe", adffe_pins, without(adffe_params, "ARST_POLARITY"), "`ARST_POLARITY`"},
      {"$adffe", without(adffe_pins, "EN"), adffe_params, "`EN`"},
      {"$adffe", without(adffe_pins, "ARST"), adffe_params, "`ARST`"},
      {"$adffe", without(adffe_pins, "D"), adffe_params, "`D`"},
      {"$aldff",
       {{"CLK", {2}}, {"ALOAD", {3}}, {"D", {5}}, {"Q", {6}}},
       {{"CLK_POLARITY", 1}, {"ALOAD_POLARITY", 1}},
       "`AD`"},
      {"$aldff",
       {{"CLK", {2}}, {"ALOAD", {3}}, {"AD", {4}}, {"D", {5}}, {"Q", {6}}},
       {{"CLK_POLARITY", 1}},
       "`ALOAD_POLARITY`"},
      {"$_DFF_P_", {{"D", {3}}, {"Q", {4}}}, {}, "`C`"},
      {"$_SDFF_PP0_", {{"C", {2}}, {"D", {3}}, {"Q", {4}}}, {}, "`R`"},
      {"DFFHQNx1_ASAP7_75t_R", {{"CLK", {2}}, {"D", {}}, {"QN", {4}}}, {}, "`D`"},
  };
  set_diagnostic_sink(&collect, nullptr);
  ::setenv("VEXOLIN_DEBUG", "1", 1);
  g_lines.clear();
  for (const Missing& m : cases) {
    Result<CellInstance> r = find_cell_type(m.type)->constructor(m.connections, m.parameters);
    ASSERT_FALSE(r.ok()) << m.type << " " << m.named;
    EXPECT_EQ(r.error().variant(), SimError::Variant::Internal) << m.type;
    EXPECT_NE(r.error().display().find(m.named), std::string::npos) << r.error().display();
  }
  for (const TriggerCase& c : trigger_cases()) {
    EXPECT_TRUE(find_cell_type(c.type)->constructor(c.connections, c.parameters).ok()) << c.type;
  }
  ::unsetenv("VEXOLIN_DEBUG");
  set_diagnostic_sink(nullptr, nullptr);
  EXPECT_EQ(g_lines, std::vector<std::string>{}) << "flip-flops print no connection block";
}

TEST(WideParameters, BinaryDigitTextsOfAnyLength) {
  const BitVec seventy_ones(70, 1);
  EXPECT_EQ(wide_parameter_bits(""), BitVec{});
  EXPECT_EQ(wide_parameter_bits("+110"), msb("110"));
  EXPECT_EQ(wide_parameter_bits("0011"), msb("0011"));
  EXPECT_EQ(wide_parameter_bits("1xz0"), msb("1000"));
  EXPECT_EQ(wide_parameter_bits(std::string(70, '1')), seventy_ones);
  for (const char* bad : {"+", "-1", "12", "1 0", "X", "abc"}) {
    EXPECT_EQ(wide_parameter_bits(bad), std::nullopt) << bad;
  }
}

}  // namespace
}  // namespace vexolin
