// The single-operand word-level kinds $not and $pos and the multiplexers $mux, $pmux, $bmux.
#include <array>
#include <cstdint>
#include <string_view>

#include "cell/simlib/word.h"

namespace vexolin {
namespace {

using sv = std::string_view;

// $not and $pos: Y is A extended to |Y|, inverted for $not. No width limit, so bit by bit.
template <bool Invert>
struct UnaryCopyKind {
  static constexpr const char* kind_name = Invert ? "$not" : "$pos";
  static constexpr std::array<sv, 1> type_names{sv(kind_name)};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<UnaryCopyKind>(c, p, word::kAY, word::SignedFrom::a_required, Invert);
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    const std::size_t a = cell.list(0).size(), y = cell.list(1).size();
    return a < y ? a : y;
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 2, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const word::Ids y = cell.list(1);
    const word::Extended a =
        word::read_extended(store, cell.list(0), y.size(), word::is_signed(cell), scratch.a.data());
    for (std::size_t i = 0; i < y.size(); ++i) store.set(y[i], Bit(a[i] ^ Bit(Invert)));
  }
};

// Copies the first `count` values of `bits` to Y.
void write_bits(SignalStore& store, word::Ids y, const Bit* bits, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) store.set(y[i], bits[i]);
}

// Reads `count` nets of `src` from `offset` on, then writes them to Y: reading first keeps a Y
// that shares nets with the source computing from the values found on entry.
void copy_part(SignalStore& store, word::Ids src, std::size_t offset, std::size_t count,
               word::Ids y, Bit* buffer) {
  if (count == 0) return;
  word::read_bits(store, src.subspan(offset, count), count, buffer);
  write_bits(store, y, buffer, count);
}

// How many bits of a |Y|-bit part starting at `offset` lie inside a list of `size` bits. Parts
// that reach beyond the list copy only what exists; the rest of Y keeps its values, as for $mux
// beyond its input, rather than reading past the list.
std::size_t part_length(std::size_t offset, std::size_t y, std::size_t size) {
  if (offset >= size) return 0;
  return size - offset < y ? size - offset : y;
}

struct MuxKind {
  static constexpr const char* kind_name = "$mux";
  static constexpr std::array<sv, 1> type_names{"$mux"};
  static constexpr std::size_t kSelect = 3;  // pin slot of S, after the three lists

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    Result<CellInstance> cell =
        word::build_lists<MuxKind>(c, p, word::kABY, word::SignedFrom::nothing, false);
    if (!cell) return cell;
    Result<NetId> s = single_pin(c, "S");
    if (!s) return std::move(s).error();
    cell->pin[kSelect] = *s;
    return cell;
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 1, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    const word::Ids selected = cell.list(store.get(cell.pin[kSelect]) != 0 ? 1 : 0);
    const word::Ids y = cell.list(2);
    const std::size_t n = selected.size() < y.size() ? selected.size() : y.size();
    for (std::size_t i = 0; i < n; ++i) store.set(y[i], store.get(selected[i]));
  }
};

struct PmuxKind {
  static constexpr const char* kind_name = "$pmux";
  static constexpr std::array<sv, 1> type_names{"$pmux"};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<PmuxKind>(c, p, word::PinNames4{"S", "A", "B", "Y"},
                                       word::SignedFrom::nothing, false);
  }

  static std::size_t scratch_bits(const CellInstance& cell) { return cell.list(3).size(); }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 4, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const word::Ids s = cell.list(0), y = cell.list(3);
    // The highest-numbered set bit of S wins.
    std::size_t k = s.size();
    while (k > 0 && store.get(s[k - 1]) == 0) --k;
    if (k == 0) {
      const word::Ids a = cell.list(1);
      return copy_part(store, a, 0, part_length(0, y.size(), a.size()), y, scratch.a.data());
    }
    const word::Ids b = cell.list(2);
    const std::size_t offset = (k - 1) * y.size();
    copy_part(store, b, offset, part_length(offset, y.size(), b.size()), y, scratch.a.data());
  }
};

struct BmuxKind {
  static constexpr const char* kind_name = "$bmux";
  static constexpr std::array<sv, 1> type_names{"$bmux"};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<BmuxKind>(c, p, word::PinNames3{"S", "A", "Y"},
                                       word::SignedFrom::nothing, false);
  }

  static std::size_t scratch_bits(const CellInstance& cell) { return cell.list(2).size(); }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const word::Ids a = cell.list(1), y = cell.list(2);
    if (y.empty()) return;
    const std::uint64_t s = word::read_saturated(store, cell.list(0));
    // Tested before multiplying so that a huge select cannot wrap the offset back into A.
    if (s > a.size() / y.size()) return;
    const std::size_t offset = s * y.size();
    copy_part(store, a, offset, part_length(offset, y.size(), a.size()), y, scratch.a.data());
  }
};

VEXOLIN_REGISTER_CELL(not_cell, UnaryCopyKind<true>);
VEXOLIN_REGISTER_CELL(pos_cell, UnaryCopyKind<false>);
VEXOLIN_REGISTER_CELL(mux_cell, MuxKind);
VEXOLIN_REGISTER_CELL(pmux_cell, PmuxKind);
VEXOLIN_REGISTER_CELL(bmux_cell, BmuxKind);

}  // namespace
}  // namespace vexolin
