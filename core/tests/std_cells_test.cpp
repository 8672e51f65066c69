#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <numeric>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "asap7_helpers.h"

namespace vexolin {
namespace {

using testing::asap7_kinds;
using testing::Bench;
using testing::kAsap7Suffix;
using V = std::vector<int>;

std::string full(const std::string& cell) {
  return cell + std::string(kAsap7Suffix);
}

bool is_and_or_family(const std::string& kind) {
  static const std::regex family("(AO|OA)I?[1-3]{2,3}");
  return std::regex_match(kind, family);
}

TEST(StdCells, EveryLibraryCellIsRegisteredUnderItsKind) {
  std::set<const CellRegistration*> seen;
  std::set<std::string> listed;
  for (const testing::Asap7Kind& k : asap7_kinds()) {
    const CellRegistration* first = find_cell_type(full(k.cells.front()));
    ASSERT_NE(first, nullptr) << k.kind;
    EXPECT_STREQ(kind_ops(first->kind).name, k.kind.c_str());
    EXPECT_TRUE(seen.insert(first).second) << k.kind << " shares a registration";
    for (const std::string& cell : k.cells) {
      EXPECT_EQ(find_cell_type(full(cell)), first) << cell;
      listed.insert(full(cell));
    }
  }
  EXPECT_EQ(asap7_kinds().size(), 79u);
  EXPECT_EQ(listed.size(), 169u);

  // Nothing beyond the library's list is accepted (the flip-flops live elsewhere).
  for (const auto& [name, reg] : cell_registry()) {
    const std::string n(name);
    if (n.ends_with(kAsap7Suffix) && !n.starts_with("DFFHQN")) {
      EXPECT_TRUE(listed.contains(n)) << n;
    }
  }
}

TEST(StdCells, DriveVariantsAndAlternativeStemsShareOneKind) {
  const CellRegistration* buf = find_cell_type("BUFx12f_ASAP7_75t_R");
  ASSERT_NE(buf, nullptr);
  EXPECT_EQ(find_cell_type("HB3xp67_ASAP7_75t_R"), buf);
  const CellRegistration* inv = find_cell_type("CKINVDCx5p33_ASAP7_75t_R");
  ASSERT_NE(inv, nullptr);
  EXPECT_STREQ(kind_ops(inv->kind).name, "INV");
  EXPECT_EQ(find_cell_type("INVxp33_ASAP7_75t_R"), inv);
}

TEST(StdCells, NearMissesAreNotRegistered) {
  for (const char* name : {
           "NAND2x4_ASAP7_75t_R",    // drive strength the family lacks
           "AND2x1_ASAP7_75t_R",     // one that a sibling family has
           "nand2xp33_ASAP7_75t_R",  // letter case
           "NAND2xp33_asap7_75t_r",
           "BUFx12F_ASAP7_75t_R",
           "NAND2xp33",               // no library suffix
           "NAND2xp33_ASAP7_75t_L",   // another threshold flavour
           "NAND2_ASAP7_75t_R",       // no drive strength
           "NAND2xp33_ASAP7_75t_R ",  // trailing space
           "HB5xp67_ASAP7_75t_R",     // stem outside the library
           "HB1x2_ASAP7_75t_R",       // BUF drive on an HB stem
           "CKINVDCx1_ASAP7_75t_R",   // INV drive on the CKINVDC stem
           "AOI21x2_ASAP7_75t_R",
           "OA31x1_ASAP7_75t_R",
           "TIEHIxp5_ASAP7_75t_R",
       }) {
    EXPECT_EQ(find_cell_type(name), nullptr) << name;
  }
}

int all(const V& v) {
  return std::all_of(v.begin(), v.end(), [](int x) { return x == 1; });
}
int any(const V& v) {
  return std::any_of(v.begin(), v.end(), [](int x) { return x == 1; });
}
int ones(const V& v) {
  return std::accumulate(v.begin(), v.end(), 0);
}

struct TruthCase {
  const char* kind;
  std::vector<std::string> inputs, outputs;
  testing::Formula expect;
};

TEST(StdCells, ExhaustiveTruthTables) {
  const std::vector<std::string> a2 = {"A", "B"}, a3 = {"A", "B", "C"}, a4 = {"A", "B", "C", "D"},
                                 a5 = {"A", "B", "C", "D", "E"};
  const std::vector<std::string> y = {"Y"};
  const std::vector<TruthCase> cases = {
      {"BUF", {"A"}, y, [](const V& v) { return V{v[0]}; }},
      {"INV", {"A"}, y, [](const V& v) { return V{1 - v[0]}; }},
      {"AND2", a2, y, [](const V& v) { return V{all(v)}; }},
      {"AND3", a3, y, [](const V& v) { return V{all(v)}; }},
      {"AND4", a4, y, [](const V& v) { return V{all(v)}; }},
      {"AND5", a5, y, [](const V& v) { return V{all(v)}; }},
      {"NAND2", a2, y, [](const V& v) { return V{1 - all(v)}; }},
      {"NAND3", a3, y, [](const V& v) { return V{1 - all(v)}; }},
      {"NAND4", a4, y, [](const V& v) { return V{1 - all(v)}; }},
      {"NAND5", a5, y, [](const V& v) { return V{1 - all(v)}; }},
      {"OR2", a2, y, [](const V& v) { return V{any(v)}; }},
      {"OR3", a3, y, [](const V& v) { return V{any(v)}; }},
      {"OR4", a4, y, [](const V& v) { return V{any(v)}; }},
      {"OR5", a5, y, [](const V& v) { return V{any(v)}; }},
      {"NOR2", a2, y, [](const V& v) { return V{1 - any(v)}; }},
      {"NOR3", a3, y, [](const V& v) { return V{1 - any(v)}; }},
      {"NOR4", a4, y, [](const V& v) { return V{1 - any(v)}; }},
      {"NOR5", a5, y, [](const V& v) { return V{1 - any(v)}; }},
      {"XOR2", a2, y, [](const V& v) { return V{v[0] != v[1]}; }},
      {"XNOR2", a2, y, [](const V& v) { return V{v[0] == v[1]}; }},
      {"MAJ", a3, y, [](const V& v) { return V{ones(v) >= 2}; }},
      {"MAJI", a3, y, [](const V& v) { return V{ones(v) < 2}; }},
      {"FA",
       {"A", "B", "CI"},
       {"SN", "CON"},
       [](const V& v) {
         return V{ones(v) % 2 == 0, ones(v) < 2};
       }},
      {"HA",
       a2,
       {"SN", "CON"},
       [](const V& v) {
         return V{v[0] == v[1], ones(v) < 2};
       }},
      {"TIEHI", {}, {"H"}, [](const V&) { return V{1}; }},
      {"TIELO", {}, {"L"}, [](const V&) { return V{0}; }},
      {"O2A1O1I",
       {"A1", "A2", "B", "C"},
       y,
       [](const V& v) { return V{!(((v[0] || v[1]) && v[2]) || v[3])}; }},
      {"A2O1A1I",
       {"A1", "A2", "B", "C"},
       y,
       [](const V& v) { return V{!(((v[0] && v[1]) || v[2]) && v[3])}; }},
      {"A2O1A1O1I",
       {"A1", "A2", "B", "C", "D"},
       y,
       [](const V& v) { return V{!((((v[0] && v[1]) || v[2]) && v[3]) || v[4])}; }},
  };

  std::map<std::string, std::string> type_of;
  for (const testing::Asap7Kind& k : asap7_kinds()) {
    if (!is_and_or_family(k.kind)) type_of[k.kind] = full(k.cells.back());
  }
  ASSERT_EQ(type_of.size(), cases.size()) << "every kind outside the AND-OR families has a case";
  for (const TruthCase& c : cases) {
    ASSERT_TRUE(type_of.contains(c.kind)) << c.kind;
    testing::expect_truth_table(type_of[c.kind], c.inputs, c.outputs, c.expect);
  }
}

struct Example {
  const char* type;
  std::vector<std::string> inputs;
  std::vector<std::string> high;  // inputs at 1; the others are 0
  std::map<std::string, int> expect;
};

TEST(StdCells, LibraryExamples) {
  const std::vector<std::string> aoi321 = {"A1", "A2", "A3", "B1", "B2", "C"};
  const std::vector<std::string> fa = {"A", "B", "CI"};
  const std::vector<Example> examples = {
      {"AOI321xp33_ASAP7_75t_R", aoi321, {}, {{"Y", 1}}},
      {"AOI321xp33_ASAP7_75t_R", aoi321, {"C"}, {{"Y", 0}}},
      {"AOI321xp33_ASAP7_75t_R", aoi321, {"A1", "A2", "A3"}, {{"Y", 0}}},
      {"AOI321xp33_ASAP7_75t_R", aoi321, {"A1", "B1"}, {{"Y", 1}}},
      {"FAx1_ASAP7_75t_R", fa, {}, {{"SN", 1}, {"CON", 1}}},
      {"FAx1_ASAP7_75t_R", fa, {"A"}, {{"SN", 0}, {"CON", 1}}},
      {"FAx1_ASAP7_75t_R", fa, {"A", "B", "CI"}, {{"SN", 0}, {"CON", 0}}},
      {"HAxp5_ASAP7_75t_R", {"A", "B"}, {"A", "B"}, {{"SN", 1}, {"CON", 0}}},
      {"MAJIxp5_ASAP7_75t_R", {"A", "B", "C"}, {"A", "C"}, {{"Y", 0}}},
  };
  for (std::size_t i = 0; i < examples.size(); ++i) {
    const Example& e = examples[i];
    ConnectionMap c;
    std::map<std::string, NetId> net;
    NetId next = 2;
    for (const std::string& p : e.inputs) net[p] = next++;
    for (const auto& [p, v] : e.expect) net[p] = next++;
    for (const auto& [p, n] : net) c[p] = {n};
    Bench b(next);
    b.add(e.type, c);
    for (const std::string& p : e.high) b.store.set(net.at(p), 1);
    b.settle();
    for (const auto& [p, v] : e.expect) {
      EXPECT_EQ(b.store.get(net.at(p)), v) << "example " << i << ": " << p;
    }
  }
}

TEST(StdCells, TieCellsDriveTheirConstantOnEveryEvaluation) {
  Bench b(4);
  b.add("TIEHIx1_ASAP7_75t_R", {{"H", {2}}});
  b.add("TIELOx1_ASAP7_75t_R", {{"L", {3}}});
  for (int round = 0; round < 2; ++round) {
    b.store.clear();
    b.settle();
    b.settle();
    EXPECT_EQ(b.store.get(2), 1);
    EXPECT_EQ(b.store.rising_count(2), 1u);
    EXPECT_EQ(b.store.falling_count(2), 0u);
    EXPECT_EQ(b.store.get(3), 0);
    EXPECT_EQ(b.store.total_count(3), 0u);
  }

  // Held low while stuck, raised again by the first evaluation after release.
  b.store.stick(2, 0);
  b.settle();
  EXPECT_EQ(b.store.get(2), 0);
  b.store.unstick(2);
  b.pass();
  EXPECT_EQ(b.store.get(2), 1);
}

TEST(StdCells, StuckSumDoesNotStopTheCarry) {
  struct Adder {
    const char* type;
    std::vector<std::string> inputs;
  };
  for (const Adder& a :
       {Adder{"FAx1_ASAP7_75t_R", {"A", "B", "CI"}}, Adder{"HAxp5_ASAP7_75t_R", {"A", "B"}}}) {
    const NetId sn = 2 + static_cast<NetId>(a.inputs.size());
    const NetId con = sn + 1;
    ConnectionMap c{{"SN", {sn}}, {"CON", {con}}};
    for (NetId i = 0; i < a.inputs.size(); ++i) c[a.inputs[i]] = {2 + i};
    Bench b(con + 1);
    b.add(a.type, c);
    b.store.stick(sn, 0);
    b.settle();
    EXPECT_EQ(b.store.get(con), 1) << a.type;
    for (NetId i = 0; i < a.inputs.size(); ++i) b.store.set(2 + i, 1);
    b.settle();
    EXPECT_EQ(b.store.get(con), 0) << a.type;
    EXPECT_EQ(b.store.get(sn), 0) << a.type;
    EXPECT_EQ(b.store.total_count(sn), 0u) << a.type;
    EXPECT_EQ(b.store.rising_count(con), 1u) << a.type;
    EXPECT_EQ(b.store.falling_count(con), 1u) << a.type;
  }
}

}  // namespace
}  // namespace vexolin
