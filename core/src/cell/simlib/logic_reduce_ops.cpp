// The logic kinds ($logic_not, $logic_and, $logic_or) and the reductions ($reduce_and,
// $reduce_or alias $reduce_bool). Each computes one bit and writes Y[0] only; a wider Y keeps
// its upper values and an empty Y is left alone, since there is no bit to give the result.
#include <array>
#include <string_view>

#include "cell/simlib/word.h"

namespace vexolin {
namespace {

using sv = std::string_view;

bool any_one(const SignalStore& store, word::Ids ids) {
  for (NetId n : ids) {
    if (store.get(n) != 0) return true;
  }
  return false;
}

// The AND of no bits is 1, the neutral element, so an empty A reduces to 1.
bool all_ones(const SignalStore& store, word::Ids ids) {
  for (NetId n : ids) {
    if (store.get(n) == 0) return false;
  }
  return true;
}

void write_bit(SignalStore& store, word::Ids y, bool value) {
  if (!y.empty()) store.set(y[0], Bit(value));
}

template <class Op>
struct UnaryLogicKind {
  static constexpr const char* kind_name = Op::names[0].data();
  static constexpr auto type_names = Op::names;

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<UnaryLogicKind>(c, p, word::kAY, word::SignedFrom::nothing);
  }
  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 2, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    write_bit(store, cell.list(1), Op::apply(store, cell.list(0)));
  }
};

template <class Op>
struct BinaryLogicKind {
  static constexpr const char* kind_name = Op::name;
  static constexpr std::array<sv, 1> type_names{sv(Op::name)};

  static Result<CellInstance> build(const ConnectionMap& c, const ParameterMap& p) {
    return word::build_lists<BinaryLogicKind>(c, p, word::kABY, word::SignedFrom::nothing);
  }
  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    word::combinational_nets(cell, 3, 0, visit);
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    write_bit(store, cell.list(2),
              Op::apply(any_one(store, cell.list(0)), any_one(store, cell.list(1))));
  }
};

struct LogicNotOp {
  static constexpr std::array<sv, 1> names{"$logic_not"};
  static bool apply(const SignalStore& s, word::Ids a) { return !any_one(s, a); }
};
struct ReduceAndOp {
  static constexpr std::array<sv, 1> names{"$reduce_and"};
  static bool apply(const SignalStore& s, word::Ids a) { return all_ones(s, a); }
};
struct ReduceOrOp {
  static constexpr std::array<sv, 2> names{"$reduce_or", "$reduce_bool"};
  static bool apply(const SignalStore& s, word::Ids a) { return any_one(s, a); }
};
struct LogicAndOp {
  static constexpr const char* name = "$logic_and";
  static bool apply(bool a, bool b) { return a && b; }
};
struct LogicOrOp {
  static constexpr const char* name = "$logic_or";
  static bool apply(bool a, bool b) { return a || b; }
};

VEXOLIN_REGISTER_CELL(logic_not_cell, UnaryLogicKind<LogicNotOp>);
VEXOLIN_REGISTER_CELL(reduce_and_cell, UnaryLogicKind<ReduceAndOp>);
VEXOLIN_REGISTER_CELL(reduce_or_cell, UnaryLogicKind<ReduceOrOp>);
VEXOLIN_REGISTER_CELL(logic_and_cell, BinaryLogicKind<LogicAndOp>);
VEXOLIN_REGISTER_CELL(logic_or_cell, BinaryLogicKind<LogicOrOp>);

}  // namespace
}  // namespace vexolin
