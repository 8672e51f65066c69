#include "design.h"

#include "eval.h"

namespace vexolin {

Design::Design(NetlistWrapper wrapper, std::vector<CellInstance> cells)
    : wrapper_(std::move(wrapper)),
      cells_(std::move(cells)),
      store_(wrapper_.net_count()),
      scratch_(scratch_for(cells_)),
      activity_(cells_, store_.net_count()),
      pass_limit_(vexolin::pass_limit(cells_.size())) {}

Result<Design> Design::create(const std::string& netlist_path, const std::string& torder_path,
                              const std::optional<std::string>& hierarchy_separator,
                              const std::optional<std::string>& top_module,
                              const CellMapping* cell_mapping) {
  // The netlist is read first, so a bad netlist is reported even when the order file is bad too.
  Result<Netlist> netlist = read_netlist(netlist_path);
  if (!netlist) return std::move(netlist).error();
  Result<Torder> torder = read_torder(torder_path);
  if (!torder) return std::move(torder).error();
  return from_netlist(std::move(netlist).value(), torder.value(), hierarchy_separator, top_module,
                      cell_mapping);
}

Result<Design> Design::from_netlist(Netlist netlist, const Torder& torder,
                                    const std::optional<std::string>& hierarchy_separator,
                                    const std::optional<std::string>& top_module,
                                    const CellMapping* cell_mapping) {
  if (hierarchy_separator && hierarchy_separator->empty()) {
    return SimError::limit("The hierarchy separator must not be empty");
  }
  Result<NetlistWrapper> wrapper =
      NetlistWrapper::build(std::move(netlist), top_module, torder, hierarchy_separator);
  if (!wrapper) return std::move(wrapper).error();

  std::vector<CellInstance> cells;
  cells.reserve(wrapper->cells().size());
  for (const RtlId& id : wrapper->cells()) {
    Result<CellInstance> cell = create_cell(id, wrapper.value(), cell_mapping);
    if (!cell) return std::move(cell).error();
    cells.push_back(std::move(cell).value());
  }

  Design design(std::move(wrapper).value(), std::move(cells));

  for (const auto& [name, port] : design.wrapper_.top_module().ports) {
    if (port.direction == PortDirection::Inout) {
      return SimError::port(PortError::direction("inout"));
    }
    design.ports_.insert_or_assign(name, PortEntry{{1, port.bits.size()}, port.direction});
  }

  design.modules_.reserve(design.wrapper_.scopes().size());
  for (const ScopePath& path : design.wrapper_.scopes()) {
    design.modules_.push_back(join_scope(path));
  }
  return design;
}

std::vector<std::string> Design::port_names() const {
  std::vector<std::string> names;
  names.reserve(ports_.size());
  for (const auto& [name, entry] : ports_) names.push_back(name);
  return names;
}

Result<PortDirection> Design::port_direction(std::string_view name) const {
  const auto it = ports_.find(name);
  if (it == ports_.end()) return SimError::missing_port(std::string(name));
  return it->second.direction;
}

Result<PortShape> Design::port_shape(std::string_view name) const {
  const auto it = ports_.find(name);
  if (it == ports_.end()) return SimError::missing_port(std::string(name));
  return it->second.shape;
}

Status Design::set_port_shape(std::string_view name, PortShape requested) {
  const auto it = ports_.find(name);
  if (it == ports_.end()) return SimError::missing_port(std::string(name));
  const PortShape actual = it->second.shape;
  // Compared in 128 bits: two machine-word factors cannot overflow there.
  if (u128(requested.first) * requested.second != u128(actual.first) * actual.second) {
    return SimError::port(PortError::shape(requested, actual));
  }
  it->second.shape = requested;
  return {};
}

const std::vector<NetId>* Design::port_nets(std::string_view name) const {
  return wrapper_.nets_of(name);
}

Result<std::pair<BitVec, PortShape>> Design::port_values(std::string_view name) const {
  const auto it = ports_.find(name);
  const std::vector<NetId>* nets = port_nets(name);
  if (it == ports_.end() || !nets) return SimError::missing_port(std::string(name));
  BitVec bits(nets->size());
  for (std::size_t i = 0; i < nets->size(); ++i) bits[i] = store_.get((*nets)[i]);
  return std::pair{std::move(bits), it->second.shape};
}

Status Design::drive_port(std::string_view name, const BitVec& bits) {
  const std::vector<NetId>* nets = port_nets(name);
  if (!ports_.contains(name) || !nets) return SimError::missing_port(std::string(name));
  const std::size_t n = nets->size() < bits.size() ? nets->size() : bits.size();
  for (std::size_t i = 0; i < n; ++i) store_.set((*nets)[i], bits[i]);
  return {};
}

Status Design::bind(std::optional<NetBinding>& role, const std::optional<NetBinding>& other,
                    NetId net, Bit polarity) {
  if (net >= store_.net_count()) return SimError::missing_net(net);
  if (other && other->net == net) return SimError::double_assign();
  role = NetBinding{net, polarity};
  return {};
}

Status Design::set_reset(NetId net, Bit polarity) {
  return bind(reset_, clock_, net, polarity);
}
Status Design::set_clock(NetId net, Bit polarity) {
  return bind(clock_, reset_, net, polarity);
}

Result<std::uint64_t> Design::settle() {
  switch (engine_) {
    case Engine::Activity:
      return activity_.settle(cells_, store_, scratch_, pass_limit_);
    case Engine::Levelled:
      return levelled_.settle(cells_, store_, scratch_, pass_limit_);
    case Engine::Full:
      break;
  }
  return vexolin::settle(cells_, store_, scratch_, pass_limit_);
}

void Design::set_engine(Engine engine) {
  if (engine == engine_) return;
  const bool levelled = engine == Engine::Levelled;
  if (levelled && !levelled_built_) {
    // Built on first use, from the list layout, so that designs that never ask for it pay
    // nothing for it.
    levels_ = level_order(cells_, store_.net_count());
    position_.resize(cells_.size());
    for (std::uint32_t k = 0; k < levels_.order.size(); ++k) position_[levels_.order[k]] = k;
    levelled_ = ActivityEngine(cells_, store_.net_count(), &levels_);
    levelled_built_ = true;
  }
  if (levelled != levelled_layout_) {
    // Records move, never copy: their state bytes go with them.
    std::vector<CellInstance> moved;
    moved.reserve(cells_.size());
    for (std::size_t k = 0; k < cells_.size(); ++k) {
      moved.push_back(std::move(cells_[levelled ? levels_.order[k] : position_[k]]));
    }
    cells_ = std::move(moved);
    levelled_layout_ = levelled;
  }
  // Neither activity engine saw what the others evaluated, so the new one starts over.
  activity_.wake_all();
  levelled_.wake_all();
  engine_ = engine;
}

Status Design::clocked_cycles(std::uint64_t cycles) {
  const NetBinding clock = *clock_;
  const Bit inactive = Bit(clock.polarity ^ 1);
  for (std::uint64_t i = 0; i < cycles; ++i) {
    // Checked at the cycle boundary only, so an interrupted run leaves whole cycles behind.
    if (interrupt_ && i > 0 && interrupt_(interrupt_context_)) return SimError::interrupted();
    VEXOLIN_TRY(settle());
    store_.set(clock.net, clock.polarity);
    VEXOLIN_TRY(settle());
    store_.set(clock.net, inactive);
    VEXOLIN_TRY(settle());
  }
  return {};
}

Status Design::eval_clocked(std::optional<std::uint64_t> cycles) {
  if (!clock_) return SimError::missing_clock();
  return clocked_cycles(cycles.value_or(1));
}

Status Design::eval_reset_clocked(std::optional<std::uint64_t> cycles) {
  if (!reset_) return SimError::missing_reset();
  const NetBinding reset = *reset_;
  store_.set(reset.net, reset.polarity);
  if (!clock_) return SimError::missing_clock();
  VEXOLIN_TRY(clocked_cycles(cycles.value_or(1)));
  store_.set(reset.net, Bit(reset.polarity ^ 1));
  VEXOLIN_TRY(settle());
  return {};
}

void Design::reset() {
  for (CellInstance& cell : cells_) {
    if (const auto reset_state = kind_ops(cell.kind).reset_state) reset_state(cell);
  }
  store_.clear();
  // The state bytes no longer hold the levels of the last evaluation and every net may have
  // moved, so every cell is evaluated again.
  activity_.wake_all();
  levelled_.wake_all();
}

Status Design::stick_signal(std::uint64_t net, std::uint64_t value) {
  const auto bit = bit_from_int(value);
  if (const auto* e = std::get_if<BitError>(&bit)) return SimError::bit(*e);
  if (net >= store_.net_count()) return SimError::missing_net(net);
  store_.stick(static_cast<NetId>(net), std::get<Bit>(bit));
  return {};
}

Status Design::unstick_signal(std::uint64_t net) {
  if (net >= store_.net_count()) return SimError::missing_net(net);
  store_.unstick(static_cast<NetId>(net));
  return {};
}

Result<bool> Design::is_port_input(std::string_view name) const {
  Result<PortDirection> d = port_direction(name);
  if (!d) return std::move(d).error();
  return *d == PortDirection::Input;
}

}  // namespace vexolin
