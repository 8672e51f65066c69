// One loaded design: cells in evaluation order over a signal store, the port table, clock and
// reset, and the simulation operations on them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "activity.h"
#include "cell/factory.h"
#include "cell/mod.h"
#include "netlist_wrapper/wrapper.h"
#include "result.h"
#include "signal/signal_store.h"
#include "text.h"

namespace vexolin {

/// How a top-level port's bits are grouped, and which way it points.
struct PortEntry {
  PortShape shape;  ///< (elements, bits per element)
  PortDirection direction = PortDirection::Input;
};

/// A net driven by the clocked operations, with its active level.
struct NetBinding {
  NetId net = 0;
  Bit polarity = 1;
};

enum class ToggleCategory : std::uint8_t { Rising, Falling, Total };

/// "rising", "falling" or "total", exactly; anything else is an error.
Result<ToggleCategory> parse_toggle_category(std::string_view text);

/// Scope key to signal name to figure.
using TogglesBySignal =
    std::unordered_map<std::string, std::unordered_map<std::string, std::uint64_t>>;
/// Scope key to the sum of its signals' figures.
using TogglesByScope = std::unordered_map<std::string, std::uint64_t>;

/// How settle() chooses the cells of a pass; both give the same passes, writes and states.
enum class Engine : std::uint8_t {
  Activity,  ///< only the cells that a change since their last evaluation concerns
  Levelled,  ///< as Activity, over the cells regrouped by level and kind (see LevelOrder);
             ///< measured slower than Activity on gate-level designs, kept for comparison
  Full,      ///< every cell in every pass: the reference loop
};

/// Asked between clock cycles whether a long run should stop; true stops it.
using InterruptHook = bool (*)(void* context);

class Design {
 public:
  /// Reads both files, elaborates the netlist and builds every cell and the store.
  static Result<Design> create(const std::string& netlist_path, const std::string& torder_path,
                               const std::optional<std::string>& hierarchy_separator,
                               const std::optional<std::string>& top_module,
                               const CellMapping* cell_mapping);

  /// The same from a netlist and an order table already read.
  static Result<Design> from_netlist(Netlist netlist, const Torder& torder,
                                     const std::optional<std::string>& hierarchy_separator,
                                     const std::optional<std::string>& top_module,
                                     const CellMapping* cell_mapping);

  // Ports.
  std::vector<std::string> port_names() const;
  Result<PortDirection> port_direction(std::string_view name) const;
  Result<PortShape> port_shape(std::string_view name) const;
  /// Regroups a port's bits; the element count times the width must stay the port's bit count.
  Status set_port_shape(std::string_view name, PortShape requested);
  /// The port's nets (the named net of the port's name), or nullptr.
  const std::vector<NetId>* port_nets(std::string_view name) const;
  /// The current values of the port's nets with its shape.
  Result<std::pair<BitVec, PortShape>> port_values(std::string_view name) const;
  /// Writes bit i to the port's net i through set(), for the common prefix of both.
  Status drive_port(std::string_view name, const BitVec& bits);

  Status set_reset(NetId net, Bit polarity);
  Status set_clock(NetId net, Bit polarity);
  const std::optional<NetBinding>& clock() const { return clock_; }
  const std::optional<NetBinding>& reset_binding() const { return reset_; }

  // Simulation.
  /// Passes until no net changes; returns the number of passes made.
  Result<std::uint64_t> settle();
  /// `cycles` (default 1) times: settle, clock active, settle, clock inactive, settle.
  Status eval_clocked(std::optional<std::uint64_t> cycles);
  /// Reset active, the clocked cycles, reset inactive, settle.
  Status eval_reset_clocked(std::optional<std::uint64_t> cycles);
  /// Flip-flop state to its reset values and the store cleared; no pass runs.
  void reset();
  /// Forces `net` to `value` (0 or 1) at once, without counting.
  Status stick_signal(std::uint64_t net, std::uint64_t value);
  Status unstick_signal(std::uint64_t net);
  Result<bool> is_port_input(std::string_view name) const;

  /// Per-signal figures of the category, grouped by scope key.
  TogglesBySignal toggles_by_signal(ToggleCategory category) const;
  /// Per-scope sums of the category.
  TogglesByScope toggles_by_scope(ToggleCategory category) const;

  /// Consulted between clock cycles; null for none.
  void set_interrupt_hook(InterruptHook hook, void* context) {
    interrupt_ = hook;
    interrupt_context_ = context;
  }

  /// The cells in the current engine's layout: list order, or level order for Levelled.
  const std::vector<CellInstance>& cells() const { return cells_; }
  /// Cell `index` of the list, whatever the layout.
  const CellInstance& cell(std::size_t index) const {
    return cells_[levelled_layout_ ? position_[index] : index];
  }
  const SignalStore& store() const { return store_; }
  SignalStore& store() { return store_; }
  const NetlistWrapper& wrapper() const { return wrapper_; }
  /// Every module path of the design, joined with ".".
  const std::vector<std::string>& modules() const { return modules_; }
  std::uint64_t pass_limit() const { return pass_limit_; }

  Engine engine() const { return engine_; }
  void set_engine(Engine engine);
  /// Cells evaluated by both activity engines since construction.
  std::uint64_t activity_evaluations() const {
    return activity_.evaluations() + levelled_.evaluations();
  }

 private:
  Design(NetlistWrapper wrapper, std::vector<CellInstance> cells);
  Status clocked_cycles(std::uint64_t cycles);
  Status bind(std::optional<NetBinding>& role, const std::optional<NetBinding>& other, NetId net,
              Bit polarity);

  NetlistWrapper wrapper_;
  std::vector<CellInstance> cells_;
  SignalStore store_;
  EvalScratch scratch_;
  ActivityEngine activity_;
  LevelOrder levels_;
  std::vector<std::uint32_t> position_;  // list index to position in level order
  ActivityEngine levelled_;
  bool levelled_built_ = false;
  bool levelled_layout_ = false;
  Engine engine_ = Engine::Activity;
  std::unordered_map<std::string, PortEntry, TextHash, std::equal_to<>> ports_;
  std::optional<NetBinding> clock_;
  std::optional<NetBinding> reset_;
  std::vector<std::string> modules_;
  std::uint64_t pass_limit_ = 0;
  InterruptHook interrupt_ = nullptr;
  void* interrupt_context_ = nullptr;
};

}  // namespace vexolin
