// The word-level arithmetic ($add, $sub, $mul, $div, $mod, $neg) and comparison ($eq, $ne, $lt,
// $le, $gt, $ge) kinds. They compute in N-bit two's complement, N being 64 for a Y of up to 64
// bits and 128 beyond; the operand widths do not influence N.
#include <array>
#include <cstdint>
#include <string_view>

#include "cell/simlib/word.h"

namespace vexolin {
namespace {

using sv = std::string_view;
using word::i128;

// Division never fails and never traps, since a pass runs over whatever the nets hold (all
// zeros after a reset, for one). The results follow the usual hardware convention: a zero
// divisor gives an all-ones quotient and leaves the dividend as remainder, and the one signed
// overflow, the most negative value divided by -1, gives that value back with remainder 0.
// A divisor of -1 is negation, which sidesteps the overflowing native division.
template <class U, class S>
U divide(U a, U b, bool sign) {
  if (b == 0) return ~U(0);
  if (!sign) return U(a / b);
  if (S(b) == -1) return U(U(0) - a);
  return U(S(a) / S(b));
}

template <class U, class S>
U remainder(U a, U b, bool sign) {
  if (b == 0) return a;
  if (!sign) return U(a % b);
  if (S(b) == -1) return 0;
  return U(S(a) % S(b));
}

// Picks N from |Y| and hands Op the operands as N-bit integers.
template <class Op, bool Compare>
struct BinaryArithKind {
  static constexpr const char* kind_name = Op::name;
  static constexpr std::array<sv, 1> type_names{sv(Op::name)};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<BinaryArithKind>(c, p, word::kABY, word::SignedFrom::a_or_b);
  }

  template <class U, class S>
  static void eval_int(const CellInstance& cell, SignalStore& store, bool sign) {
    const U a = word::read_int<U>(store, cell.list(0), sign);
    const U b = word::read_int<U>(store, cell.list(1), sign);
    const word::Ids y = cell.list(2);
    if constexpr (Compare) {
      if (y.empty()) return;
      store.set(y[0], Bit(Op::template apply<U, S>(a, b, sign)));
      for (std::size_t i = 1; i < y.size(); ++i) store.set(y[i], 0);
    } else {
      word::write_int<U>(store, y, Op::template apply<U, S>(a, b, sign), sign);
    }
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    const bool sign = word::is_signed(cell);
    if (cell.list(2).size() <= 64) return eval_int<std::uint64_t, std::int64_t>(cell, store, sign);
    eval_int<u128, i128>(cell, store, sign);
  }
};

struct NegKind {
  static constexpr const char* kind_name = "$neg";
  static constexpr std::array<sv, 1> type_names{"$neg"};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<NegKind>(c, p, word::kAY, word::SignedFrom::a);
  }

  template <class U>
  static void eval_int(const CellInstance& cell, SignalStore& store, bool sign) {
    const U a = word::read_int<U>(store, cell.list(0), sign);
    word::write_int<U>(store, cell.list(1), U(U(0) - a), sign);
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 2, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    const bool sign = word::is_signed(cell);
    if (cell.list(1).size() <= 64) return eval_int<std::uint64_t>(cell, store, sign);
    eval_int<u128>(cell, store, sign);
  }
};

// Addition, subtraction and multiplication wrap alike for signed and unsigned operands, so they
// run on the unsigned type, where wrapping is defined.
struct AddOp {
  static constexpr const char* name = "$add";
  template <class U, class S>
  static U apply(U a, U b, bool) {
    return U(a + b);
  }
};
struct SubOp {
  static constexpr const char* name = "$sub";
  template <class U, class S>
  static U apply(U a, U b, bool) {
    return U(a - b);
  }
};
struct MulOp {
  static constexpr const char* name = "$mul";
  template <class U, class S>
  static U apply(U a, U b, bool) {
    return U(a * b);
  }
};
struct DivOp {
  static constexpr const char* name = "$div";
  template <class U, class S>
  static U apply(U a, U b, bool sign) {
    return divide<U, S>(a, b, sign);
  }
};
struct ModOp {
  static constexpr const char* name = "$mod";
  template <class U, class S>
  static U apply(U a, U b, bool sign) {
    return remainder<U, S>(a, b, sign);
  }
};

#define VEXOLIN_COMPARE_OP(Name, Type, Cmp)      \
  struct Name {                                  \
    static constexpr const char* name = Type;    \
    template <class U, class S>                  \
    static bool apply(U a, U b, bool sign) {     \
      return sign ? (S(a) Cmp S(b)) : (a Cmp b); \
    }                                            \
  }

VEXOLIN_COMPARE_OP(EqOp, "$eq", ==);
VEXOLIN_COMPARE_OP(NeOp, "$ne", !=);
VEXOLIN_COMPARE_OP(LtOp, "$lt", <);
VEXOLIN_COMPARE_OP(LeOp, "$le", <=);
VEXOLIN_COMPARE_OP(GtOp, "$gt", >);
VEXOLIN_COMPARE_OP(GeOp, "$ge", >=);

VEXOLIN_REGISTER_CELL(add_cell, BinaryArithKind<AddOp, false>);
VEXOLIN_REGISTER_CELL(sub_cell, BinaryArithKind<SubOp, false>);
VEXOLIN_REGISTER_CELL(mul_cell, BinaryArithKind<MulOp, false>);
VEXOLIN_REGISTER_CELL(div_cell, BinaryArithKind<DivOp, false>);
VEXOLIN_REGISTER_CELL(mod_cell, BinaryArithKind<ModOp, false>);
VEXOLIN_REGISTER_CELL(eq_cell, BinaryArithKind<EqOp, true>);
VEXOLIN_REGISTER_CELL(ne_cell, BinaryArithKind<NeOp, true>);
VEXOLIN_REGISTER_CELL(lt_cell, BinaryArithKind<LtOp, true>);
VEXOLIN_REGISTER_CELL(le_cell, BinaryArithKind<LeOp, true>);
VEXOLIN_REGISTER_CELL(gt_cell, BinaryArithKind<GtOp, true>);
VEXOLIN_REGISTER_CELL(ge_cell, BinaryArithKind<GeOp, true>);
VEXOLIN_REGISTER_CELL(neg_cell, NegKind);

}  // namespace
}  // namespace vexolin
