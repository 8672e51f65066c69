// The logical shifts $shl and $shr ($shr shifts in copies of the sign bit when signed).
#include <array>
#include <cstdint>
#include <string_view>

#include "cell/simlib/word.h"

namespace vexolin {
namespace {

using sv = std::string_view;
using word::i128;

// Bits of A above |Y| never shift into Y, so |Y| alone picks the path.
struct ShlKind {
  static constexpr const char* kind_name = "$shl";
  static constexpr std::array<sv, 1> type_names{"$shl"};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<ShlKind>(c, p, word::kABY, word::SignedFrom::a);
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    const std::size_t y = cell.list(2).size();
    return y > 128 ? y : 0;
  }

  template <class Int>
  static void eval_int(const CellInstance& cell, SignalStore& store, std::uint64_t amount,
                       bool sign) {
    const Int a = word::read_int<Int>(store, cell.list(0), sign);
    const Int v = amount >= sizeof(Int) * 8 ? Int(0) : Int(a << amount);
    word::write_int<Int>(store, cell.list(2), v, false);
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const bool sign = word::is_signed(cell);
    const word::Ids y = cell.list(2);
    const std::uint64_t amount = word::read_saturated(store, cell.list(1));
    if (y.size() <= 64) return eval_int<std::uint64_t>(cell, store, amount, sign);
    if (y.size() <= 128) return eval_int<u128>(cell, store, amount, sign);
    // Beyond 128 bits the shifted value is assembled bit by bit from A extended to |Y|.
    const word::Extended a =
        word::read_extended(store, cell.list(0), y.size(), sign, scratch.a.data());
    for (std::size_t i = 0; i < y.size(); ++i) {
      store.set(y[i], i < amount ? Bit(0) : a[i - amount]);
    }
  }
};

// Bits of A above |Y| shift down into Y, so the wider of A and Y picks the path.
struct ShrKind {
  static constexpr const char* kind_name = "$shr";
  static constexpr std::array<sv, 1> type_names{"$shr"};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<ShrKind>(c, p, word::kABY, word::SignedFrom::a);
  }

  static std::size_t width(const CellInstance& cell) {
    const std::size_t a = cell.list(0).size(), y = cell.list(2).size();
    return a > y ? a : y;
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    return width(cell) > 128 ? cell.list(0).size() : 0;
  }

  template <class U, class S>
  static void eval_int(const CellInstance& cell, SignalStore& store, std::uint64_t amount,
                       bool sign) {
    constexpr std::size_t n = sizeof(U) * 8;
    // The integer already holds A extended beyond max(|A|, |Y|): its sign above for a signed
    // cell, zeros otherwise, so the arithmetic or logical shift fills vacated bits correctly.
    const U a = word::read_int<U>(store, cell.list(0), sign);
    U v;
    if (sign) {
      v = U(S(a) >> (amount >= n ? n - 1 : amount));
    } else {
      v = amount >= n ? U(0) : U(a >> amount);
    }
    word::write_int<U>(store, cell.list(2), v, false);
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const bool sign = word::is_signed(cell);
    const std::size_t w = width(cell);
    const std::uint64_t amount = word::read_saturated(store, cell.list(1));
    if (w <= 64) return eval_int<std::uint64_t, std::int64_t>(cell, store, amount, sign);
    if (w <= 128) return eval_int<u128, i128>(cell, store, amount, sign);
    // Beyond 128 bits the shifted value is assembled bit by bit from the whole of A; the fill
    // (A's top bit when signed, else 0) is both A's extension and what shifts in from the top.
    const word::Ids a_ids = cell.list(0);
    const word::Extended a =
        word::read_extended(store, a_ids, a_ids.size(), sign, scratch.a.data());
    const word::Ids y = cell.list(2);
    for (std::size_t i = 0; i < y.size(); ++i) {
      store.set(y[i], amount < w - i ? a[i + amount] : a.fill);
    }
  }
};

VEXOLIN_REGISTER_CELL(shl_cell, ShlKind);
VEXOLIN_REGISTER_CELL(shr_cell, ShrKind);

}  // namespace
}  // namespace vexolin
