#include "netlist_wrapper/graph.h"

#include <algorithm>
#include <unordered_map>

namespace vexolin {

namespace {

constexpr std::size_t kInput = 0;
constexpr std::size_t kOutput = 1;

struct NetNode {
  NetId net;
  std::size_t node;
  friend bool operator<(const NetNode& a, const NetNode& b) {
    return a.net != b.net ? a.net < b.net : a.node < b.node;
  }
  friend bool operator==(const NetNode&, const NetNode&) = default;
};

/// Per cell node, the pin that names each of its nets: the last connection containing it.
class PinIndex {
 public:
  void add_cell(std::size_t node, const Cell& cell, const NetlistWrapper& wrapper) {
    if (starts_.size() <= node) starts_.resize(node + 1, entries_.size());
    const std::size_t begin = entries_.size();
    std::size_t order = 0;
    for (const auto& [pin, bits] : cell.connections) {
      Result<std::vector<NetId>> nets = wrapper.bits_to_nets(bits);
      // A connection that does not convert contains no net an edge could carry.
      if (!nets) continue;
      for (NetId n : *nets) entries_.push_back({n, order++, &pin});
    }
    std::sort(entries_.begin() + static_cast<std::ptrdiff_t>(begin), entries_.end(),
              [](const Entry& a, const Entry& b) {
                return a.net != b.net ? a.net < b.net : a.order > b.order;
              });
    starts_.push_back(entries_.size());
  }

  /// The pin of `node` whose list holds `net` last, or null.
  const std::string* pin(std::size_t node, NetId net) const {
    const auto first = entries_.begin() + static_cast<std::ptrdiff_t>(starts_[node]);
    const auto last = entries_.begin() + static_cast<std::ptrdiff_t>(starts_[node + 1]);
    const auto it =
        std::lower_bound(first, last, net, [](const Entry& e, NetId n) { return e.net < n; });
    return it != last && it->net == net ? it->pin : nullptr;
  }

 private:
  struct Entry {
    NetId net;
    std::size_t order;
    const std::string* pin;
  };
  std::vector<Entry> entries_;
  std::vector<std::size_t> starts_;  // node to its first entry; one past the last node at the end
};

}  // namespace

Result<NetlistGraph> build_graph(const NetlistWrapper& wrapper) {
  const Module& top = wrapper.top_module();
  NetlistGraph graph;
  std::vector<NetNode> drivers, users;

  for (const auto& [name, port] : top.ports) {
    Result<std::vector<NetId>> nets = wrapper.bits_to_nets(port.bits);
    if (!nets) return std::move(nets).error();
    for (NetId n : *nets) {
      if (port.direction == PortDirection::Input) drivers.push_back({n, kInput});
      if (port.direction == PortDirection::Output) users.push_back({n, kOutput});
    }
  }

  const std::vector<RtlId>& ids = wrapper.cells();
  graph.nodes.reserve(ids.size() + 2);
  graph.nodes.push_back({"$input", std::nullopt, std::nullopt});
  graph.nodes.push_back({"$output", std::nullopt, std::nullopt});

  // Equal identifiers denote one node: the first of them.
  std::unordered_map<RtlId, std::size_t, RtlIdHash> node_of;
  node_of.reserve(ids.size());
  PinIndex pins;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::size_t node = node_of.emplace(ids[i], i + 2).first->second;
    const Cell* cell = wrapper.find_cell(ids[i]);
    GraphNode entry{ids[i].text(), cell->type, std::nullopt};
    if (const AttributeVal* src = cell->attributes.find("src")) {
      if (const auto text = as_str(*src)) entry.src = std::string(*text);
    }
    graph.nodes.push_back(std::move(entry));
    pins.add_cell(i + 2, *cell, wrapper);

    for (const auto& [pin, bits] : cell->connections) {
      const PortDirection* dir = cell->port_directions.find(pin);
      if (!dir) continue;
      if (*dir == PortDirection::Inout) return SimError::port(PortError::direction("inout"));
      Result<std::vector<NetId>> nets = wrapper.bits_to_nets(bits);
      if (!nets) return std::move(nets).error();
      auto& side = *dir == PortDirection::Input ? users : drivers;
      for (NetId n : *nets) side.push_back({n, node});
    }
  }

  for (auto* side : {&drivers, &users}) {
    std::sort(side->begin(), side->end());
    side->erase(std::unique(side->begin(), side->end()), side->end());
  }

  std::size_t d = 0;
  for (std::size_t u = 0; u < users.size();) {
    const NetId net = users[u].net;
    std::size_t u_end = u;
    while (u_end < users.size() && users[u_end].net == net) ++u_end;
    while (d < drivers.size() && drivers[d].net < net) ++d;
    for (std::size_t k = d; k < drivers.size() && drivers[k].net == net; ++k) {
      for (std::size_t j = u; j < u_end; ++j) {
        GraphEdge edge{drivers[k].node, users[j].node, net, std::nullopt, std::nullopt};
        if (edge.driver >= 2) {
          if (const std::string* p = pins.pin(edge.driver, net)) edge.driver_pin = *p;
        }
        if (edge.user >= 2) {
          if (const std::string* p = pins.pin(edge.user, net)) edge.user_pin = *p;
        }
        graph.edges.push_back(std::move(edge));
      }
    }
    u = u_end;
  }
  return graph;
}

}  // namespace vexolin
