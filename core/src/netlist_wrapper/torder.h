// The topological-order file: per module, its cell names in evaluation order.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "result.h"

namespace vexolin {

/// Module name to its listed cell names, in file order, repeats included. Names are views of
/// the file text, which the table owns.
class Torder {
 public:
  /// The list of `module`, or nullptr.
  const std::vector<std::string_view>* find(std::string_view module) const;
  std::size_t size() const { return modules_.size(); }

  /// Builds the table from file text; never fails on content.
  static Torder parse(std::string text);

 private:
  struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
  };
  std::unique_ptr<std::string> text_;  // heap-held, so the views survive moves of the table
  std::unordered_map<std::string_view, std::vector<std::string_view>, ViewHash, std::equal_to<>>
      modules_;
};

/// Reads an order file as UTF-8 text; an unreadable or non-UTF-8 file is an error.
Result<Torder> read_torder(const std::string& path);

}  // namespace vexolin
