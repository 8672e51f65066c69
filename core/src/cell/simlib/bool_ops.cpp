// The word-level bitwise kinds $and, $or and $xor.
#include <array>
#include <cstdint>
#include <string_view>

#include "cell/simlib/word.h"

namespace vexolin {
namespace {

using sv = std::string_view;

// Operand bits above |Y| never reach the result, so the width of Y alone picks the path.
template <class Op>
struct BitwiseKind {
  static constexpr const char* kind_name = Op::name;
  static constexpr std::array<sv, 1> type_names{sv(Op::name)};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<BitwiseKind>(c, p, word::kABY, word::SignedFrom::a_or_b);
  }

  static std::size_t scratch_bits(const CellInstance& cell) {
    const std::size_t y = cell.list(2).size();
    return y > 128 ? y : 0;
  }

  template <class Int>
  static void eval_int(const CellInstance& cell, SignalStore& store, bool sign) {
    const Int a = word::read_int<Int>(store, cell.list(0), sign);
    const Int b = word::read_int<Int>(store, cell.list(1), sign);
    word::write_int<Int>(store, cell.list(2), Op::apply(a, b), false);
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch& scratch) {
    const bool sign = word::is_signed(cell);
    const word::Ids y = cell.list(2);
    if (y.size() <= 64) return eval_int<std::uint64_t>(cell, store, sign);
    if (y.size() <= 128) return eval_int<u128>(cell, store, sign);
    // No integer holds a result this wide; each bit comes from the operands extended to |Y|.
    const word::Extended a =
        word::read_extended(store, cell.list(0), y.size(), sign, scratch.a.data());
    const word::Extended b =
        word::read_extended(store, cell.list(1), y.size(), sign, scratch.b.data());
    for (std::size_t i = 0; i < y.size(); ++i) store.set(y[i], Op::apply(a[i], b[i]));
  }
};

struct AndOp {
  static constexpr const char* name = "$and";
  template <class T>
  static T apply(T a, T b) {
    return static_cast<T>(a & b);
  }
};
struct OrOp {
  static constexpr const char* name = "$or";
  template <class T>
  static T apply(T a, T b) {
    return static_cast<T>(a | b);
  }
};
struct XorOp {
  static constexpr const char* name = "$xor";
  template <class T>
  static T apply(T a, T b) {
    return static_cast<T>(a ^ b);
  }
};

VEXOLIN_REGISTER_CELL(and_cell, BitwiseKind<AndOp>);
VEXOLIN_REGISTER_CELL(or_cell, BitwiseKind<OrOp>);
VEXOLIN_REGISTER_CELL(xor_cell, BitwiseKind<XorOp>);

}  // namespace
}  // namespace vexolin
