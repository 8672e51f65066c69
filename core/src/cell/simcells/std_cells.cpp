// The ASAP7 standard cells other than the AND-OR families and the flip-flops.
#include <array>
#include <cstddef>
#include <string_view>

#include "cell/simcells/asap7.h"

namespace vexolin {
namespace {

using sv = std::string_view;
using asap7::NameGroup;

inline Bit maj(Bit a, Bit b, Bit c) {
  return Bit((a & b) | (a & c) | (b & c));
}

struct BufLogic {
  static constexpr auto pins = std::to_array<sv>({"A", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) { out[0] = in[0]; }
};

struct InvLogic {
  static constexpr auto pins = std::to_array<sv>({"A", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) { out[0] = Bit(in[0] ^ 1); }
};

/// AND (Any false) or OR (Any true) over N inputs A, B, C, ..., optionally inverted.
template <std::size_t N, bool Any, bool Invert>
struct NaryLogic {
  static constexpr auto pins = [] {
    constexpr std::array<sv, 5> letters{"A", "B", "C", "D", "E"};
    static_assert(N >= 2 && N <= letters.size());
    std::array<sv, N + 1> p{};
    for (std::size_t i = 0; i < N; ++i) p[i] = letters[i];
    p[N] = "Y";
    return p;
  }();
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) {
    Bit y = in[0];
    for (std::size_t i = 1; i < N; ++i) y = Any ? Bit(y | in[i]) : Bit(y & in[i]);
    out[0] = Bit(y ^ Bit(Invert));
  }
};

template <bool Invert>
struct XorLogic {
  static constexpr auto pins = std::to_array<sv>({"A", "B", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) { out[0] = Bit(in[0] ^ in[1] ^ Bit(Invert)); }
};

template <bool Invert>
struct MajLogic {
  static constexpr auto pins = std::to_array<sv>({"A", "B", "C", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit(maj(in[0], in[1], in[2]) ^ Bit(Invert));
  }
};

struct FullAdderLogic {
  static constexpr auto pins = std::to_array<sv>({"A", "B", "CI", "SN", "CON"});
  static constexpr std::size_t outputs = 2;
  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit(in[0] ^ in[1] ^ in[2] ^ 1);
    out[1] = Bit(maj(in[0], in[1], in[2]) ^ 1);
  }
};

struct HalfAdderLogic {
  static constexpr auto pins = std::to_array<sv>({"A", "B", "SN", "CON"});
  static constexpr std::size_t outputs = 2;
  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit(in[0] ^ in[1] ^ 1);
    out[1] = Bit((in[0] & in[1]) ^ 1);
  }
};

template <Bit Value>
struct TieLogic {
  static constexpr auto pins = std::to_array<sv>({Value ? "H" : "L"});
  static constexpr std::size_t outputs = 1;
  // The input buffer of a kind without inputs is never filled; a const pointer to it would make
  // GCC report a read of uninitialised memory.
  static void compute(Bit*, Bit* out) { out[0] = Value; }
};

struct O2A1O1ILogic {
  static constexpr auto pins = std::to_array<sv>({"A1", "A2", "B", "C", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit((((in[0] | in[1]) & in[2]) | in[3]) ^ 1);
  }
};

struct A2O1A1ILogic {
  static constexpr auto pins = std::to_array<sv>({"A1", "A2", "B", "C", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit((((in[0] & in[1]) | in[2]) & in[3]) ^ 1);
  }
};

struct A2O1A1O1ILogic {
  static constexpr auto pins = std::to_array<sv>({"A1", "A2", "B", "C", "D", "Y"});
  static constexpr std::size_t outputs = 1;
  static void compute(const Bit* in, Bit* out) {
    out[0] = Bit(((((in[0] & in[1]) | in[2]) & in[3]) | in[4]) ^ 1);
  }
};

// One kind: its name, its logic and its library cells as stem and drive groups.
#define VEXOLIN_STD_CELL(Name, KindName, Groups, ...)              \
  struct Name : __VA_ARGS__ {                                      \
    static constexpr const char* kind_name = KindName;             \
    static constexpr auto names = std::to_array<NameGroup> Groups; \
  };                                                               \
  VEXOLIN_REGISTER_CELL(Name, asap7::Kind<Name>)

VEXOLIN_STD_CELL(Buf, "BUF",
                 ({{"BUF", "x10 x12 x12f x16f x24 x2 x3 x4 x4f x5 x6f x8"},
                   {"HB1 HB2 HB3 HB4", "xp67"}}),
                 BufLogic);
VEXOLIN_STD_CELL(Inv, "INV",
                 ({{"CKINVDC", "x10 x11 x12 x14 x16 x20 x5p33 x6p67 x8 x9p33"},
                   {"INV", "x11 x13 x1 x2 x3 x4 x5 x6 x8 xp33 xp67"}}),
                 InvLogic);

VEXOLIN_STD_CELL(And2, "AND2", ({{"AND2", "x2 x4 x6"}}), NaryLogic<2, false, false>);
VEXOLIN_STD_CELL(And3, "AND3", ({{"AND3", "x1 x2 x4"}}), NaryLogic<3, false, false>);
VEXOLIN_STD_CELL(And4, "AND4", ({{"AND4", "x1 x2"}}), NaryLogic<4, false, false>);
VEXOLIN_STD_CELL(And5, "AND5", ({{"AND5", "x1 x2"}}), NaryLogic<5, false, false>);
VEXOLIN_STD_CELL(Nand2, "NAND2", ({{"NAND2", "x1 x1p5 x2 xp33 xp5 xp67"}}),
                 NaryLogic<2, false, true>);
VEXOLIN_STD_CELL(Nand3, "NAND3", ({{"NAND3", "x1 x2 xp33"}}), NaryLogic<3, false, true>);
VEXOLIN_STD_CELL(Nand4, "NAND4", ({{"NAND4", "xp25 xp75"}}), NaryLogic<4, false, true>);
VEXOLIN_STD_CELL(Nand5, "NAND5", ({{"NAND5", "xp2"}}), NaryLogic<5, false, true>);
VEXOLIN_STD_CELL(Or2, "OR2", ({{"OR2", "x2 x4 x6"}}), NaryLogic<2, true, false>);
VEXOLIN_STD_CELL(Or3, "OR3", ({{"OR3", "x1 x2 x4"}}), NaryLogic<3, true, false>);
VEXOLIN_STD_CELL(Or4, "OR4", ({{"OR4", "x1 x2"}}), NaryLogic<4, true, false>);
VEXOLIN_STD_CELL(Or5, "OR5", ({{"OR5", "x1 x2"}}), NaryLogic<5, true, false>);
VEXOLIN_STD_CELL(Nor2, "NOR2", ({{"NOR2", "x1 x1p5 x2 xp33 xp67"}}), NaryLogic<2, true, true>);
VEXOLIN_STD_CELL(Nor3, "NOR3", ({{"NOR3", "x1 x2 xp33"}}), NaryLogic<3, true, true>);
VEXOLIN_STD_CELL(Nor4, "NOR4", ({{"NOR4", "xp25 xp75"}}), NaryLogic<4, true, true>);
VEXOLIN_STD_CELL(Nor5, "NOR5", ({{"NOR5", "xp2"}}), NaryLogic<5, true, true>);

VEXOLIN_STD_CELL(Xor2, "XOR2", ({{"XOR2", "x1 x2 xp5"}}), XorLogic<false>);
VEXOLIN_STD_CELL(Xnor2, "XNOR2", ({{"XNOR2", "x1 x2 xp5"}}), XorLogic<true>);
VEXOLIN_STD_CELL(Maj, "MAJ", ({{"MAJ", "x2 x3"}}), MajLogic<false>);
VEXOLIN_STD_CELL(Maji, "MAJI", ({{"MAJI", "xp5"}}), MajLogic<true>);
VEXOLIN_STD_CELL(FullAdder, "FA", ({{"FA", "x1"}}), FullAdderLogic);
VEXOLIN_STD_CELL(HalfAdder, "HA", ({{"HA", "xp5"}}), HalfAdderLogic);
VEXOLIN_STD_CELL(TieHi, "TIEHI", ({{"TIEHI", "x1"}}), TieLogic<1>);
VEXOLIN_STD_CELL(TieLo, "TIELO", ({{"TIELO", "x1"}}), TieLogic<0>);

VEXOLIN_STD_CELL(O2A1O1I, "O2A1O1I", ({{"O2A1O1I", "xp33 xp5"}}), O2A1O1ILogic);
VEXOLIN_STD_CELL(A2O1A1I, "A2O1A1I", ({{"A2O1A1I", "xp33"}}), A2O1A1ILogic);
VEXOLIN_STD_CELL(A2O1A1O1I, "A2O1A1O1I", ({{"A2O1A1O1I", "xp25"}}), A2O1A1O1ILogic);

}  // namespace
}  // namespace vexolin
