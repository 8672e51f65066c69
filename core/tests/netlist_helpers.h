// Netlists from JSON text in tests.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "design.h"
#include "netlist_wrapper/netlist.h"
#include "netlist_wrapper/torder.h"
#include "netlist_wrapper/wrapper.h"

namespace vexolin::testing {

inline Netlist parse_or_fail(const std::string& json) {
  Result<Netlist> n = parse_netlist(json);
  if (!n) {
    ADD_FAILURE() << n.error().display();
    return {};
  }
  return std::move(n).value();
}

inline Result<NetlistWrapper> wrap(const std::string& json, const std::string& torder,
                                   std::optional<std::string> separator = std::nullopt,
                                   std::optional<std::string> top = std::nullopt) {
  return NetlistWrapper::build(parse_or_fail(json), top, Torder::parse(torder), separator);
}

inline Result<Design> design(const std::string& json, const std::string& torder,
                             std::optional<std::string> separator = std::nullopt,
                             const CellMapping* mapping = nullptr) {
  return Design::from_netlist(parse_or_fail(json), Torder::parse(torder), separator, std::nullopt,
                              mapping);
}

/// A one-module netlist "top" from the JSON bodies of its ports, cells and netnames.
inline std::string top_module(const std::string& ports, const std::string& cells,
                              const std::string& netnames) {
  return R"({"modules":{"top":{"attributes":{"top":1},"ports":{)" + ports + R"(},"cells":{)" +
         cells + R"(},"netnames":{)" + netnames + "}}}}";
}

}  // namespace vexolin::testing
