// The single-bit flip-flops: $_DFF_P_, $_SDFF_PP0_ and the ASAP7 DFFHQN cells, all clocked on the
// rising edge.
#include <array>
#include <cstddef>
#include <string_view>

#include "cell/mod.h"

namespace vexolin {
namespace {

using sv = std::string_view;

// A rising-edge flip-flop from its definition D, which provides kind_name, type_names, pins
// (the clock first, the output last) and `static Bit next(const Bit* in)`, the value captured
// from the pins between clock and output.
template <class D>
struct RisingEdgeKind {
  static constexpr const char* kind_name = D::kind_name;
  static constexpr auto type_names = D::type_names;
  static constexpr std::size_t pin_count = D::pins.size();
  static constexpr std::size_t kOut = pin_count - 1;
  static_assert(pin_count >= 2 && pin_count <= kInlinePins);

  static Result<CellInstance> build(const ConnectionMap& connections, const ParameterMap&) {
    CellInstance cell = new_cell<RisingEdgeKind>();
    for (std::size_t i = 0; i < pin_count; ++i) {
      Result<NetId> net = single_pin(connections, D::pins[i]);
      if (!net) return std::move(net).error();
      cell.pin[i] = *net;
    }
    return cell;
  }

  // Active-high clocks: the inactive last level after reset is the construction value, 0.
  static void reset_state(CellInstance& cell) { cell.state = 0; }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    const Bit clk = store.get(cell.pin[0]);
    if (clk && !cell.state) {
      Bit in[kOut - 1 ? kOut - 1 : 1];
      for (std::size_t i = 1; i < kOut; ++i) in[i - 1] = store.get(cell.pin[i]);
      store.set(cell.pin[kOut], D::next(in));
    }
    cell.state = clk;
  }

  // Only the clock decides whether an evaluation does anything: with it unchanged, `state`
  // already holds its level and no edge can be seen.
  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    visit(cell.pin[0], NetUse::Read);
    for (std::size_t i = 1; i < kOut; ++i) visit(cell.pin[i], NetUse::Sample);
    visit(cell.pin[kOut], NetUse::Capture);
  }
};

struct DffP {
  static constexpr const char* kind_name = "$_DFF_P_";
  static constexpr std::array<sv, 1> type_names{"$_DFF_P_"};
  static constexpr std::array<sv, 3> pins{"C", "D", "Q"};
  static Bit next(const Bit* in) { return in[0]; }
};

// Synchronous reset, active high, to 0.
struct SdffPP0 {
  static constexpr const char* kind_name = "$_SDFF_PP0_";
  static constexpr std::array<sv, 1> type_names{"$_SDFF_PP0_"};
  static constexpr std::array<sv, 4> pins{"C", "R", "D", "Q"};
  static Bit next(const Bit* in) { return in[0] ? Bit(0) : in[1]; }
};

struct Dffhqn {
  static constexpr const char* kind_name = "DFFHQN";
  static constexpr std::array<sv, 3> type_names{"DFFHQNx1_ASAP7_75t_R", "DFFHQNx2_ASAP7_75t_R",
                                                "DFFHQNx3_ASAP7_75t_R"};
  static constexpr std::array<sv, 3> pins{"CLK", "D", "QN"};
  static Bit next(const Bit* in) { return Bit(in[0] ^ 1); }
};

VEXOLIN_REGISTER_CELL(dff_p_cell, RisingEdgeKind<DffP>);
VEXOLIN_REGISTER_CELL(sdff_pp0_cell, RisingEdgeKind<SdffPP0>);
VEXOLIN_REGISTER_CELL(dffhqn_cell, RisingEdgeKind<Dffhqn>);

}  // namespace
}  // namespace vexolin
