// Reading whole input files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "result.h"

namespace vexolin {

/// The file's bytes, with at least `padding` spare bytes of capacity behind them (for parsers
/// that read ahead). Failure carries the operating system's error text.
Result<std::string> read_file(const std::string& path, std::size_t padding = 0);

/// True when `text` is well-formed UTF-8.
bool is_valid_utf8(std::string_view text);

}  // namespace vexolin
