// The ASAP7 kinds and their library cells, and a truth-table check shared by their tests.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cell_helpers.h"

namespace vexolin::testing {

inline constexpr std::string_view kAsap7Suffix = "_ASAP7_75t_R";

struct Asap7Kind {
  std::string kind;
  std::vector<std::string> cells;  // type names without kAsap7Suffix
};

/// Every combinational ASAP7 kind with the library cells it simulates, as the library lists them.
inline const std::vector<Asap7Kind>& asap7_kinds() {
  static const std::vector<Asap7Kind> kinds = {
      {"BUF",
       {"BUFx10", "BUFx12", "BUFx12f", "BUFx16f", "BUFx24", "BUFx2", "BUFx3", "BUFx4", "BUFx4f",
        "BUFx5", "BUFx6f", "BUFx8", "HB1xp67", "HB2xp67", "HB3xp67", "HB4xp67"}},
      {"INV",
       {"CKINVDCx10",   "CKINVDCx11",   "CKINVDCx12", "CKINVDCx14",   "CKINVDCx16", "CKINVDCx20",
        "CKINVDCx5p33", "CKINVDCx6p67", "CKINVDCx8",  "CKINVDCx9p33", "INVx11",     "INVx13",
        "INVx1",        "INVx2",        "INVx3",      "INVx4",        "INVx5",      "INVx6",
        "INVx8",        "INVxp33",      "INVxp67"}},
      {"AND2", {"AND2x2", "AND2x4", "AND2x6"}},
      {"AND3", {"AND3x1", "AND3x2", "AND3x4"}},
      {"AND4", {"AND4x1", "AND4x2"}},
      {"AND5", {"AND5x1", "AND5x2"}},
      {"FA", {"FAx1"}},
      {"HA", {"HAxp5"}},
      {"MAJI", {"MAJIxp5"}},
      {"MAJ", {"MAJx2", "MAJx3"}},
      {"NAND2", {"NAND2x1", "NAND2x1p5", "NAND2x2", "NAND2xp33", "NAND2xp5", "NAND2xp67"}},
      {"NAND3", {"NAND3x1", "NAND3x2", "NAND3xp33"}},
      {"NAND4", {"NAND4xp25", "NAND4xp75"}},
      {"NAND5", {"NAND5xp2"}},
      {"NOR2", {"NOR2x1", "NOR2x1p5", "NOR2x2", "NOR2xp33", "NOR2xp67"}},
      {"NOR3", {"NOR3x1", "NOR3x2", "NOR3xp33"}},
      {"NOR4", {"NOR4xp25", "NOR4xp75"}},
      {"NOR5", {"NOR5xp2"}},
      {"OR2", {"OR2x2", "OR2x4", "OR2x6"}},
      {"OR3", {"OR3x1", "OR3x2", "OR3x4"}},
      {"OR4", {"OR4x1", "OR4x2"}},
      {"OR5", {"OR5x1", "OR5x2"}},
      {"TIEHI", {"TIEHIx1"}},
      {"TIELO", {"TIELOx1"}},
      {"XNOR2", {"XNOR2x1", "XNOR2x2", "XNOR2xp5"}},
      {"XOR2", {"XOR2x1", "XOR2x2", "XOR2xp5"}},
      {"O2A1O1I", {"O2A1O1Ixp33", "O2A1O1Ixp5"}},
      {"A2O1A1I", {"A2O1A1Ixp33"}},
      {"A2O1A1O1I", {"A2O1A1O1Ixp25"}},
      {"OA21", {"OA21x2"}},
      {"OA211", {"OA211x2"}},
      {"OA22", {"OA22x2"}},
      {"OA221", {"OA221x2"}},
      {"OA222", {"OA222x2"}},
      {"OA31", {"OA31x2"}},
      {"OA33", {"OA33x2"}},
      {"OA331", {"OA331x1", "OA331x2"}},
      {"OA332", {"OA332x1", "OA332x2"}},
      {"OA333", {"OA333x1", "OA333x2"}},
      {"OAI21", {"OAI21x1", "OAI21xp33", "OAI21xp5"}},
      {"OAI211", {"OAI211xp5"}},
      {"OAI22", {"OAI22x1", "OAI22xp33", "OAI22xp5"}},
      {"OAI221", {"OAI221xp5"}},
      {"OAI222", {"OAI222xp33"}},
      {"OAI31", {"OAI31xp33", "OAI31xp67"}},
      {"OAI311", {"OAI311xp33"}},
      {"OAI32", {"OAI32xp33"}},
      {"OAI321", {"OAI321xp33"}},
      {"OAI322", {"OAI322xp33"}},
      {"OAI33", {"OAI33xp33"}},
      {"OAI331", {"OAI331xp33"}},
      {"OAI332", {"OAI332xp33"}},
      {"OAI333", {"OAI333xp33"}},
      {"AO21", {"AO21x1", "AO21x2"}},
      {"AO211", {"AO211x2"}},
      {"AO22", {"AO22x1", "AO22x2"}},
      {"AO221", {"AO221x1", "AO221x2"}},
      {"AO222", {"AO222x2"}},
      {"AO31", {"AO31x2"}},
      {"AO32", {"AO32x1", "AO32x2"}},
      {"AO322", {"AO322x2"}},
      {"AO33", {"AO33x2"}},
      {"AO331", {"AO331x1", "AO331x2"}},
      {"AO332", {"AO332x1", "AO332x2"}},
      {"AO333", {"AO333x1", "AO333x2"}},
      {"AOI21", {"AOI21x1", "AOI21xp33", "AOI21xp5"}},
      {"AOI211", {"AOI211x1", "AOI211xp5"}},
      {"AOI22", {"AOI22x1", "AOI22xp33", "AOI22xp5"}},
      {"AOI221", {"AOI221x1", "AOI221xp5"}},
      {"AOI222", {"AOI222xp33"}},
      {"AOI31", {"AOI31xp33", "AOI31xp67"}},
      {"AOI311", {"AOI311xp33"}},
      {"AOI32", {"AOI32xp33"}},
      {"AOI321", {"AOI321xp33"}},
      {"AOI322", {"AOI322xp5"}},
      {"AOI33", {"AOI33xp33"}},
      {"AOI331", {"AOI331xp33"}},
      {"AOI332", {"AOI332xp33"}},
      {"AOI333", {"AOI333xp33"}},
  };
  return kinds;
}

/// Output values from input values, both in pin order.
using Formula = std::function<std::vector<int>(const std::vector<int>&)>;

/// Builds `type` with inputs then outputs on nets 2, 3, ..., checks that the payload keeps that
/// order, and compares every input combination against `expect`.
inline void expect_truth_table(const std::string& type, const std::vector<std::string>& inputs,
                               const std::vector<std::string>& outputs, const Formula& expect) {
  SCOPED_TRACE(type);
  const CellRegistration* reg = find_cell_type(type);
  ASSERT_NE(reg, nullptr);
  ConnectionMap c;
  const NetId n_in = static_cast<NetId>(inputs.size());
  const NetId n_out = static_cast<NetId>(outputs.size());
  for (NetId i = 0; i < n_in; ++i) c[inputs[i]] = {2 + i};
  for (NetId o = 0; o < n_out; ++o) c[outputs[o]] = {2 + n_in + o};
  Result<CellInstance> cell = reg->constructor(c, {});
  ASSERT_TRUE(cell.ok()) << cell.error().display();
  for (NetId k = 0; k < n_in + n_out; ++k) EXPECT_EQ(cell->pin[k], 2 + k) << "payload slot " << k;

  Bench b(2 + n_in + n_out);
  b.cells.push_back(std::move(cell).value());
  b.scratch = scratch_for(b.cells);
  for (unsigned combo = 0; combo < (1u << n_in); ++combo) {
    std::vector<int> v(n_in);
    for (NetId i = 0; i < n_in; ++i) {
      v[i] = (combo >> i) & 1;
      b.store.set(2 + i, Bit(v[i]));
    }
    b.settle();
    const std::vector<int> want = expect(v);
    ASSERT_EQ(want.size(), outputs.size());
    for (NetId o = 0; o < n_out; ++o) {
      EXPECT_EQ(b.store.get(2 + n_in + o), want[o]) << outputs[o] << " for inputs " << combo;
    }
  }
}

}  // namespace vexolin::testing
