// Any text through the order-file parser, which never fails on content. The names it returns
// are views into the table's copy of the text, so they are read after the table has moved.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "netlist_wrapper/torder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  vexolin::Torder parsed = vexolin::Torder::parse(text);
  const vexolin::Torder table = std::move(parsed);
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(start, end - start);
    if (const std::size_t at = line.find("module "); at != std::string_view::npos) {
      std::string_view name = line.substr(at + 7);
      if (const std::size_t dollar = name.find('$'); dollar != std::string_view::npos) {
        name.remove_prefix(dollar + 1);
      }
      if (const auto* cells = table.find(name)) {
        // A cell line never spans a line feed.
        for (std::string_view cell : *cells) {
          if (cell.find('\n') != std::string_view::npos) std::abort();
        }
      }
    }
    start = end + 1;
  }
  return 0;
}
