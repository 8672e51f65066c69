#include "netlist_wrapper/wrapper.h"

#include <gtest/gtest.h>

#include "netlist_helpers.h"

namespace vexolin {
namespace {

using testing::wrap;

std::vector<std::string> texts(const std::vector<RtlId>& ids) {
  std::vector<std::string> out;
  for (const RtlId& id : ids) out.push_back(id.text());
  return out;
}

std::string module_with_top(const std::string& name, const std::string& top_value) {
  return "\"" + name + R"(":{"attributes":{"top":)" + top_value + "}}";
}

TEST(Wrapper, TopModuleChoice) {
  struct Case {
    std::string modules;
    std::optional<std::string> given;
    std::string expect;  // top name, or the error text
  };
  const std::string zeros31_one = "\"" + std::string(31, '0') + "1\"";
  const Case cases[] = {
      {module_with_top("a", "1") + "," + module_with_top("b", "1"), {}, "a"},
      {module_with_top("a", "0") + "," + module_with_top("b", zeros31_one), {}, "b"},
      {module_with_top("a", "\"+1\""), {}, "a"},
      {module_with_top("a", "\"1 \""), {}, "Missing top module"},
      {module_with_top("a", "\"10\""), {}, "Missing top module"},
      {module_with_top("a", "2"), {}, "Missing top module"},
      {module_with_top("a", "1") + "," + module_with_top("b", "0"), "b", "b"},
      {module_with_top("a", "1"), "nothere", "No modules given"},
  };
  for (const Case& c : cases) {
    auto w =
        wrap("{\"modules\":{" + c.modules + "}}", "module a\nmodule b\n", std::nullopt, c.given);
    EXPECT_EQ(w.ok() ? w->top() : w.error().display(), c.expect) << c.modules;
  }
}

TEST(Wrapper, TopModuleNeedsAnOrderList) {
  auto w = wrap(R"({"modules":{"top":{"attributes":{"top":1}}}})", "module other\n");
  ASSERT_FALSE(w.ok());
  EXPECT_EQ(w.error().display(), "Module `top` missing from topological order");
  EXPECT_FALSE(wrap("{}", "").ok());
}

const std::string kFourCells = testing::top_module(
    "",
    R"("p":{"type":"$_BUF_","connections":{}},"q":{"type":"$_BUF_","connections":{}},)"
    R"("r":{"type":"$_BUF_","connections":{}},"s":{"type":"$_BUF_","connections":{}})",
    "");

TEST(Wrapper, EvaluationOrderFromTheOrderList) {
  auto w = wrap(kFourCells, "module top\n  cell r\n  cell p\n  cell r\n  cell q\n  cell nope\n");
  ASSERT_TRUE(w.ok());
  EXPECT_EQ(texts(w->cells()), (std::vector<std::string>{"r", "p", "q", "s"}));
  // The rewritten module keeps its cells in that order.
  std::vector<std::string> keys;
  for (const auto& [k, v] : w->top_module().cells) keys.push_back(k);
  EXPECT_EQ(keys, (std::vector<std::string>{"r", "p", "q", "s"}));

  auto unlisted = wrap(kFourCells, "module top\n");
  ASSERT_TRUE(unlisted.ok());
  EXPECT_EQ(texts(unlisted->cells()), (std::vector<std::string>{"p", "q", "r", "s"}));
}

TEST(Wrapper, BackslashedOrderNamesStandForTheirCells) {
  const std::string json = testing::top_module(
      "",
      R"("a":{"type":"$_BUF_","connections":{}},"b":{"type":"$_BUF_","connections":{}},)"
      R"("\\c":{"type":"$_BUF_","connections":{}},"c":{"type":"$_BUF_","connections":{}})",
      "");
  // "\b" names no cell, so it stands for b; "\c" names a cell as it is and keeps matching it.
  auto w = wrap(json, "module top\n cell \\c\n cell \\b\n cell a\n");
  ASSERT_TRUE(w.ok());
  EXPECT_EQ(texts(w->cells()), (std::vector<std::string>{"\\c", "b", "a", "c"}));
}

TEST(Wrapper, CellNamesAndScopes) {
  const std::string json = testing::top_module(
      "",
      R"("$flatten\\u1.$and$x.v:3$2":{"type":"$_AND_","attributes":{"scopename":"u1"},"connections":{}},)"
      R"("u2.c":{"type":"$_BUF_","connections":{}},)"
      R"("plain":{"type":"$_BUF_","connections":{}},)"
      R"("my cell":{"type":"$_BUF_","connections":{}},)"
      R"("si1":{"type":"$scopeinfo","attributes":{"hdlname":"top u1"},"connections":{}},)"
      R"("si2":{"type":"$scopeinfo","connections":{}})",
      "");
  auto plain = wrap(json, "module top\n");
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(texts(plain->cells()),
            (std::vector<std::string>{"u1.$and$x.v:3$2", "u2.c", "plain", "mycell"}));
  EXPECT_EQ(plain->cells()[0].scope, (ScopePath{"u1"}));
  EXPECT_TRUE(plain->cells()[1].scope.empty());
  EXPECT_EQ(plain->scopes(), (std::set<ScopePath>{{"top", "u1"}, {"si2"}}));
  EXPECT_EQ(plain->top_module().cells.size(), 4u);  // "$scopeinfo" cells are gone
  EXPECT_NE(plain->find_cell(plain->cells()[1]), nullptr);

  auto split = wrap(json, "module top\n", ".");
  ASSERT_TRUE(split.ok());
  EXPECT_EQ(split->cells()[1].scope, (ScopePath{"u2"}));
  EXPECT_EQ(split->cells()[1].name, "c");
  // A name without the separator adds the empty path.
  EXPECT_TRUE(split->scopes().contains(ScopePath{}));
  EXPECT_TRUE(split->scopes().contains(ScopePath{"u2"}));
}

TEST(Wrapper, CellsWhoseTextsCoincideShareTheLaterRecord) {
  const std::string json = testing::top_module(
      "", R"("a b":{"type":"$_BUF_","connections":{}},"ab":{"type":"$_NOT_","connections":{}})",
      "");
  auto w = wrap(json, "module top\n");
  ASSERT_TRUE(w.ok());
  ASSERT_EQ(w->cells().size(), 2u);
  EXPECT_EQ(w->find_cell(w->cells()[0])->type, "$_NOT_");
  EXPECT_EQ(w->top_module().cells.size(), 1u);
}

TEST(Wrapper, NetNamesAndCount) {
  const std::string json =
      testing::top_module("", "",
                          R"("$flatten\\u1.sum":{"bits":[4,5],"attributes":{"scopename":"u1"}},)"
                          R"("deep":{"bits":[6],"attributes":{"hdlname":"a b leaf"}},)"
                          R"("k":{"bits":["0","1",9]})");
  auto w = wrap(json, "module top\n");
  ASSERT_TRUE(w.ok());
  ASSERT_NE(w->nets_of("u1.sum"), nullptr);
  EXPECT_EQ(*w->nets_of("u1.sum"), (std::vector<NetId>{4, 5}));
  EXPECT_EQ(*w->nets_of("a.b.leaf"), (std::vector<NetId>{6}));
  EXPECT_EQ(*w->nets_of("k"), (std::vector<NetId>{0, 1, 9}));
  EXPECT_EQ(w->net_count(), 10u);
  EXPECT_TRUE(w->scopes().contains(ScopePath{"a", "b"}));
  EXPECT_TRUE(w->scopes().contains(ScopePath{"u1"}));
}

TEST(Wrapper, BitConversionRefusesUnknownLevelsAndHugeNumbers) {
  auto x = wrap(testing::top_module("", "", R"("n":{"bits":[2,"x"]})"), "module top\n");
  ASSERT_FALSE(x.ok());
  EXPECT_EQ(x.error().display(), "Direction `X` not supported");
  auto z = wrap(testing::top_module("", "", R"("n":{"bits":["z"]})"), "module top\n");
  ASSERT_FALSE(z.ok());
  EXPECT_EQ(z.error().display(), "Direction `Z` not supported");
  // One huge id would make the store allocate gigabytes: refused before anything is allocated.
  auto huge = wrap(testing::top_module("", "", R"("n":{"bits":[4294967295]})"), "module top\n");
  ASSERT_FALSE(huge.ok());
  EXPECT_EQ(huge.error().variant(), SimError::Variant::Limit);
  EXPECT_NE(huge.error().display().find("4294967295"), std::string::npos);
}

TEST(Wrapper, AModuleWithoutNetsStillHasTheConstants) {
  auto w = wrap(testing::top_module("", "", ""), "module top\n");
  ASSERT_TRUE(w.ok());
  EXPECT_EQ(w->net_count(), 2u);
}

}  // namespace
}  // namespace vexolin
