// The shared shape of single-bit combinational kinds: pins inline, inputs first, outputs last.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "cell/mod.h"

namespace vexolin {

/// A single-bit kind from its definition D, which provides:
///   kind_name, type_names, pins (inputs then outputs), `static constexpr std::size_t outputs`,
///   and `static void compute(const Bit* in, Bit* out)`.
template <class D>
struct SingleBitKind {
  static constexpr const char* kind_name = D::kind_name;
  static constexpr auto type_names = D::type_names;
  static constexpr std::size_t pin_count = D::pins.size();
  static constexpr std::size_t outputs = D::outputs;
  static constexpr std::size_t inputs = pin_count - outputs;
  static_assert(pin_count <= kInlinePins, "pins must fit the record");

  static Result<CellInstance> build(const ConnectionMap& connections, const ParameterMap&) {
    debug_connections(connections);
    CellInstance cell = new_cell<SingleBitKind>();
    for (std::size_t i = 0; i < pin_count; ++i) {
      Result<NetId> net = single_pin(connections, D::pins[i]);
      if (!net) return std::move(net).error();
      cell.pin[i] = *net;
    }
    return cell;
  }

  static void eval(CellInstance& cell, SignalStore& store, EvalScratch&) {
    // All inputs are read before any output is written, so the outputs of a two-output kind are
    // computed from the same input values even when an output feeds back into an input.
    Bit in[inputs ? inputs : 1] = {};
    for (std::size_t i = 0; i < inputs; ++i) in[i] = store.get(cell.pin[i]);
    Bit out[outputs];
    D::compute(in, out);
    for (std::size_t o = 0; o < outputs; ++o) store.set(cell.pin[inputs + o], out[o]);
  }

  static void nets(const CellInstance& cell, const NetVisitor& visit) {
    for (std::size_t i = 0; i < pin_count; ++i) {
      visit(cell.pin[i], i < inputs ? NetUse::Read : NetUse::Write);
    }
  }
};

}  // namespace vexolin
