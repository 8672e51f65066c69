#include "netlist_wrapper/graph.h"

#include <gtest/gtest.h>

#include "netlist_helpers.h"

namespace vexolin {
namespace {

std::string edge_text(const GraphEdge& e) {
  return std::to_string(e.driver) + "->" + std::to_string(e.user) + " net " +
         std::to_string(e.net) + " " + e.driver_pin.value_or("-") + "/" + e.user_pin.value_or("-");
}

std::vector<std::string> edges_of(const NetlistGraph& g) {
  std::vector<std::string> out;
  for (const GraphEdge& e : g.edges) out.push_back(edge_text(e));
  return out;
}

TEST(Graph, InverterBetweenPorts) {
  auto w = testing::wrap(
      testing::top_module(
          R"("a":{"direction":"input","bits":[2]},"y":{"direction":"output","bits":[3]})",
          R"("u0":{"type":"$_NOT_","attributes":{"src":"a.v:3.1-3.9"},)"
          R"("port_directions":{"A":"input","Y":"output"},"connections":{"A":[2],"Y":[3]}},)"
          R"("u1":{"type":"$_NOT_","attributes":{"src":"0101"},"connections":{"A":[2],"Y":[5]}})",
          R"("a":{"bits":[2]},"y":{"bits":[3]},"n":{"bits":[5]})"),
      "module top\n cell u0\n");
  ASSERT_TRUE(w.ok());
  auto g = build_graph(w.value());
  ASSERT_TRUE(g.ok());
  ASSERT_EQ(g->nodes.size(), 4u);
  EXPECT_EQ(g->nodes[0].rtlid, "$input");
  EXPECT_EQ(g->nodes[1].rtlid, "$output");
  EXPECT_FALSE(g->nodes[1].cell_type.has_value());
  EXPECT_EQ(g->nodes[2].rtlid, "u0");
  EXPECT_EQ(g->nodes[2].cell_type, "$_NOT_");
  EXPECT_EQ(g->nodes[2].src, "a.v:3.1-3.9");
  EXPECT_FALSE(g->nodes[3].src.has_value());  // a bit-string "src" is no text
  // u1 has no port directions, so it has no edge.
  EXPECT_EQ(edges_of(*g), (std::vector<std::string>{"0->2 net 2 -/A", "2->1 net 3 Y/-"}));
}

TEST(Graph, PinsByMembershipAndSelfLoops) {
  // c0 drives net 4 and reads it back; c1 reads nets 4 and 5 through two pins, so the last
  // connection holding the net names it. Constants and undriven nets give no edges.
  auto w = testing::wrap(
      testing::top_module(
          R"("a":{"direction":"input","bits":[2]})",
          R"("c0":{"type":"$_AND_","port_directions":{"A":"input","B":"input","Y":"output"},)"
          R"("connections":{"A":[2],"B":[4],"Y":[4]}},)"
          R"("c1":{"type":"$_AND_","port_directions":{"A":"input","B":"input","Y":"output"},)"
          R"("connections":{"A":[4],"B":[4],"Y":[6]}},)"
          R"("c2":{"type":"$_AND_","port_directions":{"A":"input","B":"input","Y":"output"},)"
          R"("connections":{"A":["1"],"B":[9],"Y":[7]}})",
          R"("a":{"bits":[2]})"),
      "module top\n");
  ASSERT_TRUE(w.ok());
  auto g = build_graph(w.value());
  ASSERT_TRUE(g.ok());
  EXPECT_EQ(edges_of(*g),
            (std::vector<std::string>{"0->2 net 2 -/A", "2->2 net 4 Y/Y", "2->3 net 4 Y/B"}));
}

TEST(Graph, Failures) {
  auto inout =
      testing::wrap(testing::top_module("",
                                        R"("c":{"type":"$_BUF_","port_directions":{"A":"inout"},)"
                                        R"("connections":{"A":[2]}})",
                                        ""),
                    "module top\n");
  ASSERT_TRUE(inout.ok());
  EXPECT_EQ(build_graph(inout.value()).error().display(), "Direction `inout` not supported");
  auto x = testing::wrap(testing::top_module(R"("a":{"direction":"input","bits":["x"]})", "", ""),
                         "module top\n");
  ASSERT_TRUE(x.ok());
  EXPECT_EQ(build_graph(x.value()).error().display(), "Direction `X` not supported");
}

}  // namespace
}  // namespace vexolin
