// The records of a Yosys JSON netlist, in file order, and the reader that fills them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "netlist_wrapper/ordered_map.h"
#include "result.h"

namespace vexolin {

/// One net bit of a netlist: a net number, or one of the constants '0', '1', 'x', 'z'.
struct BitVal {
  std::uint64_t net = 0;
  char constant = 0;  ///< 0 for a net number, else '0', '1', 'x' or 'z'

  static BitVal number(std::uint64_t n) { return {n, 0}; }
  static BitVal constant_bit(char c) { return {0, c}; }
  bool is_number() const { return constant == 0; }
  friend bool operator==(const BitVal&, const BitVal&) = default;
};

/// The value of an attribute or parameter: a number or a string.
using AttributeVal = std::variant<std::uint64_t, std::string>;

/// The text reading of an attribute: a string holding a character other than 0, 1, x and z,
/// without one trailing blank; nothing for numbers and bit strings.
std::optional<std::string_view> as_str(const AttributeVal& value);

enum class PortDirection : std::uint8_t { Input, Output, Inout };

/// "input", "output" or "inout".
std::string_view direction_name(PortDirection d);

using AttributeMap = OrderedMap<AttributeVal>;

struct Port {
  PortDirection direction = PortDirection::Input;
  std::vector<BitVal> bits;
  std::int64_t offset = 0;
  std::uint64_t upto = 0;
  std::uint64_t is_signed = 0;  ///< the field "signed"
  friend bool operator==(const Port&, const Port&) = default;
};

struct Cell {
  std::uint64_t hide_name = 0;
  std::string type;
  AttributeMap parameters;
  AttributeMap attributes;
  OrderedMap<PortDirection> port_directions;
  OrderedMap<std::vector<BitVal>> connections;
  friend bool operator==(const Cell&, const Cell&) = default;
};

struct Memory {
  std::uint64_t hide_name = 0;
  AttributeMap attributes;
  std::uint64_t width = 0;
  std::uint64_t size = 0;
  std::uint64_t start_offset = 0;
  friend bool operator==(const Memory&, const Memory&) = default;
};

struct Netname {
  std::uint64_t hide_name = 0;
  std::vector<BitVal> bits;
  std::int64_t offset = 0;
  std::uint64_t upto = 0;
  std::uint64_t is_signed = 0;  ///< the field "signed"
  AttributeMap attributes;
  friend bool operator==(const Netname&, const Netname&) = default;
};

struct Module {
  AttributeMap attributes;
  AttributeMap parameter_default_values;
  OrderedMap<Port> ports;
  OrderedMap<Cell> cells;
  OrderedMap<Memory> memories;
  OrderedMap<Netname> netnames;
  friend bool operator==(const Module&, const Module&) = default;
};

struct Netlist {
  std::string creator;
  OrderedMap<Module> modules;
  friend bool operator==(const Netlist&, const Netlist&) = default;
};

/// Reads and parses a netlist file; a file that cannot be read gives the system's error text.
Result<Netlist> read_netlist(const std::string& path);

/// Parses netlist JSON text. Errors end in " at line {line} column {column}".
Result<Netlist> parse_netlist(std::string_view json);

/// The netlist as compact JSON: every record with all its fields in declared order.
std::string write_netlist_json(const Netlist& netlist);

}  // namespace vexolin
