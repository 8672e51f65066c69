// Small text helpers shared by the readers and the naming rules.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vexolin {

/// Hash of text that lets string-keyed maps be searched by string view without a copy.
struct TextHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

/// Byte length of the Unicode white-space character starting at `at`, or 0 if there is none.
std::size_t space_length_at(std::string_view text, std::size_t at);

/// `text` without Unicode white space at either end.
std::string_view trim_space(std::string_view text);

/// `text` in double quotes, with backslashes, quotes and control characters escaped as Rust's
/// Debug form shows a string (\n, \t, \u{1f}, ...).
std::string debug_quoted(std::string_view text);

/// `text` with every Unicode white-space character removed.
std::string remove_space(std::string_view text);

}  // namespace vexolin
