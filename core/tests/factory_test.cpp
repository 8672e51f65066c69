#include "cell/factory.h"

#include <gtest/gtest.h>

#include "diagnostics.h"
#include "netlist_helpers.h"

namespace vexolin {
namespace {

std::vector<std::string> g_lines;
void capture(std::string_view line, void*) {
  g_lines.emplace_back(line);
}

struct CaptureLines {
  CaptureLines() {
    g_lines.clear();
    set_diagnostic_sink(&capture, nullptr);
  }
  ~CaptureLines() { set_diagnostic_sink(nullptr, nullptr); }
};

TEST(ParameterText, BinaryNumbersOfAtMost32Digits) {
  EXPECT_EQ(parse_parameter_text(std::string(28, '0') + "1000"), 8u);
  EXPECT_EQ(parse_parameter_text("+101"), 5u);
  EXPECT_EQ(parse_parameter_text(""), 0u);
  EXPECT_EQ(parse_parameter_text("0000" + std::string(32, '1')), 0xFFFFFFFFu);
  for (const std::string& bad : {"1" + std::string(32, '0'), std::string("-1"), std::string("+"),
                                 std::string("-"), std::string("abc"), std::string("10x")}) {
    EXPECT_FALSE(parse_parameter_text(bad).has_value()) << bad;
  }
}

TEST(ParameterText, TaggedForm) {
  EXPECT_EQ(tagged_text("a\"b\\c\n"), "S(\"a\\\"b\\\\c\\n\")");
}

const std::string kAndCell = R"("g":{"type":"$_AND_","parameters":{"P":"abc","Q":"101"},)"
                             R"("connections":{"A":[2],"B":["1"],"Y":[3]}})";
const std::string kNets = R"("a":{"bits":[2]},"y":{"bits":[3]})";

TEST(CreateCell, NoticeForUnreadableParametersIsAlwaysPrinted) {
  CaptureLines lines;
  ::unsetenv("VEXOLIN_DEBUG");
  auto d = testing::design(testing::top_module("", kAndCell, kNets), "module top\n");
  ASSERT_TRUE(d.ok()) << d.error().display();
  EXPECT_EQ(g_lines, (std::vector<std::string>{"Ignoring parameter `P=S(\"abc\")`"}));
}

TEST(CreateCell, DebugLineNamesTheNetlistType) {
  CaptureLines lines;
  ::setenv("VEXOLIN_DEBUG", "1", 1);
  const CellMapping mapping{{"MYAND", {"$_AND_", {{{"I0", "A"}, {"I1", "B"}, {"O", "Y"}}}}}};
  auto d = testing::design(
      testing::top_module("", R"("g":{"type":"MYAND","connections":{"I0":[2],"I1":["1"],"O":[3]}})",
                          kNets),
      "module top\n", std::nullopt, &mapping);
  ::unsetenv("VEXOLIN_DEBUG");
  ASSERT_TRUE(d.ok()) << d.error().display();
  ASSERT_FALSE(g_lines.empty());
  EXPECT_EQ(g_lines[0], "Parsing cell `MYAND`");
  EXPECT_EQ(g_lines[1], "Parsing connections: {");
  EXPECT_EQ(g_lines[2], "    \"A\": [");  // pins renamed and ordered by their new names
  // The mapped cell is a real AND gate fed by the constant 1.
  d->store().set(2, 1);
  ASSERT_TRUE(d->settle().ok());
  EXPECT_EQ(d->store().get(3), 1);
}

TEST(CreateCell, Failures) {
  struct Case {
    std::string cells;
    std::string error;
    const CellMapping* mapping = nullptr;
  };
  const CellMapping to_unknown{{"$_AND_", {"$_NOPE_", std::nullopt}}};
  const CellMapping partial_pins{{"$_AND_", {"$_AND_", {{{"A", "A"}, {"B", "B"}}}}}};
  const Case cases[] = {
      {R"("g":{"type":"$_FOO_","connections":{}})", "Unsupported cell `$_FOO_`"},
      {kAndCell, "Unsupported cell `$_NOPE_`", &to_unknown},
      {R"("g":{"type":"$_AND_","connections":{"A":["x"],"B":[2],"Y":[3]}})",
       "Direction `X` not supported"},
      {R"("g":{"type":"$_AND_","connections":{"A":[2],"B":[77],"Y":[3]}})",
       "Net `77` doesn't exist"},
      {R"("g":{"type":"$_AND_","connections":{"A":[2],"Y":[3]}})",
       "Cell `g` of type `$_AND_`: pin `B` is not connected"},
      {kAndCell,
       "Cell `g` of type `$_AND_`: pin `Y` has no entry in the pin map of the cell mapping",
       &partial_pins},
  };
  for (const Case& c : cases) {
    CaptureLines lines;
    auto d = testing::design(testing::top_module("", c.cells, kNets), "module top\n", std::nullopt,
                             c.mapping);
    ASSERT_FALSE(d.ok()) << c.cells;
    EXPECT_EQ(d.error().display(), c.error);
  }
}

TEST(CreateCell, FirstFailingCellEndsConstruction) {
  CaptureLines lines;
  auto d = testing::design(
      testing::top_module("",
                          R"("a":{"type":"$_BUF_","connections":{"A":[2],"Y":[3]}},)"
                          R"("b":{"type":"$_BAD1_","connections":{}},)"
                          R"("c":{"type":"$_BAD2_","connections":{}})",
                          kNets),
      "module top\n");
  ASSERT_FALSE(d.ok());
  EXPECT_EQ(d.error().display(), "Unsupported cell `$_BAD1_`");
}

}  // namespace
}  // namespace vexolin

namespace vexolin {
namespace {

TEST(CreateCell, WideResetValueOfAnAdffeIsReadWhole) {
  CaptureLines lines;
  std::string q, d;
  for (int i = 0; i < 64; ++i) {
    q += (i ? "," : "") + std::to_string(10 + i);
    d += (i ? "," : "") + std::to_string(80 + i);
  }
  const std::string cells =
      R"("r":{"type":"$adffe","parameters":{"ARST_VALUE":")" + std::string(64, '1') +
      R"(","WIDTH":64,"CLK_POLARITY":1,"EN_POLARITY":1,"ARST_POLARITY":1,"OTHER":")" + "1" +
      std::string(40, '0') + R"("},"connections":{"CLK":[2],"ARST":[3],"EN":[4],"D":[)" + d +
      R"(],"Q":[)" + q + "]}}";
  const std::string nets = R"("clk":{"bits":[2]},"arst":{"bits":[3]},"en":{"bits":[4]},)"
                           R"("q":{"bits":[)" +
                           q + R"(]},"d":{"bits":[)" + d + "]}";
  auto design = testing::design(testing::top_module("", cells, nets), "module top\n");
  ASSERT_TRUE(design.ok()) << design.error().display();
  // The long reset value is no loss; another parameter of the same length still is.
  EXPECT_EQ(g_lines, (std::vector<std::string>{"Ignoring parameter `OTHER=S(\"1" +
                                               std::string(40, '0') + "\")`"}));
  design->store().set(3, 1);
  ASSERT_TRUE(design->settle().ok());
  for (NetId n = 10; n < 74; ++n) EXPECT_EQ(design->store().get(n), 1) << n;
}

}  // namespace
}  // namespace vexolin
