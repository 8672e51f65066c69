// The activity engine against the full-pass loop: random netlists of every family of kinds, in
// and out of order, with loops, several drivers, sticks, port writes, resets and clock cycles,
// run step by step on two copies of one design, one per engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "design.h"
#include "netlist_helpers.h"

namespace vexolin {
namespace {

constexpr int kClk = 2, kRst = 3, kFirstInput = 4;

// One random top module. Cells take their inputs from nets that exist so far (an acyclic
// netlist), or with probability `loops` from any net up to a few ahead, so that some cells read
// nets driven later or never: combinational loops, some settling and some not.
class RandomNetlist {
 public:
  RandomNetlist(std::uint64_t seed, int cells, int inputs, double loops, double shared_output)
      : rng_(seed), loops_(loops), shared_output_(shared_output), inputs_(inputs) {
    next_net_ = kFirstInput + inputs;
    for (int i = 0; i < cells; ++i) add_cell(i);
  }

  std::string json() const {
    std::string in;
    for (int i = 0; i < inputs_; ++i) in += (i ? "," : "") + std::to_string(kFirstInput + i);
    const std::string ports = R"("clk":{"direction":"input","bits":[2]},)"
                              R"("rst":{"direction":"input","bits":[3]},)"
                              R"("in":{"direction":"input","bits":[)" +
                              in + "]}";
    // Every net a cell may name, so that nets read but never driven exist too.
    std::string all;
    for (int n = kFirstInput + inputs_; n < next_net_ + 4; ++n) all += "," + std::to_string(n);
    const std::string names = R"("clk":{"bits":[2]},"rst":{"bits":[3]},"in":{"bits":[)" + in +
                              R"(]},"nets":{"bits":[)" + all.substr(1) + "]}";
    return testing::top_module(ports, cells_, names);
  }

  // The cells in a random order; with `shuffle` false, in the order they were made (which is
  // topological when there are no loops).
  std::string torder(bool shuffle) {
    std::vector<std::string> order = names_;
    if (shuffle) std::shuffle(order.begin(), order.end(), rng_);
    std::string text = "module top\n";
    for (const std::string& n : order) text += " cell " + n + "\n";
    return text;
  }

 private:
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(rng_) < p; }
  int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string input_net() {
    if (chance(0.04)) return below(2) ? R"("1")" : R"("0")";
    if (chance(loops_)) return std::to_string(kClk + below(next_net_ + 4 - kClk));
    if (!driven_.empty() && chance(0.7)) return std::to_string(driven_[below(int(driven_.size()))]);
    return std::to_string(kClk + below(kFirstInput + inputs_ - kClk));
  }
  std::string output_net() {
    // A second driver of a net already driven, or a cell driving a port's input net.
    if (chance(shared_output_)) {
      if (!driven_.empty() && below(2)) return std::to_string(driven_[below(int(driven_.size()))]);
      return std::to_string(kFirstInput + below(inputs_));
    }
    driven_.push_back(next_net_);
    return std::to_string(next_net_++);
  }
  std::string nets(int width, bool output) {
    std::string s = "[";
    for (int i = 0; i < width; ++i) s += (i ? "," : "") + (output ? output_net() : input_net());
    return s + "]";
  }
  std::string clock() { return chance(0.8) ? std::to_string(kClk) : input_net(); }

  void add_cell(int index) {
    struct Pin {
      const char* name;
      int width;  // 0: the cell's word width
      bool output;
    };
    struct Type {
      const char* name;
      std::vector<Pin> pins;
      const char* parameters;
    };
    static const std::vector<Type> kTypes = {
        {"$_AND_", {{"A", 1, false}, {"B", 1, false}, {"Y", 1, true}}, ""},
        {"$_XOR_", {{"A", 1, false}, {"B", 1, false}, {"Y", 1, true}}, ""},
        {"$_NOT_", {{"A", 1, false}, {"Y", 1, true}}, ""},
        {"$_MUX_", {{"A", 1, false}, {"B", 1, false}, {"S", 1, false}, {"Y", 1, true}}, ""},
        {"$_AOI3_", {{"A", 1, false}, {"B", 1, false}, {"C", 1, false}, {"Y", 1, true}}, ""},
        {"NAND2xp33_ASAP7_75t_R", {{"A", 1, false}, {"B", 1, false}, {"Y", 1, true}}, ""},
        {"INVx1_ASAP7_75t_R", {{"A", 1, false}, {"Y", 1, true}}, ""},
        {"FAx1_ASAP7_75t_R",
         {{"A", 1, false}, {"B", 1, false}, {"CI", 1, false}, {"SN", 1, true}, {"CON", 1, true}},
         ""},
        {"AOI21xp5_ASAP7_75t_R",
         {{"A1", 1, false}, {"A2", 1, false}, {"B", 1, false}, {"Y", 1, true}},
         ""},
        {"TIEHIx1_ASAP7_75t_R", {{"H", 1, true}}, ""},
        {"$add", {{"A", 0, false}, {"B", 0, false}, {"Y", 0, true}}, R"("A_SIGNED":0)"},
        {"$sub",
         {{"A", 0, false}, {"B", 2, false}, {"Y", 0, true}},
         R"("A_SIGNED":1,"B_SIGNED":1)"},
        {"$xor", {{"A", 0, false}, {"B", 0, false}, {"Y", 0, true}}, ""},
        {"$eq", {{"A", 0, false}, {"B", 0, false}, {"Y", 1, true}}, ""},
        {"$shl", {{"A", 0, false}, {"B", 2, false}, {"Y", 0, true}}, ""},
        {"$not", {{"A", 0, false}, {"Y", 0, true}}, R"("A_SIGNED":0)"},
        {"$reduce_or", {{"A", 0, false}, {"Y", 1, true}}, ""},
        {"$mux", {{"A", 0, false}, {"B", 0, false}, {"S", 1, false}, {"Y", 0, true}}, ""},
        {"$pmux", {{"S", 2, false}, {"A", 1, false}, {"B", 2, false}, {"Y", 1, true}}, ""},
        {"$_DFF_P_", {{"C", -1, false}, {"D", 1, false}, {"Q", 1, true}}, ""},
        {"$_SDFF_PP0_", {{"C", -1, false}, {"R", 1, false}, {"D", 1, false}, {"Q", 1, true}}, ""},
        {"DFFHQNx1_ASAP7_75t_R", {{"CLK", -1, false}, {"D", 1, false}, {"QN", 1, true}}, ""},
        {"$dff", {{"CLK", -1, false}, {"D", 0, false}, {"Q", 0, true}}, "CLK"},
        {"$adffe",
         {{"CLK", -1, false},
          {"ARST", -2, false},
          {"EN", 1, false},
          {"D", 0, false},
          {"Q", 0, true}},
         "ADFFE"},
        {"$aldff",
         {{"CLK", -1, false},
          {"ALOAD", -2, false},
          {"AD", 0, false},
          {"D", 0, false},
          {"Q", 0, true}},
         "ALDFF"},
    };
    const Type& type = kTypes[below(int(kTypes.size()))];
    const int width = 1 + below(4);
    const std::string name = "c" + std::to_string(index);
    std::string params = type.parameters;
    const auto pol = [&] { return std::to_string(below(2)); };
    if (params == "CLK") params = R"("CLK_POLARITY":)" + pol();
    if (params == "ADFFE") {
      params = R"("ARST_VALUE":)" + std::to_string(below(16)) + R"(,"WIDTH":)" +
               std::to_string(width) + R"(,"CLK_POLARITY":)" + pol() + R"(,"EN_POLARITY":)" +
               pol() + R"(,"ARST_POLARITY":)" + pol();
    }
    if (params == "ALDFF") params = R"("CLK_POLARITY":)" + pol() + R"(,"ALOAD_POLARITY":)" + pol();
    std::string conn;
    // Inputs first, so that a cell's own outputs are not yet among the nets its inputs pick.
    for (bool outputs : {false, true}) {
      for (const Pin& pin : type.pins) {
        if (pin.output != outputs) continue;
        std::string n;
        if (pin.width == -1) {
          n = "[" + clock() + "]";
        } else if (pin.width == -2) {
          n = "[" + (chance(0.5) ? std::to_string(kRst) : input_net()) + "]";
        } else {
          n = nets(pin.width ? pin.width : width, pin.output);
        }
        conn += std::string(conn.empty() ? "" : ",") + "\"" + pin.name + "\":" + n;
      }
    }
    cells_ += std::string(cells_.empty() ? "" : ",") + "\"" + name + R"(":{"type":")" + type.name +
              R"(","parameters":{)" + params + R"(},"connections":{)" + conn + "}}";
    names_.push_back(name);
  }

  std::mt19937_64 rng_;
  double loops_, shared_output_;
  int inputs_;
  int next_net_;
  std::vector<int> driven_;
  std::vector<std::string> names_;
  std::string cells_;
};

// Every net's value, stuck flag and counters, `dirty` and every cell's state bytes.
std::string difference(const Design& a, const Design& b) {
  const SignalStore &x = a.store(), &y = b.store();
  for (NetId n = 0; n < x.net_count(); ++n) {
    if (x.get(n) != y.get(n) || x.is_stuck(n) != y.is_stuck(n) ||
        x.rising_count(n) != y.rising_count(n) || x.falling_count(n) != y.falling_count(n)) {
      return "net " + std::to_string(n) + ": value " + std::to_string(x.get(n)) + " vs " +
             std::to_string(y.get(n)) + ", rising " + std::to_string(x.rising_count(n)) + " vs " +
             std::to_string(y.rising_count(n)) + ", falling " + std::to_string(x.falling_count(n)) +
             " vs " + std::to_string(y.falling_count(n));
    }
  }
  if (x.dirty() != y.dirty()) return "dirty";
  for (std::size_t i = 0; i < a.cells().size(); ++i) {
    if (a.cell(i).state != b.cell(i).state) return "state of cell " + std::to_string(i);
  }
  return "";
}

template <class T>
std::string outcome(const Result<T>& r) {
  if (!r.ok()) return "error " + r.error().display();
  if constexpr (std::is_void_v<T>) {
    return "ok";
  } else {
    return std::to_string(r.value()) + " passes";
  }
}

struct Pair {
  Design activity, full;
};

Pair two_designs(const std::string& json, const std::string& torder, Engine engine,
                 std::mt19937_64& rng) {
  auto a = testing::design(json, torder);
  auto f = testing::design(json, torder);
  EXPECT_TRUE(a.ok() && f.ok()) << (a.ok() ? "" : a.error().display());
  Pair p{std::move(a).value(), std::move(f).value()};
  p.activity.set_engine(engine);
  p.full.set_engine(Engine::Full);
  const Bit clk_polarity = Bit(rng() & 1), rst_polarity = Bit(rng() & 1);
  for (Design* d : {&p.activity, &p.full}) {
    EXPECT_TRUE(d->set_clock(kClk, clk_polarity).ok());
    EXPECT_TRUE(d->set_reset(kRst, rst_polarity).ok());
  }
  return p;
}

// One random operation applied to both designs; returns what it was and how each ended.
std::string random_step(Pair& p, std::mt19937_64& rng, std::string& outcome_a,
                        std::string& outcome_f) {
  const auto below = [&](std::uint64_t n) { return rng() % n; };
  const NetId nets = p.activity.store().net_count();
  const std::vector<NetId>& inputs = *p.activity.port_nets("in");
  std::ostringstream what;
  switch (below(11)) {
    case 0:
    case 1:
      what << "settle";
      outcome_a = outcome(p.activity.settle());
      outcome_f = outcome(p.full.settle());
      break;
    case 2:
    case 3: {
      const std::uint64_t cycles = below(3);
      what << "eval_clocked " << cycles;
      outcome_a = outcome(p.activity.eval_clocked(cycles));
      outcome_f = outcome(p.full.eval_clocked(cycles));
      break;
    }
    case 4: {
      const std::uint64_t cycles = below(2);
      what << "eval_reset_clocked " << cycles;
      outcome_a = outcome(p.activity.eval_reset_clocked(cycles));
      outcome_f = outcome(p.full.eval_reset_clocked(cycles));
      break;
    }
    case 5: {
      BitVec bits(inputs.size());
      for (Bit& b : bits) b = Bit(below(2));
      what << "drive_port in";
      outcome_a = outcome(p.activity.drive_port("in", bits));
      outcome_f = outcome(p.full.drive_port("in", bits));
      break;
    }
    case 6:
    case 7: {
      // A direct write, as the Python layer makes them: on a port's net or on any net.
      const NetId net = below(2) ? inputs[below(inputs.size())] : NetId(below(nets));
      const Bit bit = Bit(below(2));
      what << "set " << net << " " << int(bit);
      p.activity.store().set(net, bit);
      p.full.store().set(net, bit);
      break;
    }
    case 8: {
      const std::uint64_t net = below(nets), value = below(2);
      what << "stick " << net << " " << value;
      outcome_a = outcome(p.activity.stick_signal(net, value));
      outcome_f = outcome(p.full.stick_signal(net, value));
      break;
    }
    case 9: {
      const std::uint64_t net = below(nets);
      what << "unstick " << net;
      outcome_a = outcome(p.activity.unstick_signal(net));
      outcome_f = outcome(p.full.unstick_signal(net));
      break;
    }
    case 10:
      if (below(4) == 0) {
        what << "reset";
        p.activity.reset();
        p.full.reset();
      } else {
        what << "settle";
        outcome_a = outcome(p.activity.settle());
        outcome_f = outcome(p.full.settle());
      }
      break;
  }
  return what.str();
}

struct Shape {
  const char* name;
  int cells, inputs;
  double loops, shared_output;
  bool shuffle;
};

class ActivityDifferential : public ::testing::TestWithParam<Shape> {};

TEST_P(ActivityDifferential, EveryStepMatchesTheFullPass) {
  const Shape shape = GetParam();
  for (std::uint64_t seed = 1; seed <= 120; ++seed) {
    // Odd seeds run the list-order engine, even ones the levelled layout.
    const Engine engine = seed % 2 ? Engine::Activity : Engine::Levelled;
    RandomNetlist netlist(seed, shape.cells, shape.inputs, shape.loops, shape.shared_output);
    std::mt19937_64 rng(seed * 7919);
    Pair p = two_designs(netlist.json(), netlist.torder(shape.shuffle), engine, rng);
    std::string log;
    for (int step = 0; step < 80; ++step) {
      std::string a, f;
      log += random_step(p, rng, a, f) + "\n";
      ASSERT_EQ(a, f) << "seed " << seed << ", engine " << int(engine) << ", steps:\n" << log;
      const std::string diff = difference(p.activity, p.full);
      ASSERT_EQ(diff, "") << "seed " << seed << ", engine " << int(engine) << ", steps:\n" << log;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Netlists, ActivityDifferential,
                         ::testing::Values(Shape{"InOrder", 40, 6, 0, 0, false},
                                           Shape{"OutOfOrder", 40, 6, 0, 0, true},
                                           Shape{"Loops", 30, 4, 0.15, 0, true},
                                           Shape{"SharedOutputs", 30, 4, 0, 0.08, true},
                                           Shape{"Everything", 50, 5, 0.1, 0.05, true}),
                         [](const ::testing::TestParamInfo<Shape>& p) {
                           return std::string(p.param.name);
                         });

// Equivalence alone would also hold for an engine that evaluates everything: these count the
// evaluations. A chain of three buffers from in[0] (nets 10, 11, 12) and an inverter from in[1]
// (net 13), the chain listed forwards or backwards.
TEST(Activity, EvaluatesOnlyWhatAChangeReaches) {
  const std::string json =
      testing::top_module(R"("in":{"direction":"input","bits":[4,5]})",
                          R"("b1":{"type":"$_BUF_","connections":{"A":[4],"Y":[10]}},)"
                          R"("b2":{"type":"$_BUF_","connections":{"A":[10],"Y":[11]}},)"
                          R"("b3":{"type":"$_BUF_","connections":{"A":[11],"Y":[12]}},)"
                          R"("inv":{"type":"$_NOT_","connections":{"A":[5],"Y":[13]}})",
                          R"("in":{"bits":[4,5]},"n":{"bits":[10,11,12,13]})");
  struct Case {
    const char* order;
    std::uint64_t chain_passes, chain_evaluations, rewrite_passes;
  };
  // Forwards, the change runs down the chain in one pass; backwards, each buffer waits for the
  // next pass, as in the full loop, but is still the only cell evaluated in it.
  for (const Engine engine : {Engine::Activity, Engine::Levelled}) {
    for (const Case c : {Case{" cell b1\n cell b2\n cell b3\n cell inv\n", 2, 3, 2},
                         Case{" cell b3\n cell b2\n cell b1\n cell inv\n", 4, 3, 3}}) {
      SCOPED_TRACE(std::string(c.order) + (engine == Engine::Levelled ? "levelled" : "list order"));
      auto d = testing::design(json, std::string("module top\n") + c.order);
      ASSERT_TRUE(d.ok());
      d->set_engine(engine);
      // The first settle evaluates every cell once; the inverter's change wakes nothing else.
      EXPECT_EQ(outcome(d->settle()), "2 passes");
      EXPECT_EQ(d->activity_evaluations(), 4u);
      EXPECT_EQ(d->store().get(13), 1);
      d->store().set(4, 1);
      EXPECT_EQ(outcome(d->settle()), std::to_string(c.chain_passes) + " passes");
      EXPECT_EQ(d->activity_evaluations(), 4u + c.chain_evaluations);
      EXPECT_EQ(d->store().get(12), 1);
      // Nothing changed: one pass that evaluates nothing.
      EXPECT_EQ(outcome(d->settle()), "1 passes");
      EXPECT_EQ(d->activity_evaluations(), 4u + c.chain_evaluations);
      // A write on a driven net wakes its driver, which puts its value back, and its reader.
      d->store().set(11, 0);
      EXPECT_EQ(outcome(d->settle()), std::to_string(c.rewrite_passes) + " passes");
      EXPECT_EQ(d->store().get(11), 1);
      EXPECT_EQ(d->store().get(12), 1);
      EXPECT_EQ(d->store().falling_count(11), 1u);
      EXPECT_EQ(d->store().rising_count(11), 2u);
      // reset() makes every cell wait again.
      const std::uint64_t before = d->activity_evaluations();
      d->reset();
      EXPECT_EQ(outcome(d->settle()), "2 passes");
      EXPECT_EQ(d->activity_evaluations(), before + 4);
    }
  }
}

}  // namespace
}  // namespace vexolin
