// The ASAP7 AND-OR families (AO, AOI, OA, OAI), each kind derived at compile time from its name.
#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <utility>

#include "cell/simcells/asap7.h"

namespace vexolin {
namespace {

using sv = std::string_view;

struct Family {
  const char* name;
  sv drives;
};

constexpr Family kFamilies[] = {
    {"AO21", "x1 x2"},        {"AO211", "x2"},      {"AO22", "x1 x2"},
    {"AO221", "x1 x2"},       {"AO222", "x2"},      {"AO31", "x2"},
    {"AO32", "x1 x2"},        {"AO322", "x2"},      {"AO33", "x2"},
    {"AO331", "x1 x2"},       {"AO332", "x1 x2"},   {"AO333", "x1 x2"},
    {"AOI21", "x1 xp33 xp5"}, {"AOI211", "x1 xp5"}, {"AOI22", "x1 xp33 xp5"},
    {"AOI221", "x1 xp5"},     {"AOI222", "xp33"},   {"AOI31", "xp33 xp67"},
    {"AOI311", "xp33"},       {"AOI32", "xp33"},    {"AOI321", "xp33"},
    {"AOI322", "xp5"},        {"AOI33", "xp33"},    {"AOI331", "xp33"},
    {"AOI332", "xp33"},       {"AOI333", "xp33"},   {"OA21", "x2"},
    {"OA211", "x2"},          {"OA22", "x2"},       {"OA221", "x2"},
    {"OA222", "x2"},          {"OA31", "x2"},       {"OA33", "x2"},
    {"OA331", "x1 x2"},       {"OA332", "x1 x2"},   {"OA333", "x1 x2"},
    {"OAI21", "x1 xp33 xp5"}, {"OAI211", "xp5"},    {"OAI22", "x1 xp33 xp5"},
    {"OAI221", "xp5"},        {"OAI222", "xp33"},   {"OAI31", "xp33 xp67"},
    {"OAI311", "xp33"},       {"OAI32", "xp33"},    {"OAI321", "xp33"},
    {"OAI322", "xp33"},       {"OAI33", "xp33"},    {"OAI331", "xp33"},
    {"OAI332", "xp33"},       {"OAI333", "xp33"},
};

// The library names a one-input group by its letter alone (B), except in these cells (B1).
constexpr sv kNumberedSingles[] = {"OA31", "OA331", "OAI311", "OAI331", "AOI331"};
static_assert(std::ranges::all_of(kNumberedSingles, [](sv n) {
  return std::ranges::any_of(kFamilies, [n](const Family& f) { return n == f.name; });
}));

/// What a family name says: the prefix's two levels and the size of each input group.
struct Shape {
  bool and_first = false;  ///< AO, AOI: OR of ANDs; OA, OAI: AND of ORs
  bool invert = false;
  bool numbered_singles = false;
  std::size_t groups = 0;
  std::array<std::size_t, 3> size{};
  std::array<std::size_t, 3> first{};  ///< index of each group's first input
  std::size_t inputs = 0;
};

constexpr Shape shape_of(sv name) {
  Shape s;
  s.and_first = name.starts_with("AO");
  if (!s.and_first && !name.starts_with("OA")) throw "family name must start with AO or OA";
  name.remove_prefix(2);
  s.invert = name.starts_with("I");
  if (s.invert) name.remove_prefix(1);
  if (name.size() < 2 || name.size() > s.size.size()) throw "family name needs 2 or 3 digits";
  for (char c : name) {
    if (c < '1' || c > '3') throw "group sizes are 1 to 3";
    s.first[s.groups] = s.inputs;
    s.size[s.groups] = std::size_t(c - '0');
    s.inputs += s.size[s.groups++];
  }
  return s;
}

template <std::size_t I>
struct AndOr {
  static constexpr Family family = kFamilies[I];
  static constexpr Shape shape = [] {
    Shape s = shape_of(family.name);
    for (sv n : kNumberedSingles) s.numbered_singles |= n == family.name;
    return s;
  }();

  static constexpr const char* kind_name = family.name;
  static constexpr std::array<asap7::NameGroup, 1> names{{{family.name, family.drives}}};
  static constexpr auto pins = [] {
    constexpr sv kGroupPins[3][4] = {
        {"A", "A1", "A2", "A3"}, {"B", "B1", "B2", "B3"}, {"C", "C1", "C2", "C3"}};
    std::array<sv, shape.inputs + 1> p{};
    std::size_t k = 0;
    for (std::size_t g = 0; g < shape.groups; ++g) {
      const bool bare = shape.size[g] == 1 && !shape.numbered_singles;
      for (std::size_t j = 0; j < shape.size[g]; ++j) p[k++] = kGroupPins[g][bare ? 0 : j + 1];
    }
    p[k] = "Y";
    return p;
  }();
  static constexpr std::size_t outputs = 1;

  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit(combine(in, std::make_index_sequence<shape.groups>()) ^ Bit(shape.invert));
  }

  // Folds over index packs rather than loops, so that each kind compiles to straight-line code.
  template <std::size_t... G>
  static Bit combine(const Bit* in, std::index_sequence<G...>) {
    if constexpr (shape.and_first) {
      return Bit((group<G>(in, std::make_index_sequence<shape.size[G]>()) | ...));
    } else {
      return Bit((group<G>(in, std::make_index_sequence<shape.size[G]>()) & ...));
    }
  }

  /// The inner term of group G: the AND (AO, AOI) or OR (OA, OAI) of its pins.
  template <std::size_t G, std::size_t... J>
  static Bit group(const Bit* in, std::index_sequence<J...>) {
    constexpr std::size_t first = shape.first[G];
    if constexpr (shape.and_first) {
      return Bit((in[first + J] & ...));
    } else {
      return Bit((in[first + J] | ...));
    }
  }
};

// One registration object per table row, all in one static.
template <std::size_t... I>
struct Registrars {
  std::tuple<CellKindRegistrar<asap7::Kind<AndOr<I>>>...> kinds;
};

template <std::size_t... I>
Registrars<I...> registrars_for(std::index_sequence<I...>);

[[maybe_unused]] const decltype(registrars_for(
    std::make_index_sequence<std::size(kFamilies)>())) and_or_registrars{};

}  // namespace
}  // namespace vexolin
