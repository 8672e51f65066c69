// Building cells by type name in tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cell/mod.h"
#include "eval.h"

namespace vexolin::testing {

/// Builds a cell through the registry; fails the test (and returns an empty record) on error.
inline CellInstance make_cell(const std::string& type, const ConnectionMap& connections,
                              const ParameterMap& parameters = {}) {
  const CellRegistration* reg = find_cell_type(type);
  if (reg == nullptr) {
    ADD_FAILURE() << "type not registered: " << type;
    return {};
  }
  Result<CellInstance> cell = reg->constructor(connections, parameters);
  if (!cell) {
    ADD_FAILURE() << type << ": " << cell.error().display();
    return {};
  }
  return std::move(cell).value();
}

/// A list of cells with its store and scratch, settled through the real loop.
struct Bench {
  explicit Bench(NetId nets) : store(nets) {}
  std::vector<CellInstance> cells;
  SignalStore store;
  EvalScratch scratch;

  void add(const std::string& type, const ConnectionMap& c, const ParameterMap& p = {}) {
    cells.push_back(make_cell(type, c, p));
    scratch = scratch_for(cells);
  }
  /// Settles and returns the number of passes.
  std::uint64_t settle() {
    Result<std::uint64_t> r = vexolin::settle(cells, store, scratch, pass_limit(cells.size()));
    EXPECT_TRUE(r.ok()) << (r.ok() ? "" : r.error().display());
    return r.ok() ? r.value() : 0;
  }
  /// One pass, as the evaluation loop runs it.
  void pass() { eval_pass(cells, store, scratch); }
};

}  // namespace vexolin::testing
