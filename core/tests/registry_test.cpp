#include <gtest/gtest.h>

#include <sstream>

#include "cell_helpers.h"
#include "diagnostics.h"

namespace vexolin {
namespace {

TEST(Registry, ExactNamesOnly) {
  EXPECT_NE(find_cell_type("$_AND_"), nullptr);
  EXPECT_EQ(find_cell_type("$_and_"), nullptr);
  EXPECT_EQ(find_cell_type("$_AND"), nullptr);
  EXPECT_EQ(find_cell_type(""), nullptr);
}

TEST(Registry, EveryNameIsUniqueAndMapsToItsRegistration) {
  std::size_t names = 0;
  for (const CellRegistration* r = registration_list(); r != nullptr; r = r->next) {
    for (std::string_view n : r->type_names) {
      ++names;
      EXPECT_EQ(find_cell_type(n), r) << n;
    }
  }
  EXPECT_EQ(cell_registry().size(), names);
}

TEST(Registry, MissingPinIsAnInternalFailureNamingThePin) {
  const CellRegistration* reg = find_cell_type("$_AND_");
  ASSERT_NE(reg, nullptr);
  Result<CellInstance> r = reg->constructor({{"A", {2}}, {"Y", {4}}}, {});
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().variant(), SimError::Variant::Internal);
  EXPECT_NE(r.error().display().find("`B`"), std::string::npos);

  Result<CellInstance> empty = reg->constructor({{"A", {2}}, {"B", {}}, {"Y", {4}}}, {});
  ASSERT_FALSE(empty.ok());
  EXPECT_NE(empty.error().display().find("`B`"), std::string::npos);
}

TEST(Registry, SingleBitPinTakesFirstNetAndExtraPinsAreIgnored) {
  testing::Bench b(6);
  b.add("$_BUF_", {{"A", {2, 3, 4}}, {"Y", {5}}, {"EXTRA", {3}}});
  b.store.set(2, 1);
  b.settle();
  EXPECT_EQ(b.store.get(5), 1);
}

std::vector<std::string> g_lines;
void capture(std::string_view line, void*) {
  g_lines.emplace_back(line);
}

TEST(Registry, DebugBlockListsPinsInNameOrder) {
  g_lines.clear();
  set_diagnostic_sink(&capture, nullptr);
  ::setenv("VEXOLIN_DEBUG", "", 1);
  testing::make_cell("$_AND_", {{"Y", {4}}, {"B", {3}}, {"A", {2}}});
  debug_connections({});
  debug_connections({{"A", {2, 3}}, {"E", {}}});
  ::unsetenv("VEXOLIN_DEBUG");
  testing::make_cell("$_AND_", {{"Y", {4}}, {"B", {3}}, {"A", {2}}});
  set_diagnostic_sink(nullptr, nullptr);
  const std::vector<std::string> expected = {"Parsing connections: {",
                                             "    \"A\": [",
                                             "        2,",
                                             "    ],",
                                             "    \"B\": [",
                                             "        3,",
                                             "    ],",
                                             "    \"Y\": [",
                                             "        4,",
                                             "    ],",
                                             "}",
                                             "Parsing connections: {}",
                                             "Parsing connections: {",
                                             "    \"A\": [",
                                             "        2,",
                                             "        3,",
                                             "    ],",
                                             "    \"E\": [],",
                                             "}"};
  EXPECT_EQ(g_lines, expected);
}

TEST(Registry, DebugValueMustBeUtf8) {
  ::setenv("VEXOLIN_DEBUG", "\xff", 1);
  EXPECT_FALSE(debug_enabled());
  ::setenv("VEXOLIN_DEBUG", "yes", 1);
  EXPECT_TRUE(debug_enabled());
  ::unsetenv("VEXOLIN_DEBUG");
  EXPECT_FALSE(debug_enabled());
}

}  // namespace
}  // namespace vexolin

namespace vexolin {
namespace {

TEST(Registry, TheWholeLibrary) {
  std::size_t registrations = 0;
  for (const CellRegistration* r = registration_list(); r != nullptr; r = r->next) ++registrations;
  EXPECT_EQ(registrations, 126u);
  EXPECT_EQ(kind_count(), 126u);
  EXPECT_EQ(cell_registry().size(), 219u);
  // Two names of one kind build the same kind.
  EXPECT_EQ(find_cell_type("$reduce_or")->kind, find_cell_type("$reduce_bool")->kind);
  EXPECT_EQ(find_cell_type("DFFHQNx1_ASAP7_75t_R")->kind,
            find_cell_type("DFFHQNx3_ASAP7_75t_R")->kind);
}

}  // namespace
}  // namespace vexolin
