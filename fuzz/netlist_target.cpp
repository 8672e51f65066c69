// Any bytes through the netlist reader: a result or an error, never a fault; a result must
// survive being written back and read again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "netlist_wrapper/netlist.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  vexolin::Result<vexolin::Netlist> netlist = vexolin::parse_netlist(text);
  if (!netlist) return 0;
  const std::string written = vexolin::write_netlist_json(netlist.value());
  vexolin::Result<vexolin::Netlist> again = vexolin::parse_netlist(written);
  if (!again || !(again.value() == netlist.value())) std::abort();
  return 0;
}
