// The combinational gate-level kinds ($_AND_ and the like).
#include <array>
#include <string_view>

#include "cell/simcells/single_bit.h"

namespace vexolin {
namespace {

using sv = std::string_view;

// One definition per gate: its type name, its pins in payload order and its function.
#define VEXOLIN_GATE(Name, Type, PinList, Expr)                     \
  struct Name {                                                     \
    static constexpr const char* kind_name = Type;                  \
    static constexpr std::array<sv, 1> type_names{sv(Type)};        \
    static constexpr auto pins = std::to_array<sv> PinList;         \
    static constexpr std::size_t outputs = 1;                       \
    static void compute(const Bit* in, Bit* out) { out[0] = Expr; } \
  };                                                                \
  VEXOLIN_REGISTER_CELL(Name, SingleBitKind<Name>)

VEXOLIN_GATE(BufGate, "$_BUF_", ({"A", "Y"}), in[0]);
VEXOLIN_GATE(NotGate, "$_NOT_", ({"A", "Y"}), Bit(in[0] ^ 1));
VEXOLIN_GATE(AndGate, "$_AND_", ({"A", "B", "Y"}), Bit(in[0] & in[1]));
VEXOLIN_GATE(AndNotGate, "$_ANDNOT_", ({"A", "B", "Y"}), Bit(in[0] & (in[1] ^ 1)));
VEXOLIN_GATE(NandGate, "$_NAND_", ({"A", "B", "Y"}), Bit((in[0] & in[1]) ^ 1));
VEXOLIN_GATE(NorGate, "$_NOR_", ({"A", "B", "Y"}), Bit((in[0] | in[1]) ^ 1));
VEXOLIN_GATE(OrGate, "$_OR_", ({"A", "B", "Y"}), Bit(in[0] | in[1]));
VEXOLIN_GATE(OrNotGate, "$_ORNOT_", ({"A", "B", "Y"}), Bit(in[0] | (in[1] ^ 1)));
VEXOLIN_GATE(XnorGate, "$_XNOR_", ({"A", "B", "Y"}), Bit((in[0] ^ in[1]) ^ 1));
VEXOLIN_GATE(XorGate, "$_XOR_", ({"A", "B", "Y"}), Bit(in[0] ^ in[1]));
VEXOLIN_GATE(Aoi3Gate, "$_AOI3_", ({"A", "B", "C", "Y"}), Bit(((in[0] & in[1]) | in[2]) ^ 1));
VEXOLIN_GATE(MuxGate, "$_MUX_", ({"A", "B", "S", "Y"}), in[2] ? in[1] : in[0]);
VEXOLIN_GATE(NmuxGate, "$_NMUX_", ({"A", "B", "S", "Y"}), Bit((in[2] ? in[1] : in[0]) ^ 1));
VEXOLIN_GATE(Oai3Gate, "$_OAI3_", ({"A", "B", "C", "Y"}), Bit(((in[0] | in[1]) & in[2]) ^ 1));

}  // namespace
}  // namespace vexolin
