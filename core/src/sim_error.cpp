#include "sim_error.h"

namespace vexolin {

namespace {

std::string pair_text(PortShape p) {
  return "[" + std::to_string(p.first) + ", " + std::to_string(p.second) + "]";
}

std::string quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "\"";
}

const char* variant_name(SimError::Variant v) {
  switch (v) {
    case SimError::Variant::TopModule:
      return "TopModule";
    case SimError::Variant::MissingCell:
      return "MissingCell";
    case SimError::Variant::MissingModule:
      return "MissingModule";
    case SimError::Variant::TopoOrder:
      return "TopoOrder";
    case SimError::Variant::Cell:
      return "Cell";
    case SimError::Variant::Port:
      return "Port";
    case SimError::Variant::MissingReset:
      return "MissingReset";
    case SimError::Variant::MissingClock:
      return "MissingClock";
    case SimError::Variant::MissingNet:
      return "MissingNet";
    case SimError::Variant::MissingPort:
      return "MissingPort";
    case SimError::Variant::Netlist:
      return "Netlist";
    case SimError::Variant::DoubleAssign:
      return "DoubleAssign";
    case SimError::Variant::Io:
      return "Io";
    case SimError::Variant::BitConversion:
      return "BitConversion";
    case SimError::Variant::ToggleCategory:
      return "ToggleCategory";
    case SimError::Variant::Limit:
      return "Limit";
    case SimError::Variant::NoSettle:
      return "NoSettle";
    case SimError::Variant::Interrupted:
      return "Interrupted";
    case SimError::Variant::Internal:
      return "Internal";
  }
  return "?";
}

}  // namespace

std::string PortError::display() const {
  if (variant_ == Variant::Direction) return "Direction `" + dir_ + "` not supported";
  return "incompatible shapes: requested=" + pair_text(requested_) +
         ", actual=" + pair_text(actual_);
}

std::string PortError::debug() const {
  if (variant_ == Variant::Direction) return "Direction(" + quoted(dir_) + ")";
  return "Shape { requested: " + pair_text(requested_) + ", actual: " + pair_text(actual_) + " }";
}

const std::string& SimError::text() const {
  static const std::string empty;
  const std::string* s = std::get_if<std::string>(&payload_);
  return s ? *s : empty;
}

std::uint64_t SimError::number() const {
  const std::uint64_t* n = std::get_if<std::uint64_t>(&payload_);
  return n ? *n : 0;
}

std::string SimError::display() const {
  switch (variant_) {
    case Variant::TopModule:
      return "Missing top module";
    case Variant::MissingCell:
      return "Cell `" + text() + "` doesn't exist";
    case Variant::MissingModule:
      return "No modules given";
    case Variant::TopoOrder:
      return "Module `" + text() + "` missing from topological order";
    case Variant::Cell:
      return cell_error()->display();
    case Variant::Port:
      return port_error()->display();
    case Variant::MissingReset:
      return "No reset configured";
    case Variant::MissingClock:
      return "No clock configured";
    case Variant::MissingNet:
      return "Net `" + std::to_string(number()) + "` doesn't exist";
    case Variant::MissingPort:
      return "Port `" + text() + "` doesn't exist";
    case Variant::Netlist:
      return text();
    case Variant::DoubleAssign:
      return "Signal cannot be configured as both a reset and clock";
    case Variant::Io:
      return text();
    case Variant::BitConversion:
      return bit_error()->display();
    case Variant::ToggleCategory:
      return "Invalid toggle category `" + text() + "`";
    case Variant::Limit:
      return text();
    case Variant::NoSettle:
      return "Design did not settle within " + std::to_string(number()) + " passes";
    case Variant::Interrupted:
      return "Interrupted";
    case Variant::Internal:
      return text();
  }
  return {};
}

std::string SimError::debug() const {
  std::string out = variant_name(variant_);
  if (const auto* c = cell_error()) return out + "(" + c->debug() + ")";
  if (const auto* p = port_error()) return out + "(" + p->debug() + ")";
  if (const auto* b = bit_error()) return out + "(" + b->debug() + ")";
  if (std::holds_alternative<std::string>(payload_)) return out + "(" + quoted(text()) + ")";
  if (std::holds_alternative<std::uint64_t>(payload_)) {
    return out + "(" + std::to_string(number()) + ")";
  }
  return out;
}

}  // namespace vexolin
