#include "netlist_wrapper/wrapper.h"

#include <algorithm>
#include <limits>

#include "text.h"

namespace vexolin {

namespace {

constexpr std::string_view kFlattenPrefix = "$flatten\\";

/// "top" = 1: the number 1, or an optional "+" then binary digits worth 1 (below 2^32).
bool is_top_value(const AttributeVal& value) {
  if (const auto* n = std::get_if<std::uint64_t>(&value)) return *n == 1;
  std::string_view s = std::get<std::string>(value);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (c != '0' && c != '1') return false;
    v = (v << 1) | std::uint64_t(c - '0');
    if (v >> 32) return false;
  }
  return v == 1;
}

std::vector<std::string> split_at(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (;;) {
    const std::size_t hit = text.find(separator, at);
    if (hit == std::string_view::npos) break;
    parts.emplace_back(text.substr(at, hit - at));
    at = hit + separator.size();
  }
  parts.emplace_back(text.substr(at));
  return parts;
}

/// Scope from all parts but the last, name from the last.
RtlId from_parts(std::vector<std::string> parts) {
  RtlId id;
  id.name = std::move(parts.back());
  parts.pop_back();
  id.scope = std::move(parts);
  return id;
}

void clean_up(RtlId& id) {
  for (std::string& s : id.scope) s = remove_space(s);
  id.name = remove_space(id.name);
  if (id.scope.empty()) return;
  if (std::string_view(id.name).starts_with(kFlattenPrefix)) {
    id.name.erase(0, kFlattenPrefix.size());
  }
  const std::string prefix = join_scope(id.scope) + ".";
  if (std::string_view(id.name).starts_with(prefix)) id.name.erase(0, prefix.size());
}

std::optional<std::string_view> attribute_text(const AttributeMap& attributes,
                                               std::string_view name) {
  const AttributeVal* v = attributes.find(name);
  return v ? as_str(*v) : std::nullopt;
}

/// The largest net number a top module may use: Yosys numbers nets densely, so no id exceeds
/// the number of bits the module writes out; twice that, plus slack, refuses only ids that would
/// make the store allocate far beyond the netlist's own size.
std::uint64_t net_id_limit(const Module& top) {
  std::uint64_t bits = 0;
  for (const auto& [name, n] : top.netnames) bits += n.bits.size();
  for (const auto& [name, c] : top.cells) {
    for (const auto& [pin, list] : c.connections) bits += list.size();
  }
  for (const auto& [name, p] : top.ports) bits += p.bits.size();
  const std::uint64_t limit = 2 * bits + 1024;
  constexpr std::uint64_t kMaxId = std::numeric_limits<NetId>::max() - 1;
  return limit < kMaxId ? limit : kMaxId;
}

}  // namespace

std::string RtlId::text() const {
  if (scope.empty()) return name;
  return join_scope(scope) + "." + name;
}

std::size_t RtlIdHash::operator()(const RtlId& id) const {
  std::size_t h = std::hash<std::string>{}(id.name);
  for (const std::string& s : id.scope) h = h * 1000003u ^ std::hash<std::string>{}(s);
  return h ^ id.scope.size();
}

std::string join_scope(const ScopePath& path) {
  std::string out;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (i) out.push_back('.');
    out += path[i];
  }
  return out;
}

Result<std::vector<NetId>> NetlistWrapper::bits_to_nets(std::span<const BitVal> bits) const {
  std::vector<NetId> nets;
  nets.reserve(bits.size());
  for (const BitVal& b : bits) {
    if (b.is_number()) {
      if (b.net > max_net_id_) {
        return SimError::limit("Net number `" + std::to_string(b.net) +
                               "` is out of range: this netlist's net numbers must not exceed " +
                               std::to_string(max_net_id_));
      }
      nets.push_back(static_cast<NetId>(b.net));
    } else if (b.constant == '0' || b.constant == '1') {
      nets.push_back(NetId(b.constant - '0'));
    } else {
      return SimError::port(PortError::direction(b.constant == 'x' ? "X" : "Z"));
    }
  }
  return nets;
}

const Cell* NetlistWrapper::find_cell(const RtlId& id) const {
  return top_module().cells.find(id.text());
}

const std::vector<NetId>* NetlistWrapper::nets_of(std::string_view name) const {
  const auto it = net_names_.find(name);
  return it == net_names_.end() ? nullptr : it->second;
}

const Module& NetlistWrapper::top_module() const {
  return *netlist_.modules.find(top_);
}

Result<NetlistWrapper> NetlistWrapper::build(
    Netlist netlist, const std::optional<std::string>& top_module, const Torder& torder,
    const std::optional<std::string>& hierarchy_separator) {
  NetlistWrapper w;

  // The top module: the given name, else the first module marked top.
  if (top_module) {
    w.top_ = *top_module;
  } else {
    const Module* found = nullptr;
    for (const auto& [name, module] : netlist.modules) {
      const AttributeVal* top = module.attributes.find("top");
      if (top && is_top_value(*top)) {
        w.top_ = name;
        found = &module;
        break;
      }
    }
    if (!found) return SimError::top_module();
  }
  Module* top = netlist.modules.find(w.top_);
  if (!top) return SimError::missing_module();

  const std::vector<std::string_view>* order = torder.find(w.top_);
  if (!order) return SimError::topo_order(w.top_);

  w.max_net_id_ = net_id_limit(*top);

  // Positions from a hash index of the order list; the first occurrence of a name counts.
  // Recent Yosys versions print public names with a leading backslash that the JSON names lack:
  // such a name stands for the cell without it, unless it names a cell as it is.
  std::unordered_map<std::string_view, std::size_t> position;
  position.reserve(order->size());
  for (std::string_view listed : *order) {
    std::string_view key = listed;
    if (key.starts_with('\\') && !top->cells.contains(key) && top->cells.contains(key.substr(1))) {
      key.remove_prefix(1);
    }
    position.emplace(key, position.size());
  }
  const std::size_t unlisted = std::numeric_limits<std::size_t>::max();
  std::vector<std::pair<std::size_t, std::size_t>> by_position;  // (position, file index)
  by_position.reserve(top->cells.size());
  for (std::size_t i = 0; i < top->cells.size(); ++i) {
    const auto it = position.find(top->cells.at_position(i).first);
    by_position.emplace_back(it == position.end() ? unlisted : it->second, i);
  }
  std::stable_sort(by_position.begin(), by_position.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  // Cells: "$scopeinfo" cells give scope paths and leave the module; all others are renamed.
  OrderedMap<Cell> cells;
  cells.reserve(by_position.size());
  w.cells_.reserve(by_position.size());
  for (const auto& [pos, index] : by_position) {
    auto& [name, cell] = top->cells.at_position(index);
    if (cell.type == "$scopeinfo") {
      const auto hdlname = attribute_text(cell.attributes, "hdlname");
      w.scopes_.insert(hdlname ? split_at(*hdlname, " ") : ScopePath{name});
      continue;
    }
    RtlId id;
    if (const auto scopename = attribute_text(cell.attributes, "scopename")) {
      id.scope = {std::string(*scopename)};
      id.name = name;
    } else if (hierarchy_separator) {
      id = from_parts(split_at(name, *hierarchy_separator));
      w.scopes_.insert(id.scope);
    } else {
      id.name = name;
    }
    clean_up(id);
    cells.insert_or_assign(id.text(), std::move(cell));
    w.cells_.push_back(std::move(id));
  }

  // Named nets, in file order.
  OrderedMap<Netname> netnames;
  netnames.reserve(top->netnames.size());
  w.nets_.reserve(top->netnames.size());
  for (auto& [name, netname] : top->netnames) {
    RtlId id;
    if (const auto scopename = attribute_text(netname.attributes, "scopename")) {
      id.scope = {std::string(*scopename)};
      id.name = name;
    } else if (const auto hdlname = attribute_text(netname.attributes, "hdlname")) {
      id = from_parts(split_at(*hdlname, " "));
    } else if (hierarchy_separator) {
      id = from_parts(split_at(name, *hierarchy_separator));
    } else {
      id.name = name;
    }
    clean_up(id);
    Result<std::vector<NetId>> nets = w.bits_to_nets(netname.bits);
    if (!nets) return std::move(nets).error();
    for (NetId n : *nets) {
      if (n >= w.net_count_) w.net_count_ = n + 1;
    }
    netnames.insert_or_assign(id.text(), std::move(netname));
    w.nets_.insert_or_assign(std::move(id), std::move(nets).value());
  }
  top->cells = std::move(cells);
  top->netnames = std::move(netnames);

  w.net_names_.reserve(w.nets_.size());
  for (const auto& [id, nets] : w.nets_) {
    w.net_names_.insert_or_assign(id.text(), &nets);
    w.scopes_.insert(id.scope);
  }
  w.netlist_ = std::move(netlist);
  return w;
}

}  // namespace vexolin
