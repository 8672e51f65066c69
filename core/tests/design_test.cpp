#include "design.h"

#include <gtest/gtest.h>

#include "netlist_helpers.h"

namespace vexolin {
namespace {

// a (net 2) -> NOT -> y (net 3); an 8-bit input bus on nets 4..11.
const std::string kPorts = R"("a":{"direction":"input","bits":[2]},)"
                           R"("y":{"direction":"output","bits":[3]},)"
                           R"("bus":{"direction":"input","bits":[4,5,6,7,8,9,10,11]})";
const std::string kCells = R"("u0":{"type":"$_NOT_","connections":{"A":[2],"Y":[3]}})";
const std::string kNets = R"("a":{"bits":[2]},"y":{"bits":[3]},"bus":{"bits":[4,5,6,7,8,9,10,11]})";

Design make() {
  auto d = testing::design(testing::top_module(kPorts, kCells, kNets), "module top\n cell u0\n");
  EXPECT_TRUE(d.ok()) << (d.ok() ? "" : d.error().display());
  return std::move(d).value();
}

TEST(Design, StoreSizedByNamedNets) {
  Design d = make();
  EXPECT_EQ(d.store().net_count(), 12u);
  EXPECT_EQ(d.store().get(1), 1);
  EXPECT_FALSE(d.store().dirty());
  EXPECT_EQ(d.cells().size(), 1u);
}

TEST(Design, PortTableAndShapes) {
  Design d = make();
  auto names = d.port_names();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a", "bus", "y"}));
  EXPECT_EQ(*d.port_shape("bus"), (PortShape{1, 8}));
  EXPECT_EQ(*d.is_port_input("a"), true);
  EXPECT_EQ(*d.is_port_input("y"), false);
  EXPECT_EQ(d.is_port_input("nope").error().display(), "Port `nope` doesn't exist");
  for (PortShape ok : {PortShape{8, 1}, PortShape{2, 4}, PortShape{4, 2}}) {
    EXPECT_TRUE(d.set_port_shape("bus", ok).ok());
  }
  Status bad = d.set_port_shape("bus", {3, 2});
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().display(), "incompatible shapes: requested=[3, 2], actual=[4, 2]");
  EXPECT_EQ(*d.port_shape("bus"), (PortShape{4, 2}));
}

TEST(Design, PortWritesAndReads) {
  Design d = make();
  ASSERT_TRUE(d.drive_port("bus", {1, 0, 1}).ok());
  EXPECT_EQ(d.store().get(4), 1);
  EXPECT_EQ(d.store().get(6), 1);
  EXPECT_TRUE(d.store().dirty());
  ASSERT_TRUE(d.settle().ok());
  auto y = d.port_values("y");
  ASSERT_TRUE(y.ok());
  EXPECT_EQ(y->first, BitVec{1});
  EXPECT_EQ(d.port_values("zz").error().display(), "Port `zz` doesn't exist");
}

TEST(Design, InoutTopPortIsRefused) {
  auto d = testing::design(
      testing::top_module(R"("io":{"direction":"inout","bits":[2]})", "", R"("io":{"bits":[2]})"),
      "module top\n");
  ASSERT_FALSE(d.ok());
  EXPECT_EQ(d.error().display(), "Direction `inout` not supported");
}

TEST(Design, ClockAndResetBinding) {
  Design d = make();
  EXPECT_EQ(d.set_clock(12, 1).error().display(), "Net `12` doesn't exist");
  ASSERT_TRUE(d.set_reset(5, 1).ok());
  EXPECT_EQ(d.set_clock(5, 1).error().display(),
            "Signal cannot be configured as both a reset and clock");
  ASSERT_TRUE(d.set_clock(2, 1).ok());
  ASSERT_TRUE(d.set_clock(6, 0).ok());
  EXPECT_EQ(d.clock()->net, 6u);
  EXPECT_EQ(d.clock()->polarity, 0);
  EXPECT_EQ(d.set_reset(6, 1).error().display(),
            "Signal cannot be configured as both a reset and clock");
}

TEST(Design, NoPortsNoCells) {
  auto d = testing::design(testing::top_module("", "", ""), "module top\n");
  ASSERT_TRUE(d.ok());
  EXPECT_TRUE(d->port_names().empty());
  EXPECT_EQ(*d->settle(), 1u);
}

TEST(Design, EmptySeparatorIsRefused) {
  auto d = testing::design(testing::top_module("", "", ""), "module top\n", std::string());
  ASSERT_FALSE(d.ok());
}

}  // namespace
}  // namespace vexolin
