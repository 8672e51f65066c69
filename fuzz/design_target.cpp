// A fuzzed netlist built into a design, settled and clocked. The input is the netlist JSON,
// optionally followed by a NUL byte and the order-file text; without one, every module gets a
// module line and its cells keep file order.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "design.h"
#include "netlist_wrapper/netlist.h"
#include "netlist_wrapper/torder.h"

namespace {

// Keeps one input from spending the whole run allocating a giant store or settling a huge list.
constexpr std::size_t kMaxNets = 1u << 16;
constexpr std::size_t kMaxCells = 1u << 12;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t nul = input.find('\0');
  vexolin::Result<vexolin::Netlist> netlist = vexolin::parse_netlist(input.substr(0, nul));
  if (!netlist) return 0;

  std::string order;
  if (nul != std::string_view::npos) {
    order = std::string(input.substr(nul + 1));
  } else {
    for (const auto& [name, module] : netlist->modules) order += "module " + name + "\n";
  }
  const vexolin::Torder torder = vexolin::Torder::parse(std::move(order));

  const std::optional<std::string> separator =
      size % 3 == 0 ? std::optional<std::string>(".") : std::nullopt;
  vexolin::Result<vexolin::Design> built =
      vexolin::Design::from_netlist(std::move(netlist).value(), torder, separator, std::nullopt,
                                    nullptr);
  if (!built) return 0;
  vexolin::Design& design = built.value();
  const std::size_t nets = design.store().net_count();
  if (nets > kMaxNets || design.cells().size() > kMaxCells) return 0;

  if (nets > 2) {
    const auto clock = static_cast<vexolin::NetId>(2 + size % (nets - 2));
    const auto reset = static_cast<vexolin::NetId>(2 + (size / 7) % (nets - 2));
    (void)design.set_clock(clock, vexolin::Bit(size & 1));
    (void)design.set_reset(reset, vexolin::Bit((size >> 1) & 1));
  }
  for (const std::string& port : design.port_names()) {
    if (const auto* port_nets = design.port_nets(port)) {
      vexolin::BitVec ones(port_nets->size(), vexolin::Bit(1));
      (void)design.drive_port(port, ones);
    }
    (void)design.port_values(port);
  }
  (void)design.settle();
  (void)design.eval_clocked(3);
  (void)design.eval_reset_clocked(1);
  (void)design.stick_signal(size % (nets + 1), 1);
  (void)design.eval_clocked(1);
  (void)design.toggles_by_scope(vexolin::ToggleCategory::Total);
  design.reset();
  (void)design.settle();
  return 0;
}
