// Running one word-level cell on given operand values, and a plain bit-vector reference model to
// check it against: ripple-carry addition, shift-and-add multiplication, restoring division.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cell_helpers.h"

namespace vexolin::testing {

/// Bits written most significant first ("1,0,1" or "101"); characters other than 0 and 1 are
/// separators.
inline BitVec msb(std::string_view text) {
  BitVec v;
  for (char c : text) {
    if (c == '0' || c == '1') v.push_back(Bit(c - '0'));
  }
  std::reverse(v.begin(), v.end());
  return v;
}

/// Most significant first, for failure messages.
inline std::string show(const BitVec& v) {
  std::string s;
  for (std::size_t i = v.size(); i-- > 0;) s.push_back(char('0' + v[i]));
  return s.empty() ? "(empty)" : s;
}

/// `width` bits of an unsigned number, least significant first.
inline BitVec bits_of(std::uint64_t value, std::size_t width) {
  BitVec v(width);
  for (std::size_t i = 0; i < width && i < 64; ++i) v[i] = Bit((value >> i) & 1);
  return v;
}

using Operands = std::vector<std::pair<std::string, BitVec>>;

/// One word-level cell on its own nets: operands first, in the order given, then Y.
struct WordCell {
  Bench bench;
  std::vector<NetId> y;

  WordCell(const std::string& type, const Operands& operands, std::size_t y_width,
           const ParameterMap& parameters = {})
      : bench(static_cast<NetId>(2 + y_width + total(operands))) {
    ConnectionMap c;
    NetId next = 2;
    for (const auto& [pin, value] : operands) {
      std::vector<NetId>& nets = c[pin];
      for (Bit b : value) {
        nets.push_back(next);
        bench.store.set(next++, b);
      }
    }
    for (std::size_t i = 0; i < y_width; ++i) y.push_back(next++);
    c["Y"] = y;
    bench.add(type, c, parameters);
  }

  /// Gives Y's nets values before the cell runs, so that bits the cell leaves alone show.
  void preset_y(const BitVec& values) {
    for (std::size_t i = 0; i < y.size() && i < values.size(); ++i)
      bench.store.set(y[i], values[i]);
  }
  BitVec settle_y() {
    bench.settle();
    return y_values();
  }
  BitVec y_values() const {
    BitVec v;
    for (NetId n : y) v.push_back(bench.store.get(n));
    return v;
  }

 private:
  static std::size_t total(const Operands& operands) {
    std::size_t n = 0;
    for (const auto& o : operands) n += o.second.size();
    return n;
  }
};

/// Y of a freshly built cell after settling from the given operands, Y's nets preset to `preset`.
inline BitVec run_cell(const std::string& type, const Operands& operands, std::size_t y_width,
                       const ParameterMap& parameters = {}, Bit preset = 0) {
  WordCell cell(type, operands, y_width, parameters);
  cell.preset_y(BitVec(y_width, preset));
  return cell.settle_y();
}

inline ParameterMap signed_if(bool sign) {
  return sign ? ParameterMap{{"A_SIGNED", 1}, {"B_SIGNED", 1}}
              : ParameterMap{{"A_SIGNED", 0}, {"B_SIGNED", 0}};
}

namespace ref {

/// `v` cut or extended to `n` bits; the fill is the top bit when signed, else 0.
inline BitVec extend(const BitVec& v, std::size_t n, bool sign) {
  BitVec out(n, Bit(sign && !v.empty() ? v.back() : 0));
  std::copy_n(v.begin(), std::min(n, v.size()), out.begin());
  return out;
}

inline BitVec invert(BitVec v) {
  for (Bit& b : v) b ^= 1;
  return v;
}

/// Ripple-carry sum of two equally wide vectors, carry out dropped.
inline BitVec add(const BitVec& a, const BitVec& b, Bit carry = 0) {
  BitVec s(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    s[i] = Bit(a[i] ^ b[i] ^ carry);
    carry = Bit((a[i] & b[i]) | (a[i] & carry) | (b[i] & carry));
  }
  return s;
}

inline BitVec sub(const BitVec& a, const BitVec& b) {
  return add(a, invert(b), 1);
}

inline BitVec negate(const BitVec& a) {
  return add(invert(a), BitVec(a.size(), 0), 1);
}

inline BitVec mul(const BitVec& a, const BitVec& b) {
  BitVec acc(a.size(), 0);
  for (std::size_t i = 0; i < b.size(); ++i) {
    if (!b[i]) continue;
    BitVec shifted(a.size(), 0);
    for (std::size_t j = i; j < a.size(); ++j) shifted[j] = a[j - i];
    acc = add(acc, shifted);
  }
  return acc;
}

inline bool is_zero(const BitVec& v) {
  return std::all_of(v.begin(), v.end(), [](Bit b) { return b == 0; });
}

/// Unsigned a < b for equally wide vectors, from the top bit down.
inline bool less_unsigned(const BitVec& a, const BitVec& b) {
  for (std::size_t i = a.size(); i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i];
  }
  return false;
}

inline bool less_signed(const BitVec& a, const BitVec& b) {
  if (!a.empty() && a.back() != b.back()) return a.back() == 1;
  return less_unsigned(a, b);
}

/// Restoring division of equally wide unsigned vectors with a non-zero divisor.
inline std::pair<BitVec, BitVec> divmod_unsigned(const BitVec& a, const BitVec& b) {
  const std::size_t n = a.size();
  BitVec q(n, 0), r(n + 1, 0);
  const BitVec d = extend(b, n + 1, false);
  for (std::size_t i = n; i-- > 0;) {
    for (std::size_t j = n; j > 0; --j) r[j] = r[j - 1];
    r[0] = a[i];
    if (!less_unsigned(r, d)) {
      r = sub(r, d);
      q[i] = 1;
    }
  }
  r.pop_back();
  return {q, r};
}

/// Quotient and remainder, truncating; a zero divisor gives all ones and the dividend.
inline std::pair<BitVec, BitVec> divmod(const BitVec& a, const BitVec& b, bool sign) {
  if (is_zero(b)) return {BitVec(a.size(), 1), a};
  if (!sign || a.empty()) return divmod_unsigned(a, b);
  const bool neg_a = a.back() == 1, neg_b = b.back() == 1;
  auto [q, r] = divmod_unsigned(neg_a ? negate(a) : a, neg_b ? negate(b) : b);
  return {neg_a != neg_b ? negate(q) : q, neg_a ? negate(r) : r};
}

/// The unsigned value of a shift amount or select, capped far beyond any width in the tests.
inline std::size_t amount(const BitVec& b) {
  constexpr std::size_t cap = 1u << 20;
  std::size_t v = 0;
  for (std::size_t i = b.size(); i-- > 0;) v = std::min(cap, v * 2 + b[i]);
  return v;
}

/// The expected Y of a word-level kind, written from the kinds' definitions on bit vectors.
inline BitVec expect(const std::string& type, const BitVec& a, const BitVec& b, std::size_t y,
                     bool sign) {
  if (type == "$and" || type == "$or" || type == "$xor") {
    const BitVec ea = extend(a, y, sign), eb = extend(b, y, sign);
    BitVec out(y);
    for (std::size_t i = 0; i < y; ++i) {
      out[i] = type == "$and"  ? Bit(ea[i] & eb[i])
               : type == "$or" ? Bit(ea[i] | eb[i])
                               : Bit(ea[i] ^ eb[i]);
    }
    return out;
  }
  if (type == "$not") return invert(extend(a, y, sign));
  if (type == "$pos") return extend(a, y, sign);
  if (type == "$shl" || type == "$shr") {
    const std::size_t w = std::max(a.size(), y), amt = amount(b);
    const BitVec e = extend(a, w, sign);
    const Bit fill = Bit(sign && w > 0 ? e[w - 1] : 0);
    BitVec out(y);
    for (std::size_t i = 0; i < y; ++i) {
      if (type == "$shl") {
        out[i] = i >= amt ? e[i - amt] : Bit(0);
      } else {
        out[i] = i + amt < w ? e[i + amt] : fill;
      }
    }
    return out;
  }
  const std::size_t n = y <= 64 ? 64 : 128;
  const BitVec ea = extend(a, n, sign), eb = extend(b, n, sign);
  const auto flag = [y](bool v) {
    BitVec out(y, 0);
    if (y > 0) out[0] = Bit(v);
    return out;
  };
  const auto less = [sign](const BitVec& l, const BitVec& r) {
    return sign ? less_signed(l, r) : less_unsigned(l, r);
  };
  if (type == "$eq") return flag(ea == eb);
  if (type == "$ne") return flag(ea != eb);
  if (type == "$lt") return flag(less(ea, eb));
  if (type == "$le") return flag(!less(eb, ea));
  if (type == "$gt") return flag(less(eb, ea));
  if (type == "$ge") return flag(!less(ea, eb));
  BitVec r;
  if (type == "$add") r = add(ea, eb);
  if (type == "$sub") r = sub(ea, eb);
  if (type == "$mul") r = mul(ea, eb);
  if (type == "$neg") r = negate(ea);
  if (type == "$div") r = divmod(ea, eb, sign).first;
  if (type == "$mod") r = divmod(ea, eb, sign).second;
  EXPECT_EQ(r.size(), n) << "no reference for " << type;
  return extend(r, y, sign);
}

}  // namespace ref

/// Seeded operand generator: widths and bit patterns that favour the edges (zero, all ones, a
/// lone top or bottom bit) besides uniform random bits.
class OperandGen {
 public:
  explicit OperandGen(std::uint64_t seed) : rng_(seed) {}

  std::size_t width(std::size_t max) {
    static constexpr std::size_t edges[] = {0, 1, 2, 63, 64, 65, 127, 128, 129, 130};
    if (pick(4) == 0) {
      const std::size_t w = edges[pick(std::size(edges))];
      if (w <= max) return w;
    }
    return pick(max + 1);
  }

  BitVec bits(std::size_t width) {
    BitVec v(width, 0);
    switch (pick(6)) {
      case 0:
        break;
      case 1:
        std::fill(v.begin(), v.end(), Bit(1));
        break;
      case 2:
        if (width) v.back() = 1;
        break;
      case 3:
        if (width) v.front() = 1;
        break;
      default:
        for (Bit& b : v) b = Bit(pick(2));
    }
    return v;
  }

  std::size_t pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
  }

 private:
  std::mt19937_64 rng_;
};

}  // namespace vexolin::testing
