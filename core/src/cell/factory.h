// Turning a netlist cell into the cell record the engine simulates.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

#include "cell/mod.h"
#include "netlist_wrapper/wrapper.h"

namespace vexolin {

/// A replacement for one netlist cell type: the type to build instead, and optionally new names
/// for its pins.
struct CellMapEntry {
  std::string type;
  std::optional<std::unordered_map<std::string, std::string>> pins;
};

/// Netlist cell type to its replacement.
using CellMapping = std::unordered_map<std::string, CellMapEntry>;

/// Builds the record of the cell `id` of the wrapper's top module.
Result<CellInstance> create_cell(const RtlId& id, const NetlistWrapper& wrapper,
                                 const CellMapping* cell_mapping);

/// A parameter text read as a binary number of at most 32 significant digits, with an optional
/// leading "+"; the empty text reads as 0.
std::optional<std::uint32_t> parse_parameter_text(std::string_view text);

/// The tagged form of a text in notices: S("...") with backslashes, quotes and control
/// characters escaped.
std::string tagged_text(std::string_view text);

}  // namespace vexolin
