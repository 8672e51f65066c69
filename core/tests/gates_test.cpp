#include <gtest/gtest.h>

#include <functional>

#include "cell_helpers.h"

namespace vexolin {
namespace {

using testing::Bench;

struct GateCase {
  const char* type;
  std::vector<const char*> inputs;
  std::function<int(const int*)> expect;  // written independently of the library's tables
};

TEST(Gates, ExhaustiveTruthTables) {
  const std::vector<GateCase> cases = {
      {"$_BUF_", {"A"}, [](const int* v) { return v[0]; }},
      {"$_NOT_", {"A"}, [](const int* v) { return 1 - v[0]; }},
      {"$_AND_", {"A", "B"}, [](const int* v) { return v[0] * v[1]; }},
      {"$_ANDNOT_", {"A", "B"}, [](const int* v) { return v[0] * (1 - v[1]); }},
      {"$_NAND_", {"A", "B"}, [](const int* v) { return 1 - v[0] * v[1]; }},
      {"$_NOR_", {"A", "B"}, [](const int* v) { return v[0] + v[1] == 0; }},
      {"$_OR_", {"A", "B"}, [](const int* v) { return v[0] + v[1] > 0; }},
      {"$_ORNOT_", {"A", "B"}, [](const int* v) { return v[0] + (1 - v[1]) > 0; }},
      {"$_XNOR_", {"A", "B"}, [](const int* v) { return v[0] == v[1]; }},
      {"$_XOR_", {"A", "B"}, [](const int* v) { return v[0] != v[1]; }},
      {"$_AOI3_", {"A", "B", "C"}, [](const int* v) { return v[0] * v[1] + v[2] == 0; }},
      {"$_OAI3_", {"A", "B", "C"}, [](const int* v) { return (v[0] + v[1]) * v[2] == 0; }},
      {"$_MUX_", {"A", "B", "S"}, [](const int* v) { return v[2] == 1 ? v[1] : v[0]; }},
      {"$_NMUX_", {"A", "B", "S"}, [](const int* v) { return 1 - (v[2] == 1 ? v[1] : v[0]); }},
  };
  for (const GateCase& g : cases) {
    const NetId n_in = static_cast<NetId>(g.inputs.size());
    const NetId y = 2 + n_in;
    for (unsigned combo = 0; combo < (1u << n_in); ++combo) {
      Bench b(y + 1);
      ConnectionMap c;
      int v[3] = {};
      for (NetId i = 0; i < n_in; ++i) {
        c[g.inputs[i]] = {2 + i};
        v[i] = (combo >> i) & 1;
        b.store.set(2 + i, Bit(v[i]));
      }
      c["Y"] = {y};
      b.add(g.type, c);
      b.settle();
      EXPECT_EQ(b.store.get(y), g.expect(v)) << g.type << " inputs " << combo;
    }
  }
}

TEST(Gates, StuckOutputHoldsAndCountsNothing) {
  Bench b(4);
  b.add("$_NOT_", {{"A", {2}}, {"Y", {3}}});
  b.store.stick(3, 0);
  b.settle();
  b.store.set(2, 1);
  b.settle();
  EXPECT_EQ(b.store.get(3), 0);
  EXPECT_EQ(b.store.total_count(3), 0u);
}

TEST(Gates, UnchangedInputLeavesCountersAndDirtyAlone) {
  Bench b(4);
  b.add("$_BUF_", {{"A", {2}}, {"Y", {3}}});
  b.store.set(2, 1);
  b.settle();
  EXPECT_EQ(b.store.rising_count(3), 1u);
  b.store.set_dirty(false);
  b.pass();
  EXPECT_FALSE(b.store.dirty());
  EXPECT_EQ(b.store.total_count(3), 1u);
}

}  // namespace
}  // namespace vexolin
