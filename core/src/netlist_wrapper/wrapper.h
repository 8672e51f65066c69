// The elaborated view of a netlist: the top module's cells in evaluation order, hierarchical
// names of cells and nets, and the module paths of the design.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "netlist_wrapper/netlist.h"
#include "netlist_wrapper/torder.h"
#include "result.h"
#include "signal/signal_store.h"
#include "text.h"

namespace vexolin {

/// Hierarchical identifier: module path from the top, and the name within it.
struct RtlId {
  std::vector<std::string> scope;
  std::string name;

  /// The scope entries and the name joined with ".".
  std::string text() const;
  friend bool operator==(const RtlId&, const RtlId&) = default;
};

struct RtlIdHash {
  std::size_t operator()(const RtlId& id) const;
};

/// A module path, outermost instance first.
using ScopePath = std::vector<std::string>;

/// Joins a path with ".", the empty path giving the empty text.
std::string join_scope(const ScopePath& path);

/// The netlist after elaboration; built once, never changed afterwards.
class NetlistWrapper {
 public:
  /// Chooses the top module, sorts its cells by the order table, names every cell and net.
  static Result<NetlistWrapper> build(Netlist netlist, const std::optional<std::string>& top_module,
                                      const Torder& torder,
                                      const std::optional<std::string>& hierarchy_separator);

  /// Net ids of a bit list: numbers stand for themselves, "0" and "1" for nets 0 and 1; "x" and
  /// "z" are refused. Numbers beyond what this netlist can hold are refused too.
  Result<std::vector<NetId>> bits_to_nets(std::span<const BitVal> bits) const;

  /// The top module's netlist cell under the text of `id`, or nullptr.
  const Cell* find_cell(const RtlId& id) const;
  /// The net list of a named net by its text, or nullptr.
  const std::vector<NetId>* nets_of(std::string_view name) const;

  const Netlist& netlist() const { return netlist_; }
  const std::string& top() const { return top_; }
  /// The top module of the rewritten netlist.
  const Module& top_module() const;
  /// Cells in evaluation order, "$scopeinfo" cells left out.
  const std::vector<RtlId>& cells() const { return cells_; }
  const std::unordered_map<RtlId, std::vector<NetId>, RtlIdHash>& nets() const { return nets_; }
  const std::set<ScopePath>& scopes() const { return scopes_; }
  /// One more than the largest net id of any named net, and at least 2.
  NetId net_count() const { return net_count_; }

 private:
  Netlist netlist_;
  std::string top_;
  std::vector<RtlId> cells_;
  std::unordered_map<RtlId, std::vector<NetId>, RtlIdHash> nets_;
  // Text to the net list in `nets_` (node-based, so the pointers stay valid).
  std::unordered_map<std::string, const std::vector<NetId>*, TextHash, std::equal_to<>> net_names_;
  std::set<ScopePath> scopes_;
  NetId net_count_ = 2;
  std::uint64_t max_net_id_ = 0;
};

}  // namespace vexolin
