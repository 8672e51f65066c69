// A strict, non-recursive JSON syntax check. The On-Demand reader validates only what it
// consumes; this fills the gaps: values it skips, and locating faults it reports without a
// useful position.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace vexolin {

struct JsonSyntaxFault {
  std::size_t offset;  ///< byte offset of the offending character; the text's size at its end
  std::string_view message;
};

/// The first fault of `text` read as exactly one JSON value with optional white space around
/// it, or nothing when it is well-formed. Nesting depth is unbounded.
std::optional<JsonSyntaxFault> find_json_syntax_fault(std::string_view text);

/// 1-based line and column (in bytes) of `offset` within `text`.
struct TextPosition {
  std::size_t line;
  std::size_t column;
};
TextPosition text_position(std::string_view text, std::size_t offset);

}  // namespace vexolin
