// The core's one error type. Errors are values: returned, never thrown, never printed.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

#include "bit.h"

namespace vexolin {

/// Failure to build a cell from its netlist record.
class CellError {
 public:
  enum class Variant : std::uint8_t { Unsupported };
  static CellError unsupported(std::string type) { return CellError(std::move(type)); }
  Variant variant() const { return Variant::Unsupported; }
  const std::string& type() const { return type_; }
  /// "Unsupported cell `{type}`"
  std::string display() const { return "Unsupported cell `" + type_ + "`"; }
  std::string debug() const { return "Unsupported(\"" + type_ + "\")"; }

 private:
  explicit CellError(std::string t) : type_(std::move(t)) {}
  std::string type_;
};

/// (number of elements, bits per element) of a port.
using PortShape = std::pair<std::uint64_t, std::uint64_t>;

/// Failure concerning a port: an unsupported direction or level, or a shape mismatch.
class PortError {
 public:
  enum class Variant : std::uint8_t { Direction, Shape };
  static PortError direction(std::string dir) {
    return PortError(Variant::Direction, std::move(dir), {}, {});
  }
  static PortError shape(PortShape requested, PortShape actual) {
    return PortError(Variant::Shape, {}, requested, actual);
  }
  Variant variant() const { return variant_; }
  const std::string& dir() const { return dir_; }
  PortShape requested() const { return requested_; }
  PortShape actual() const { return actual_; }
  std::string display() const;
  std::string debug() const;

 private:
  PortError(Variant v, std::string d, PortShape r, PortShape a)
      : variant_(v), dir_(std::move(d)), requested_(r), actual_(a) {}
  Variant variant_;
  std::string dir_;
  PortShape requested_, actual_;
};

/// Every failure the core reports to its caller.
class SimError {
 public:
  enum class Variant : std::uint8_t {
    TopModule,       ///< "Missing top module"
    MissingCell,     ///< "Cell `{name}` doesn't exist"
    MissingModule,   ///< "No modules given"
    TopoOrder,       ///< "Module `{name}` missing from topological order"
    Cell,            ///< a CellError
    Port,            ///< a PortError
    MissingReset,    ///< "No reset configured"
    MissingClock,    ///< "No clock configured"
    MissingNet,      ///< "Net `{net}` doesn't exist"
    MissingPort,     ///< "Port `{name}` doesn't exist"
    Netlist,         ///< the JSON reader's message, ending in " at line {l} column {c}"
    DoubleAssign,    ///< "Signal cannot be configured as both a reset and clock"
    Io,              ///< a file could not be read: the operating system's (or decoder's) text
    BitConversion,   ///< a BitError
    ToggleCategory,  ///< "Invalid toggle category `{category}`"
    Limit,           ///< input beyond what the simulator accepts; the text says which limit
    NoSettle,        ///< "Design did not settle within {passes} passes"
    Interrupted,     ///< a long run stopped by the caller's interrupt hook
    Internal,        ///< a malformed cell record (missing pin and the like): not a user error
  };

  static SimError top_module() { return SimError(Variant::TopModule); }
  static SimError missing_cell(std::string name) {
    return SimError(Variant::MissingCell, std::move(name));
  }
  static SimError missing_module() { return SimError(Variant::MissingModule); }
  static SimError topo_order(std::string module) {
    return SimError(Variant::TopoOrder, std::move(module));
  }
  static SimError cell(CellError e) { return SimError(Variant::Cell, std::move(e)); }
  static SimError port(PortError e) { return SimError(Variant::Port, std::move(e)); }
  static SimError missing_reset() { return SimError(Variant::MissingReset); }
  static SimError missing_clock() { return SimError(Variant::MissingClock); }
  static SimError missing_net(std::uint64_t net) { return SimError(Variant::MissingNet, net); }
  static SimError missing_port(std::string name) {
    return SimError(Variant::MissingPort, std::move(name));
  }
  static SimError netlist(std::string message) {
    return SimError(Variant::Netlist, std::move(message));
  }
  static SimError double_assign() { return SimError(Variant::DoubleAssign); }
  static SimError io(std::string message) { return SimError(Variant::Io, std::move(message)); }
  static SimError bit(BitError e) { return SimError(Variant::BitConversion, std::move(e)); }
  static SimError toggle_category(std::string c) {
    return SimError(Variant::ToggleCategory, std::move(c));
  }
  static SimError limit(std::string message) {
    return SimError(Variant::Limit, std::move(message));
  }
  static SimError no_settle(std::uint64_t passes) { return SimError(Variant::NoSettle, passes); }
  static SimError interrupted() { return SimError(Variant::Interrupted); }
  static SimError internal(std::string message) {
    return SimError(Variant::Internal, std::move(message));
  }

  Variant variant() const { return variant_; }
  /// The text payload (names, messages), empty for variants without one.
  const std::string& text() const;
  /// The numeric payload of MissingNet and NoSettle.
  std::uint64_t number() const;
  const CellError* cell_error() const { return std::get_if<CellError>(&payload_); }
  const PortError* port_error() const { return std::get_if<PortError>(&payload_); }
  const BitError* bit_error() const { return std::get_if<BitError>(&payload_); }

  /// The fixed message, exactly, without a trailing newline or period.
  std::string display() const;
  /// The variant name followed by its payload, as in MissingNet(12).
  std::string debug() const;

 private:
  using Payload =
      std::variant<std::monostate, std::string, std::uint64_t, CellError, PortError, BitError>;
  explicit SimError(Variant v, Payload p = {}) : variant_(v), payload_(std::move(p)) {}
  Variant variant_;
  Payload payload_;
};

}  // namespace vexolin
