// Shared machinery of the word-level kinds: building their id lists and moving operands between
// nets and machine integers without a detour through bit vectors.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <string_view>
#include <utility>

#include "cell/mod.h"

namespace vexolin::word {

__extension__ typedef __int128 i128;

/// The `signed` payload flag, kept in CellInstance::flags.
inline constexpr std::uint8_t kSigned = 1;

using Ids = std::span<const NetId>;
using PinNames2 = std::array<std::string_view, 2>;
using PinNames3 = std::array<std::string_view, 3>;
using PinNames4 = std::array<std::string_view, 4>;

inline constexpr PinNames2 kAY{"A", "Y"};
inline constexpr PinNames3 kABY{"A", "B", "Y"};

/// Which parameters decide the `signed` flag.
enum class SignedFrom : std::uint8_t {
  nothing,     ///< the kind has no flag
  a_or_b,      ///< A_SIGNED or B_SIGNED non-zero; absent ones count as 0
  a,           ///< A_SIGNED non-zero; absent counts as 0
  a_required,  ///< A_SIGNED non-zero; absent is an internal failure
};

inline bool is_signed(const CellInstance& cell) {
  return (cell.flags & kSigned) != 0;
}

namespace detail {
template <std::size_t L, std::size_t... I>
void store_all(CellInstance& cell, const std::array<Ids, L>& lists, std::index_sequence<I...>) {
  store_lists(cell, {lists[I]...});
}
}  // namespace detail

/// A record of kind K whose lists are the pins `names`, in that order, and whose flag follows
/// `rule`. Prints the connection block first when `print_connections` is set.
template <class K, std::size_t L>
Result<CellInstance> build_lists(const ConnectionMap& connections, const ParameterMap& parameters,
                                 const std::array<std::string_view, L>& names, SignedFrom rule,
                                 bool print_connections = true) {
  if (print_connections) debug_connections(connections);
  std::array<Ids, L> lists;
  for (std::size_t i = 0; i < L; ++i) {
    Result<const std::vector<NetId>*> list = list_pin(connections, names[i]);
    if (!list) return std::move(list).error();
    lists[i] = **list;
  }
  CellInstance cell = new_cell<K>();
  detail::store_all(cell, lists, std::make_index_sequence<L>{});
  switch (rule) {
    case SignedFrom::nothing:
      break;
    case SignedFrom::a_or_b:
      if (parameter_or_zero(parameters, "A_SIGNED") != 0 ||
          parameter_or_zero(parameters, "B_SIGNED") != 0) {
        cell.flags |= kSigned;
      }
      break;
    case SignedFrom::a:
      if (parameter_or_zero(parameters, "A_SIGNED") != 0) cell.flags |= kSigned;
      break;
    case SignedFrom::a_required: {
      Result<std::uint32_t> a_signed = required_parameter(parameters, "A_SIGNED");
      if (!a_signed) return std::move(a_signed).error();
      if (*a_signed != 0) cell.flags |= kSigned;
      break;
    }
  }
  return cell;
}

/// The nets of a combinational word-level kind with `lists` id lists, the last one its output,
/// and `singles` single-bit input pins in the slots after the lists.
inline void combinational_nets(const CellInstance& cell, unsigned lists, std::size_t singles,
                               const NetVisitor& visit) {
  for (unsigned k = 0; k < lists; ++k) {
    const NetUse use = k + 1 == lists ? NetUse::Write : NetUse::Read;
    for (const NetId net : cell.list(k)) visit(net, use);
  }
  for (std::size_t i = 0; i < singles; ++i) visit(cell.pin[lists + i], NetUse::Read);
}

/// The operand's first N bits as an N-bit integer, extended from its own top bit when `sign` is
/// set and it is shorter than N. An empty operand is 0.
template <class Int>
Int read_int(const SignalStore& store, Ids ids, bool sign) {
  constexpr std::size_t n = sizeof(Int) * 8;
  const std::size_t len = ids.size() < n ? ids.size() : n;
  Int v = 0;
  for (std::size_t i = 0; i < len; ++i) v |= Int(store.get(ids[i])) << i;
  if (sign && !ids.empty() && ids.size() < n && store.get(ids.back()) != 0) {
    v |= ~Int(0) << ids.size();
  }
  return v;
}

/// Writes `v` to Y from bit 0: its low N bits, then copies of bit N - 1 (`sign`) or zeros.
template <class Int>
void write_int(SignalStore& store, Ids y, Int v, bool sign) {
  constexpr std::size_t n = sizeof(Int) * 8;
  const std::size_t len = y.size() < n ? y.size() : n;
  for (std::size_t i = 0; i < len; ++i) store.set(y[i], Bit((v >> i) & 1));
  const Bit fill = sign ? Bit((v >> (n - 1)) & 1) : Bit(0);
  for (std::size_t i = len; i < y.size(); ++i) store.set(y[i], fill);
}

/// The unsigned value of the nets, saturated to the largest 64-bit value when a bit at 64 or
/// above is set: every user (shift amounts, select inputs) treats both as "beyond any list".
inline std::uint64_t read_saturated(const SignalStore& store, Ids ids) {
  for (std::size_t i = 64; i < ids.size(); ++i) {
    if (store.get(ids[i]) != 0) return std::numeric_limits<std::uint64_t>::max();
  }
  return read_int<std::uint64_t>(store, ids, false);
}

/// Copies the values of the first `count` nets into `out`.
inline void read_bits(const SignalStore& store, Ids ids, std::size_t count, Bit* out) {
  for (std::size_t i = 0; i < count; ++i) out[i] = store.get(ids[i]);
}

/// An operand read into a buffer up to a width, with the bit that extends it beyond its end.
struct Extended {
  const Bit* bits;
  std::size_t read;  ///< bits held in `bits`
  Bit fill;
  Bit operator[](std::size_t i) const { return i < read ? bits[i] : fill; }
};

/// Reads the first min(|ids|, width) bits of an operand into `buffer`. The fill is the operand's
/// top bit when `sign` is set and the whole operand fits the width; otherwise 0 (the fill is
/// then either unused or the extension of an empty operand).
inline Extended read_extended(const SignalStore& store, Ids ids, std::size_t width, bool sign,
                              Bit* buffer) {
  const std::size_t read = ids.size() < width ? ids.size() : width;
  read_bits(store, ids, read, buffer);
  const Bit fill = (sign && read == ids.size() && read > 0) ? buffer[read - 1] : Bit(0);
  return {buffer, read, fill};
}

}  // namespace vexolin::word
