#include "netlist_wrapper/netlist.h"

namespace vexolin {

std::optional<std::string_view> as_str(const AttributeVal& value) {
  const std::string* s = std::get_if<std::string>(&value);
  if (!s) return std::nullopt;
  // Yosys marks text by making sure it holds something other than bit digits.
  if (s->find_first_not_of("01xz") == std::string::npos) return std::nullopt;
  std::string_view text(*s);
  if (text.back() == ' ') text.remove_suffix(1);
  return text;
}

std::string_view direction_name(PortDirection d) {
  switch (d) {
    case PortDirection::Input:
      return "input";
    case PortDirection::Output:
      return "output";
    case PortDirection::Inout:
      return "inout";
  }
  return "input";
}

}  // namespace vexolin
