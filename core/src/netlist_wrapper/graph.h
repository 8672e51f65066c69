// The cell-and-net graph of a design: drivers to users along every net.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "netlist_wrapper/wrapper.h"
#include "result.h"

namespace vexolin {

/// Node 0 is "$input", node 1 "$output", node i + 2 the cell at position i of the evaluation
/// order.
struct GraphNode {
  std::string rtlid;
  std::optional<std::string> cell_type;  ///< the netlist type, for cell nodes
  std::optional<std::string> src;        ///< the text of the "src" attribute, if any
};

/// One (net, driver, user) triple.
struct GraphEdge {
  std::size_t driver = 0;
  std::size_t user = 0;
  NetId net = 0;
  std::optional<std::string> driver_pin;  ///< absent when the driver is "$input"
  std::optional<std::string> user_pin;    ///< absent when the user is "$output"
};

struct NetlistGraph {
  std::vector<GraphNode> nodes;
  std::vector<GraphEdge> edges;  ///< by ascending net
};

/// Builds the graph from the top module's ports and the cells' directed connections.
Result<NetlistGraph> build_graph(const NetlistWrapper& wrapper);

}  // namespace vexolin
