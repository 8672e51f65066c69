#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "asap7_helpers.h"

namespace vexolin {
namespace {

using testing::kAsap7Suffix;

/// A family as its name reads: AND-then-OR or OR-then-AND, inverted or not, and its pin groups.
struct Rule {
  bool and_then_or = false;
  bool inverted = false;
  std::vector<std::vector<std::string>> groups;

  std::vector<std::string> inputs() const {
    std::vector<std::string> all;
    for (const auto& g : groups) all.insert(all.end(), g.begin(), g.end());
    return all;
  }
  int eval(const std::vector<int>& v) const {
    std::vector<int> terms;
    auto it = v.begin();
    for (const auto& g : groups) {
      const auto end = it + static_cast<std::ptrdiff_t>(g.size());
      terms.push_back(and_then_or ? *std::min_element(it, end) : *std::max_element(it, end));
      it = end;
    }
    const int y = and_then_or ? *std::max_element(terms.begin(), terms.end())
                              : *std::min_element(terms.begin(), terms.end());
    return inverted ? 1 - y : y;
  }
};

Rule rule_of(const std::string& family) {
  static const std::regex form("(AO|OA)(I?)([1-3]{2,3})");
  static const std::set<std::string> one_input_keeps_digit = {"OA31", "OA331", "OAI311", "OAI331",
                                                              "AOI331"};
  std::smatch m;
  EXPECT_TRUE(std::regex_match(family, m, form)) << family;
  Rule r;
  r.and_then_or = m[1] == "AO";
  r.inverted = m[2] == "I";
  const std::string digits = m[3];
  for (std::size_t g = 0; g < digits.size(); ++g) {
    const std::string letter(1, char('A' + g));
    const int n = digits[g] - '0';
    std::vector<std::string> pins;
    if (n == 1 && !one_input_keeps_digit.contains(family)) {
      pins.push_back(letter);
    } else {
      for (int j = 1; j <= n; ++j) pins.push_back(letter + std::to_string(j));
    }
    r.groups.push_back(pins);
  }
  return r;
}

std::vector<testing::Asap7Kind> families() {
  static const std::regex family("(AO|OA)I?[0-9]+");
  std::vector<testing::Asap7Kind> out;
  for (const testing::Asap7Kind& k : testing::asap7_kinds()) {
    if (std::regex_match(k.kind, family)) out.push_back(k);
  }
  return out;
}

TEST(AndOrCells, EveryFamilyFollowsItsName) {
  const std::vector<testing::Asap7Kind> all = families();
  ASSERT_EQ(all.size(), 50u);
  for (const testing::Asap7Kind& k : all) {
    const Rule r = rule_of(k.kind);
    testing::expect_truth_table(
        k.cells.front() + std::string(kAsap7Suffix), r.inputs(), {"Y"},
        [&](const std::vector<int>& v) { return std::vector<int>{r.eval(v)}; });
  }
}

TEST(AndOrCells, PinsOfTheWorkedExamplesInPayloadOrder) {
  // Stated outright rather than derived, so a misreading of the rule shared by the code and the
  // evaluator above still shows up here.
  struct Pins {
    const char* type;
    std::vector<std::string> pins;
  };
  for (const Pins& p : {
           Pins{"AOI21xp33", {"A1", "A2", "B", "Y"}},
           Pins{"AOI321xp33", {"A1", "A2", "A3", "B1", "B2", "C", "Y"}},
           Pins{"OA331x1", {"A1", "A2", "A3", "B1", "B2", "B3", "C1", "Y"}},
           Pins{"OAI311xp33", {"A1", "A2", "A3", "B1", "C1", "Y"}},
           Pins{"AOI311xp33", {"A1", "A2", "A3", "B", "C", "Y"}},
           Pins{"OA31x2", {"A1", "A2", "A3", "B1", "Y"}},
       }) {
    ConnectionMap m;
    // Nets in reverse so that payload order cannot fall out of the map's name order.
    NetId n = static_cast<NetId>(p.pins.size()) + 1;
    for (const std::string& pin : p.pins) m[pin] = {n--};
    CellInstance cell = testing::make_cell(p.type + std::string(kAsap7Suffix), m);
    for (std::size_t k = 0; k < p.pins.size(); ++k) {
      EXPECT_EQ(cell.pin[k], m.at(p.pins[k]).front()) << p.type << " slot " << k;
    }
  }
}

TEST(AndOrCells, ConnectingTheOtherSpellingOfAOneInputPinFails) {
  struct Case {
    const char* type;
    std::vector<std::string> pins;
    const char* missing;
  };
  const std::vector<Case> cases = {
      {"OA31x2", {"A1", "A2", "A3", "B", "Y"}, "B1"},
      {"OA331x2", {"A1", "A2", "A3", "B1", "B2", "B3", "C", "Y"}, "C1"},
      {"OAI311xp33", {"A1", "A2", "A3", "B1", "C", "Y"}, "C1"},
      {"OAI331xp33", {"A1", "A2", "A3", "B1", "B2", "B3", "C", "Y"}, "C1"},
      {"AOI331xp33", {"A1", "A2", "A3", "B1", "B2", "B3", "C", "Y"}, "C1"},
      {"AOI21x1", {"A1", "A2", "B1", "Y"}, "B"},
      {"AOI311xp33", {"A1", "A2", "A3", "B", "C1", "Y"}, "C"},
      {"OA211x2", {"A1", "A2", "B", "C1", "Y"}, "C"},
  };
  for (const Case& c : cases) {
    const std::string type = c.type + std::string(kAsap7Suffix);
    const CellRegistration* reg = find_cell_type(type);
    ASSERT_NE(reg, nullptr) << type;
    ConnectionMap m;
    NetId n = 2;
    for (const std::string& p : c.pins) m[p] = {n++};
    Result<CellInstance> r = reg->constructor(m, {});
    ASSERT_FALSE(r.ok()) << type;
    EXPECT_EQ(r.error().variant(), SimError::Variant::Internal);
    EXPECT_NE(r.error().display().find("`" + std::string(c.missing) + "`"), std::string::npos)
        << type << ": " << r.error().display();
  }
}

}  // namespace
}  // namespace vexolin
