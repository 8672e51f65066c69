#include "cell/factory.h"

#include "diagnostics.h"
#include "text.h"

namespace vexolin {

std::optional<std::uint32_t> parse_parameter_text(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
  }
  std::uint64_t value = 0;
  for (char c : text) {
    if (c != '0' && c != '1') return std::nullopt;
    value = (value << 1) | std::uint64_t(c - '0');
    if (value >> 32) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::string tagged_text(std::string_view text) {
  return "S(" + debug_quoted(text) + ")";
}

namespace {

/// The parameters as numbers, plus every bit string whole. `wide_name` names the one parameter
/// that the cell reads whole, so that its long texts are no loss worth a notice.
ParameterMap read_parameters(const AttributeMap& parameters, std::string_view wide_name) {
  ParameterMap map;
  for (const auto& [name, value] : parameters) {
    if (const auto* n = std::get_if<std::uint64_t>(&value)) {
      // A number beyond 32 bits cannot be a 32-bit parameter; it is dropped like a text that
      // does not read as one.
      if (*n >> 32) {
        emit_line("Ignoring parameter `" + name + "=" + std::to_string(*n) + "`");
        continue;
      }
      map.insert_or_assign(name, static_cast<std::uint32_t>(*n));
      continue;
    }
    const std::string& text = std::get<std::string>(value);
    // Bit strings of any length are also kept whole: a reset value as wide as its register
    // (64 ones, say) has more than 32 significant digits.
    bool kept_whole = false;
    if (auto bits = wide_parameter_bits(text)) {
      map.wide.insert_or_assign(name, std::move(*bits));
      kept_whole = name == wide_name;
    }
    if (const auto v = parse_parameter_text(text)) {
      map.insert_or_assign(name, *v);
    } else if (!kept_whole) {
      emit_line("Ignoring parameter `" + name + "=" + tagged_text(text) + "`");
    }
  }
  return map;
}

std::string cell_context(const RtlId& id, const std::string& type) {
  return "Cell `" + id.text() + "` of type `" + type + "`: ";
}

}  // namespace

Result<CellInstance> create_cell(const RtlId& id, const NetlistWrapper& wrapper,
                                 const CellMapping* cell_mapping) {
  const Cell* cell = wrapper.find_cell(id);
  if (!cell) return SimError::missing_cell(id.text());

  const NetId net_count = wrapper.net_count();
  ConnectionMap connections;
  for (const auto& [pin, bits] : cell->connections) {
    Result<std::vector<NetId>> nets = wrapper.bits_to_nets(bits);
    if (!nets) return std::move(nets).error();
    // Only named nets size the store, so a connection to an unnamed net beyond them would index
    // outside it.
    for (NetId n : *nets) {
      if (n >= net_count) return SimError::missing_net(n);
    }
    connections.insert_or_assign(pin, std::move(nets).value());
  }

  const CellMapEntry* mapped = nullptr;
  if (cell_mapping) {
    if (const auto it = cell_mapping->find(cell->type); it != cell_mapping->end()) {
      mapped = &it->second;
    }
  }
  const std::string_view type = mapped ? std::string_view(mapped->type) : cell->type;

  // An $adffe reads its reset value whole, as wide as the register.
  ParameterMap parameters =
      read_parameters(cell->parameters, type == "$adffe" ? "ARST_VALUE" : std::string_view());

  if (debug_enabled()) emit_line("Parsing cell `" + cell->type + "`");

  if (mapped && mapped->pins) {
    ConnectionMap renamed;
    for (auto& [pin, nets] : connections) {
      const auto to = mapped->pins->find(pin);
      if (to == mapped->pins->end()) {
        return SimError::internal(cell_context(id, cell->type) + "pin `" + pin +
                                  "` has no entry in the pin map of the cell mapping");
      }
      // Two pins mapped to one name: the later one in pin order wins.
      renamed.insert_or_assign(to->second, std::move(nets));
    }
    connections = std::move(renamed);
  }

  const CellRegistration* registration = find_cell_type(type);
  if (!registration) return SimError::cell(CellError::unsupported(std::string(type)));

  Result<CellInstance> built = registration->constructor(connections, parameters);
  if (!built && built.error().variant() == SimError::Variant::Internal) {
    return SimError::internal(cell_context(id, std::string(type)) + built.error().text());
  }
  return built;
}

}  // namespace vexolin
