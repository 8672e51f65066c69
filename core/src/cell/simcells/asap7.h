// Type names of the ASAP7 standard-cell kinds, assembled at compile time from stems and drive
// strengths so that each kind states its library cells once, in the library's own terms.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

#include "cell/simcells/single_bit.h"

namespace vexolin::asap7 {

inline constexpr std::string_view kLibrarySuffix = "_ASAP7_75t_R";

/// Stems that share one set of drive suffixes; both lists are separated by single spaces.
struct NameGroup {
  std::string_view stems;
  std::string_view drives;
};

/// Calls f on each space-separated word of s.
template <class F>
constexpr void for_each_word(std::string_view s, F f) {
  while (!s.empty()) {
    const std::size_t end = s.find(' ');
    f(s.substr(0, end));
    if (end == std::string_view::npos) break;
    s.remove_prefix(end + 1);
  }
}

/// Calls f(stem, drive) for every type name of the groups, stems in order, drives within each.
template <class F>
constexpr void for_each_name(std::span<const NameGroup> groups, F f) {
  for (const NameGroup& g : groups) {
    for_each_word(g.stems, [&](std::string_view stem) {
      for_each_word(g.drives, [&](std::string_view drive) { f(stem, drive); });
    });
  }
}

constexpr std::size_t name_count(std::span<const NameGroup> groups) {
  std::size_t n = 0;
  for_each_name(groups, [&](std::string_view, std::string_view) { ++n; });
  return n;
}

constexpr std::size_t text_size(std::span<const NameGroup> groups) {
  std::size_t n = 0;
  for_each_name(groups, [&](std::string_view stem, std::string_view drive) {
    n += stem.size() + drive.size() + kLibrarySuffix.size();
  });
  return n;
}

/// Every type name of D, end to end.
template <class D>
inline constexpr auto kNameText = [] {
  std::array<char, text_size(D::names)> text{};
  std::size_t at = 0;
  for_each_name(D::names, [&](std::string_view stem, std::string_view drive) {
    for (std::string_view part : {stem, drive, kLibrarySuffix}) {
      for (char c : part) text[at++] = c;
    }
  });
  return text;
}();

/// The type names of D as views into kNameText.
template <class D>
inline constexpr auto kTypeNames = [] {
  std::array<std::string_view, name_count(D::names)> names{};
  const char* at = kNameText<D>.data();
  std::size_t i = 0;
  for_each_name(D::names, [&](std::string_view stem, std::string_view drive) {
    const std::size_t len = stem.size() + drive.size() + kLibrarySuffix.size();
    names[i++] = std::string_view(at, len);
    at += len;
  });
  return names;
}();

/// A single-bit kind definition D (without type names) completed with its library names; D
/// provides `names`, an array of NameGroup.
template <class D>
struct Cell : D {
  static constexpr auto type_names = kTypeNames<D>;
};

/// The kind of standard cell D.
template <class D>
using Kind = SingleBitKind<Cell<D>>;

}  // namespace vexolin::asap7
