// Clock cycles per second of both evaluation engines on a generated gate-level multiply-
// accumulate (acc <= acc + a * b), with inputs that move little or much.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "design.h"
#include "netlist_wrapper/netlist.h"
#include "netlist_wrapper/torder.h"

namespace {

using vexolin::Design;
using vexolin::Engine;

// Gate-level netlist text: an array multiplier of two `width`-bit inputs into a ripple-carry
// accumulator of 2 * width bits held in $_DFF_P_ cells, listed flip-flops first, then in
// topological order.
class MacNetlist {
 public:
  explicit MacNetlist(int width) : width_(width) {
    clk_ = fresh();
    for (int i = 0; i < width; ++i) a_.push_back(fresh());
    for (int i = 0; i < width; ++i) b_.push_back(fresh());
    for (int i = 0; i < 2 * width; ++i) acc_.push_back(fresh());
    std::vector<std::string> sum(2 * width, "\"0\"");
    for (int i = 0; i < width; ++i) {
      std::string carry = "\"0\"";
      for (int j = 0; j < width; ++j) {
        const std::string pp = gate("$_AND_", a_[j], b_[i]);
        if (i == 0) {
          sum[j] = pp;
        } else {
          add_bit(sum[i + j], pp, carry);
        }
      }
      if (i > 0) sum[i + width] = carry;
    }
    std::string carry = "\"0\"";
    std::vector<std::string> next(2 * width);
    for (int k = 0; k < 2 * width; ++k) {
      next[k] = acc_[k];
      add_bit(next[k], sum[k], carry);
    }
    for (int k = 0; k < 2 * width; ++k) {
      flops_ += cell("$_DFF_P_",
                     R"("C":[)" + clk_ + R"(],"D":[)" + next[k] + R"(],"Q":[)" + acc_[k] + "]");
    }
  }

  std::string json() const {
    const auto list = [](const std::vector<std::string>& nets) {
      std::string s;
      for (const std::string& n : nets) s += (s.empty() ? "" : ",") + n;
      return "[" + s + "]";
    };
    const std::string ports = R"("clk":{"direction":"input","bits":[)" + clk_ +
                              R"(]},"a":{"direction":"input","bits":)" + list(a_) +
                              R"(},"b":{"direction":"input","bits":)" + list(b_) +
                              R"(},"acc":{"direction":"output","bits":)" + list(acc_) + "}";
    const std::string names = R"("clk":{"bits":[)" + clk_ + R"(]},"a":{"bits":)" + list(a_) +
                              R"(},"b":{"bits":)" + list(b_) + R"(},"acc":{"bits":)" + list(acc_) +
                              "}";
    std::string cells = flops_ + gates_;
    cells.pop_back();
    return R"({"modules":{"top":{"attributes":{"top":1},"ports":{)" + ports + R"(},"cells":{)" +
           cells + R"(},"netnames":{)" + names + R"(,"all":{"bits":[2)" + all_ + "]}}}}}";
  }

  std::string torder() const { return "module top\n" + order_flops_ + order_gates_; }
  int cells() const { return count_; }

 private:
  std::string fresh() {
    const std::string n = std::to_string(next_++);
    if (next_ > 3) all_ += "," + n;
    return n;
  }
  std::string cell(const char* type, const std::string& connections) {
    const std::string name = "c" + std::to_string(count_++);
    const std::string text =
        "\"" + name + R"(":{"type":")" + type + R"(","connections":{)" + connections + "}},";
    (type[3] == 'D' ? order_flops_ : order_gates_) += " cell " + name + "\n";
    return text;
  }
  std::string gate(const char* type, const std::string& x, const std::string& y) {
    const std::string out = fresh();
    gates_ += cell(type, R"("A":[)" + x + R"(],"B":[)" + y + R"(],"Y":[)" + out + "]");
    return out;
  }
  // bit <- bit + x + carry, carry <- the carry out: one full adder of five gates.
  void add_bit(std::string& bit, const std::string& x, std::string& carry) {
    const std::string s1 = gate("$_XOR_", bit, x);
    const std::string s = gate("$_XOR_", s1, carry);
    const std::string c1 = gate("$_AND_", bit, x);
    const std::string c2 = gate("$_AND_", s1, carry);
    carry = gate("$_OR_", c1, c2);
    bit = s;
  }

  int width_;
  int next_ = 2;
  int count_ = 0;
  std::string clk_, all_;
  std::vector<std::string> a_, b_, acc_;
  std::string flops_, gates_, order_flops_, order_gates_;
};

Design build(const MacNetlist& mac) {
  auto netlist = vexolin::parse_netlist(mac.json());
  if (!netlist) {
    std::fprintf(stderr, "%s\n", netlist.error().display().c_str());
    std::exit(1);
  }
  auto design =
      Design::from_netlist(std::move(netlist).value(), vexolin::Torder::parse(mac.torder()),
                           std::nullopt, std::nullopt, nullptr);
  if (!design) {
    std::fprintf(stderr, "%s\n", design.error().display().c_str());
    std::exit(1);
  }
  if (!design->set_clock(2, 1).ok()) std::exit(1);
  return std::move(design).value();
}

vexolin::BitVec random_bits(std::mt19937_64& rng, std::size_t n) {
  vexolin::BitVec bits(n);
  for (auto& b : bits) b = vexolin::Bit(rng() & 1);
  return bits;
}

enum class Load { Idle, Steady, Random };

struct Run {
  double cycles_per_second;
  std::uint64_t checksum;
  double evaluations_per_cycle;
};

// Cycles for about `seconds`, or exactly `fixed` cycles when it is not 0: Idle holds b at 0
// (nothing but the clock moves), Steady holds nonzero inputs (the accumulator adds each cycle),
// Random writes new a and b every cycle.
Run measure(const MacNetlist& mac, int width, Engine engine, Load load, double seconds,
            std::uint64_t fixed = 0) {
  Design d = build(mac);
  d.set_engine(engine);
  std::mt19937_64 rng(42);
  const vexolin::BitVec zero(width, 0);
  if (!d.drive_port("a", random_bits(rng, width)).ok()) std::exit(1);
  if (!d.drive_port("b", load == Load::Idle ? zero : random_bits(rng, width)).ok()) std::exit(1);
  if (!d.eval_clocked(1).ok()) std::exit(1);
  const std::uint64_t evaluations_before = d.activity_evaluations();
  const auto start = std::chrono::steady_clock::now();
  std::uint64_t cycles = 0;
  double elapsed = 0;
  while (fixed ? cycles < fixed : elapsed < seconds) {
    for (int i = 0; i < 16; ++i) {
      if (load == Load::Random) {
        if (!d.drive_port("a", random_bits(rng, width)).ok()) std::exit(1);
        if (!d.drive_port("b", random_bits(rng, width)).ok()) std::exit(1);
      }
      if (!d.eval_clocked(1).ok()) std::exit(1);
    }
    cycles += 16;
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  std::uint64_t checksum = 0;
  for (vexolin::NetId n = 0; n < d.store().net_count(); ++n) {
    checksum = checksum * 31 + d.store().get(n) + 7 * d.store().total_count(n);
  }
  return {double(cycles) / elapsed, checksum,
          double(d.activity_evaluations() - evaluations_before) / double(cycles)};
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 1 ? std::atoi(argv[1]) : 40;
  const double seconds = argc > 2 ? std::atof(argv[2]) : 2.0;
  const MacNetlist mac(width);
  std::printf("%d-bit multiply-accumulate, %d cells\n", width, mac.cells());
  std::printf("%-8s %12s %12s %12s %9s %9s\n", "load", "full cyc/s", "activity", "levelled",
              "speed-up", "levelled");
  for (const auto& [load, name] :
       {std::pair{Load::Idle, "idle"}, {Load::Steady, "steady"}, {Load::Random, "random"}}) {
    // The same cycles on every engine must leave the same values and counters.
    const std::uint64_t reference = measure(mac, width, Engine::Full, load, 0, 64).checksum;
    const bool same = measure(mac, width, Engine::Activity, load, 0, 64).checksum == reference &&
                      measure(mac, width, Engine::Levelled, load, 0, 64).checksum == reference;
    const Run full = measure(mac, width, Engine::Full, load, seconds);
    const Run activity = measure(mac, width, Engine::Activity, load, seconds);
    const Run levelled = measure(mac, width, Engine::Levelled, load, seconds);
    std::printf("%-8s %12.0f %12.0f %12.0f %8.1fx %8.1fx%s\n", name, full.cycles_per_second,
                activity.cycles_per_second, levelled.cycles_per_second,
                activity.cycles_per_second / full.cycles_per_second,
                levelled.cycles_per_second / full.cycles_per_second,
                same ? "" : "  (engines differ!)");
    std::printf("%-8s cells evaluated per cycle: activity %.0f, levelled %.0f\n", "",
                activity.evaluations_per_cycle, levelled.evaluations_per_cycle);
  }
}
