#include "sim_error.h"

#include <gtest/gtest.h>

namespace vexolin {
namespace {

struct ErrorCase {
  SimError error;
  const char* display;
  const char* debug;
};

TEST(SimError, DisplayAndDebugTexts) {
  const ErrorCase cases[] = {
      {SimError::top_module(), "Missing top module", "TopModule"},
      {SimError::missing_cell("u1"), "Cell `u1` doesn't exist", "MissingCell(\"u1\")"},
      {SimError::missing_module(), "No modules given", "MissingModule"},
      {SimError::topo_order("top"), "Module `top` missing from topological order",
       "TopoOrder(\"top\")"},
      {SimError::cell(CellError::unsupported("$foo")), "Unsupported cell `$foo`",
       "Cell(Unsupported(\"$foo\"))"},
      {SimError::port(PortError::direction("X")), "Direction `X` not supported",
       "Port(Direction(\"X\"))"},
      {SimError::port(PortError::shape({1, 8}, {2, 4})),
       "incompatible shapes: requested=[1, 8], actual=[2, 4]",
       "Port(Shape { requested: [1, 8], actual: [2, 4] })"},
      {SimError::missing_reset(), "No reset configured", "MissingReset"},
      {SimError::missing_clock(), "No clock configured", "MissingClock"},
      {SimError::missing_net(12), "Net `12` doesn't exist", "MissingNet(12)"},
      {SimError::missing_port("din"), "Port `din` doesn't exist", "MissingPort(\"din\")"},
      {SimError::netlist("missing field `type` at line 3 column 7"),
       "missing field `type` at line 3 column 7",
       "Netlist(\"missing field `type` at line 3 column 7\")"},
      {SimError::double_assign(), "Signal cannot be configured as both a reset and clock",
       "DoubleAssign"},
      {SimError::bit(BitError::from_int(2)), "Couldn't convert `2` to a Bit, must be 0 or 1",
       "BitConversion(Int(\"2\"))"},
      {SimError::toggle_category("Total"), "Invalid toggle category `Total`",
       "ToggleCategory(\"Total\")"},
      {SimError::no_settle(40), "Design did not settle within 40 passes", "NoSettle(40)"},
  };
  for (const ErrorCase& c : cases) {
    EXPECT_EQ(c.error.display(), c.display);
    EXPECT_EQ(c.error.debug(), c.debug);
  }
}

}  // namespace
}  // namespace vexolin
