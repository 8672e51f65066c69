#include "netlist_wrapper/torder.h"

#include <utility>

#include "file_io.h"
#include "text.h"

namespace vexolin {

const std::vector<std::string_view>* Torder::find(std::string_view module) const {
  const auto it = modules_.find(module);
  return it == modules_.end() ? nullptr : &it->second;
}

Torder Torder::parse(std::string text) {
  Torder table;
  table.text_ = std::make_unique<std::string>(std::move(text));
  const std::string_view all(*table.text_);
  std::vector<std::string_view>* current = nullptr;
  std::size_t start = 0;
  while (start <= all.size()) {
    std::size_t end = all.find('\n', start);
    if (end == std::string_view::npos) end = all.size();
    const std::string_view line = trim_space(all.substr(start, end - start));
    start = end + 1;
    if (line.starts_with("module ")) {
      std::string_view name = line.substr(7);
      if (const std::size_t dollar = name.find('$'); dollar != std::string_view::npos) {
        name.remove_prefix(dollar + 1);
      }
      current = &table.modules_[name];
      current->clear();
    } else if (current && line.starts_with("cell ")) {
      current->push_back(line.substr(5));
    }
  }
  return table;
}

Result<Torder> read_torder(const std::string& path) {
  auto text = read_file(path);
  if (!text.ok()) return std::move(text).error();
  if (!is_valid_utf8(text.value())) return SimError::io("stream did not contain valid UTF-8");
  return Torder::parse(std::move(text).value());
}

}  // namespace vexolin
