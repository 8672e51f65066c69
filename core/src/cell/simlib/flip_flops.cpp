// The word-level flip-flops $dff, $adffe and $aldff.
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "cell/simlib/word.h"

namespace vexolin {
namespace {

using sv = std::string_view;

// Bits of CellInstance::flags.
constexpr std::uint8_t kClockPolarity = 1;
constexpr std::uint8_t kAsyncPolarity = 2;  // ARST of $adffe, ALOAD of $aldff
constexpr std::uint8_t kEnablePolarity = 4;

// Bits of CellInstance::state.
constexpr std::uint8_t kLastClock = 1;
constexpr std::uint8_t kLastAsync = 2;

Bit flag(const CellInstance& cell, std::uint8_t mask) {
  return Bit((cell.flags & mask) != 0);
}

Bit last(const CellInstance& cell, std::uint8_t mask) {
  return Bit((cell.state & mask) != 0);
}

// Sets `mask` in the flags when the required parameter is non-zero.
Status read_polarity(CellInstance& cell, const ParameterMap& parameters, std::string_view name,
                     std::uint8_t mask) {
  Result<std::uint32_t> value = required_parameter(parameters, name);
  if (!value) return std::move(value).error();
  if (*value != 0) cell.flags |= mask;
  return {};
}

// The last levels of an inactive clock and control, as reset() leaves them.
std::uint8_t inactive_state(const CellInstance& cell) {
  std::uint8_t state = 0;
  if (!flag(cell, kClockPolarity)) state |= kLastClock;
  if (!flag(cell, kAsyncPolarity)) state |= kLastAsync;
  return state;
}

std::size_t shorter(std::size_t a, std::size_t b) {
  return a < b ? a : b;
}

// Q[i] <- src[i] for i below the shorter length. The source is read whole before Q is written,
// so a Q that shares nets with its source captures the values found on entry, as all bits of a
// register capture at once.
void capture(SignalStore& store, word::Ids src, word::Ids q, Bit* buffer) {
  const std::size_t n = shorter(src.size(), q.size());
  word::read_bits(store, src, n, buffer);
  for (std::size_t i = 0; i < n; ++i) store.set(q[i], buffer[i]);
}

// Steps 1 to 3 of the asynchronous kinds: whether the asynchronous source is applied (ARST or
// ALOAD just became active, or an active clock moved while it is held) or D is captured (an edge
// with the control inactive and, for $adffe, the enable active).
enum class Action : std::uint8_t { none, async, data };

Action async_action(const CellInstance& cell, Bit clk, Bit control, bool enabled) {
  const bool clk_active = clk == flag(cell, kClockPolarity);
  const bool control_active = control == flag(cell, kAsyncPolarity);
  const Bit last_clk = last(cell, kLastClock), last_control = last(cell, kLastAsync);
  if (!clk_active) return control_active && last_control != control ? Action::async : Action::none;
  if (control_active) {
    return clk != last_clk || control != last_control ? Action::async : Action::none;
  }
  return clk != last_clk && enabled ? Action::data : Action::none;
}

// Only the clock and the asynchronous control decide whether an evaluation writes: with both
// unchanged, the state bytes hold their levels and no step of async_action can fire.
void flip_flop_nets(std::initializer_list<NetId> controls, std::initializer_list<word::Ids> sampled,
                    word::Ids q, std::initializer_list<NetId> sampled_pins,
                    const NetVisitor& visit) {
  for (const NetId net : controls) visit(net, NetUse::Read);
  for (const word::Ids ids : sampled) {
    for (const NetId net : ids) visit(net, NetUse::Sample);
  }
  for (const NetId net : sampled_pins) visit(net, NetUse::Sample);
  for (const NetId net : q) visit(net, NetUse::Capture);
}

struct DffKind {
  static constexpr const char* kind_name = "$dff";
  static constexpr std::array<sv, 1> type_names{"$dff"};
  static constexpr unsigned kD = 0, kQ = 1;
  static constexpr std::size_t kClk = 2;

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    Result<CellInstance> cell = word::build_lists<DffKind>(c, p, word::PinNames2{"D", "Q"},
                                                           word::SignedFrom::nothing, false);
    if (!cell) return cell;
    Result<NetId> clk = single_pin(c, "CLK");
    if (!clk) return std::move(clk).error();
    cell->pin[kClk] = *clk;
    VEXOLIN_TRY(read_polarity(*cell, p, "CLK_POLARITY", kClockPolarity));
    return cell;
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    return shorter(cell.list(kD).size(), cell.list(kQ).size());
  }

  static void reset_state(CellInstance& cell) { cell.state = inactive_state(cell) & kLastClock; }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    flip_flop_nets({cell.pin[kClk]}, {cell.list(kD)}, cell.list(kQ), {}, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const Bit clk = store.get(cell.pin[kClk]);
    if (clk == flag(cell, kClockPolarity) && clk != last(cell, kLastClock)) {
      capture(store, cell.list(kD), cell.list(kQ), scratch.a.data());
    }
    cell.state = clk ? kLastClock : 0;
  }
};

struct AdffeKind {
  static constexpr const char* kind_name = "$adffe";
  static constexpr std::array<sv, 1> type_names{"$adffe"};
  // The reset value is stored as list 0, one 0 or 1 per id slot, beside the pins' lists.
  static constexpr unsigned kResetValue = 0, kD = 1, kQ = 2;
  static constexpr std::size_t kClk = 3, kArst = 4, kEn = 5;

  // ARST_VALUE as WIDTH bits, of which only those below |Q| can ever reach an output; keeping
  // no more spares a huge allocation for a malformed WIDTH.
  static Result<std::vector<NetId>> reset_value(const ParameterMap& p, std::size_t q_size) {
    Result<std::uint32_t> width = required_parameter(p, "WIDTH");
    if (!width) return std::move(width).error();
    std::vector<NetId> bits(shorter(*width, q_size), 0);
    // Yosys writes ARST_VALUE as a text of WIDTH binary digits, which the 32-bit map drops
    // beyond 32 significant digits; the full text's bits take precedence over the 32-bit value.
    if (const auto wide = p.wide.find("ARST_VALUE"); wide != p.wide.end()) {
      for (std::size_t i = 0; i < bits.size() && i < wide->second.size(); ++i) {
        bits[i] = wide->second[i];
      }
      return bits;
    }
    Result<std::uint32_t> value = required_parameter(p, "ARST_VALUE");
    if (!value) return std::move(value).error();
    for (std::size_t i = 0; i < bits.size() && i < 32; ++i) bits[i] = (*value >> i) & 1;
    return bits;
  }

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    Result<const std::vector<NetId>*> d = list_pin(c, "D");
    if (!d) return std::move(d).error();
    Result<const std::vector<NetId>*> q = list_pin(c, "Q");
    if (!q) return std::move(q).error();
    Result<std::vector<NetId>> value = reset_value(p, (*q)->size());
    if (!value) return std::move(value).error();

    CellInstance cell = new_cell<AdffeKind>();
    store_lists(cell, {*value, **d, **q});
    const std::array<std::pair<sv, std::size_t>, 3> pins{
        {{"CLK", kClk}, {"ARST", kArst}, {"EN", kEn}}};
    for (const auto& [name, slot] : pins) {
      Result<NetId> net = single_pin(c, name);
      if (!net) return std::move(net).error();
      cell.pin[slot] = *net;
    }
    VEXOLIN_TRY(read_polarity(cell, p, "CLK_POLARITY", kClockPolarity));
    VEXOLIN_TRY(read_polarity(cell, p, "EN_POLARITY", kEnablePolarity));
    VEXOLIN_TRY(read_polarity(cell, p, "ARST_POLARITY", kAsyncPolarity));
    return cell;
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    return shorter(cell.list(kD).size(), cell.list(kQ).size());
  }

  static void reset_state(CellInstance& cell) { cell.state = inactive_state(cell); }

  // The reset value list holds levels, not nets, so it is not reported.
  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    flip_flop_nets({cell.pin[kClk], cell.pin[kArst]}, {cell.list(kD)}, cell.list(kQ),
                   {cell.pin[kEn]}, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const Bit clk = store.get(cell.pin[kClk]);
    const Bit arst = store.get(cell.pin[kArst]);
    const bool enabled = store.get(cell.pin[kEn]) == flag(cell, kEnablePolarity);
    const word::Ids q = cell.list(kQ);
    switch (async_action(cell, clk, arst, enabled)) {
      case Action::none:
        break;
      case Action::async: {
        const word::Ids value = cell.list(kResetValue);
        for (std::size_t i = 0; i < value.size(); ++i) store.set(q[i], Bit(value[i]));
        break;
      }
      case Action::data:
        capture(store, cell.list(kD), q, scratch.a.data());
        break;
    }
    cell.state = std::uint8_t((clk ? kLastClock : 0) | (arst ? kLastAsync : 0));
  }
};

struct AldffKind {
  static constexpr const char* kind_name = "$aldff";
  static constexpr std::array<sv, 1> type_names{"$aldff"};
  static constexpr unsigned kAd = 0, kD = 1, kQ = 2;
  static constexpr std::size_t kClk = 3, kAload = 4;

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    Result<CellInstance> cell = word::build_lists<AldffKind>(c, p, word::PinNames3{"AD", "D", "Q"},
                                                             word::SignedFrom::nothing, false);
    if (!cell) return cell;
    Result<NetId> clk = single_pin(c, "CLK");
    if (!clk) return std::move(clk).error();
    Result<NetId> aload = single_pin(c, "ALOAD");
    if (!aload) return std::move(aload).error();
    cell->pin[kClk] = *clk;
    cell->pin[kAload] = *aload;
    VEXOLIN_TRY(read_polarity(*cell, p, "CLK_POLARITY", kClockPolarity));
    VEXOLIN_TRY(read_polarity(*cell, p, "ALOAD_POLARITY", kAsyncPolarity));
    return cell;
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    const std::size_t q = cell.list(kQ).size();
    const std::size_t ad = shorter(cell.list(kAd).size(), q);
    const std::size_t d = shorter(cell.list(kD).size(), q);
    return ad > d ? ad : d;
  }

  static void reset_state(CellInstance& cell) { cell.state = inactive_state(cell); }

  // AD is sampled, not read: while ALOAD is held and the clock does not move, AD is ignored.
  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    flip_flop_nets({cell.pin[kClk], cell.pin[kAload]}, {cell.list(kAd), cell.list(kD)},
                   cell.list(kQ), {}, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const Bit clk = store.get(cell.pin[kClk]);
    const Bit aload = store.get(cell.pin[kAload]);
    switch (async_action(cell, clk, aload, true)) {
      case Action::none:
        break;
      case Action::async:
        capture(store, cell.list(kAd), cell.list(kQ), scratch.a.data());
        break;
      case Action::data:
        capture(store, cell.list(kD), cell.list(kQ), scratch.a.data());
        break;
    }
    cell.state = std::uint8_t((clk ? kLastClock : 0) | (aload ? kLastAsync : 0));
  }
};

VEXOLIN_REGISTER_CELL(dff_cell, DffKind);
VEXOLIN_REGISTER_CELL(adffe_cell, AdffeKind);
VEXOLIN_REGISTER_CELL(aldff_cell, AldffKind);

}  // namespace
}  // namespace vexolin
