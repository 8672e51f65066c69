#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "netlist_wrapper/torder.h"

namespace vexolin {
namespace {

using Names = std::vector<std::string_view>;

Names list_of(const Torder& t, std::string_view module) {
  const Names* list = t.find(module);
  EXPECT_NE(list, nullptr) << "no module " << module;
  return list ? *list : Names{};
}

TEST(Torder, ReadsModuleAndIndentedCellLines) {
  const Torder t = Torder::parse("module top\n  cell $and$a.v:3$1\n  cell u1\n");
  EXPECT_EQ(t.size(), 1u);
  EXPECT_EQ(list_of(t, "top"), (Names{"$and$a.v:3$1", "u1"}));
}

TEST(Torder, ModuleNameDropsEverythingUpToTheFirstDollar) {
  const struct {
    std::string_view line, name;
  } cases[] = {
      {"module $paramod$abc", "paramod$abc"},
      {"module a$b$c", "b$c"},
      {"module plain", "plain"},
      {"module $", ""},
      {"module  top", " top"},  // the second blank belongs to the name
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const Torder t = Torder::parse(std::string(c.line) + "\ncell x\n");
    EXPECT_EQ(t.size(), 1u);
    EXPECT_EQ(list_of(t, c.name), Names{"x"});
  }
}

TEST(Torder, OnlyExactKeywordsWithABlankStartALine) {
  const Torder t = Torder::parse(
      "cell early\n"
      "module\n"
      "Module Big\n"
      "modules x\n"
      "module m\n"
      "cell\n"
      "cells y\n"
      "Cell z\n"
      "-- log line mentioning cell w\n"
      "\n"
      "cell kept\n");
  EXPECT_EQ(t.size(), 1u);
  EXPECT_EQ(list_of(t, "m"), Names{"kept"});
}

TEST(Torder, ModuleListedAgainStartsItsListAfresh) {
  const Torder t = Torder::parse(
      "module a\ncell a1\ncell a2\n"
      "module b\ncell b1\n"
      "module a\ncell a3\ncell a3\n");
  EXPECT_EQ(t.size(), 2u);
  EXPECT_EQ(list_of(t, "a"), (Names{"a3", "a3"}));
  EXPECT_EQ(list_of(t, "b"), Names{"b1"});
}

TEST(Torder, WhiteSpaceAroundLinesIsTrimmed) {
  // CRLF line ends, tabs, trailing blanks, no-break and ideographic spaces, and a last line
  // without a line feed.
  const Torder t = Torder::parse(
      "module top \r\n"
      "\t cell u0\t \r\n"
      "\xC2\xA0"
      "cell two words\xE3\x80\x80\r\n"
      "\xE2\x80\x83"
      "cell \xC3\xA9t\xC3\xA9\xE2\x80\xA8\n"
      "    cell last");
  EXPECT_EQ(list_of(t, "top"), (Names{"u0", "two words", "\xC3\xA9t\xC3\xA9", "last"}));
}

TEST(Torder, EmptyTextGivesEmptyTable) {
  const Torder t = Torder::parse("");
  EXPECT_EQ(t.size(), 0u);
  EXPECT_EQ(t.find("top"), nullptr);
}

TEST(Torder, NamesSurviveMovingTheTable) {
  // Short text sits inside the string object itself, so views must point at stable storage.
  Torder t = Torder::parse("module m\ncell c\n");
  const Torder moved = std::move(t);
  EXPECT_EQ(list_of(moved, "m"), Names{"c"});
}

class TorderFile : public testing::Test {
 protected:
  std::string write(const std::string& name, const std::string& bytes) {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
};

TEST_F(TorderFile, ReadsFile) {
  auto t = read_torder(write("order_ok.txt", "module top\n  cell a\n"));
  ASSERT_TRUE(t.ok()) << t.error().display();
  EXPECT_EQ(list_of(t.value(), "top"), Names{"a"});
}

TEST_F(TorderFile, RefusesInvalidUtf8AndMissingFiles) {
  auto bad = read_torder(write("order_bad.txt", "module top\n  cell \xff\n"));
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().variant(), SimError::Variant::Io);
  EXPECT_EQ(bad.error().display(), "stream did not contain valid UTF-8");

  auto missing = read_torder(testing::TempDir() + "no_such_order.txt");
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.error().display(), "No such file or directory");
}

}  // namespace
}  // namespace vexolin
