// The cell record, the self-registering cell kinds and the registry of type names.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "bit.h"
#include "result.h"
#include "signal/signal_store.h"

namespace vexolin {

/// Pin name to its nets, least significant first; ordered by name, byte by byte.
using ConnectionMap = std::map<std::string, std::vector<NetId>, std::less<>>;
/// Parameter name to its bits, least significant first, for values that may exceed 32 bits.
using WideParameters = std::map<std::string, BitVec, std::less<>>;

/// Parameter name to its 32-bit value, ordered by name, plus in `wide` the full bits of every
/// parameter that the netlist gave as a text read by `wide_parameter_bits`; numbers have no
/// entry there and keep their 32-bit meaning.
///
/// The 32-bit map drops texts of more than 32 significant digits, yet a reset value is as wide
/// as its register; `wide` keeps those bits. It is a derived map rather than a new argument so
/// that every constructor keeps the one `CellConstructor` signature and every kind that reads
/// only 32-bit values is untouched.
struct ParameterMap : std::map<std::string, std::uint32_t, std::less<>> {
  using std::map<std::string, std::uint32_t, std::less<>>::map;
  WideParameters wide;
};

/// The bits of a binary-digit parameter text of any length, least significant first: an optional
/// leading "+", then digits "0", "1", "x" or "z" (x and z read as 0); the empty text is no bits.
/// Nothing for any other text.
inline std::optional<BitVec> wide_parameter_bits(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
  }
  BitVec bits(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[text.size() - 1 - i];
    if (c != '0' && c != '1' && c != 'x' && c != 'z') return std::nullopt;
    bits[i] = Bit(c == '1');
  }
  return bits;
}

/// Dense tag of a cell kind, handed out as the kinds register at start-up.
using CellKind = std::uint16_t;

/// Inline pin slots of a record: enough for the widest single-bit kind (nine inputs, one output).
inline constexpr std::size_t kInlinePins = 10;

/// One simulated cell: a flat, fixed-size record tagged with its kind.
///
/// Single-bit kinds keep their pins' nets in `pin`, in payload order. Word-level kinds keep their
/// id arrays end to end in `ids`; `pin[k]` then holds the end offset of list k, and the slots
/// after the lists hold the kind's single-bit pins.
struct CellInstance {
  CellKind kind = 0;
  std::uint8_t flags = 0;  ///< parameter-derived bits of the kind (signed, polarities)
  std::uint8_t state = 0;  ///< edge memory of flip-flops; zero for other kinds
  std::array<NetId, kInlinePins> pin{};
  std::unique_ptr<NetId[]> ids;

  /// Word-level list k.
  std::span<const NetId> list(unsigned k) const {
    const NetId begin = k ? pin[k - 1] : 0;
    return {ids.get() + begin, pin[k] - begin};
  }
  /// Total number of ids in the word-level lists (0 for single-bit kinds).
  std::size_t list_storage(unsigned lists) const { return lists ? pin[lists - 1] : 0; }
};

/// Reusable operand buffers of the evaluation pass, sized once per design so that a pass never
/// allocates.
struct EvalScratch {
  BitVec a, b;
  void reserve_bits(std::size_t n) {
    if (a.size() < n) a.resize(n);
    if (b.size() < n) b.resize(n);
  }
};

/// How a cell uses one of its nets, as the activity engine needs to know it.
enum class NetUse : std::uint8_t {
  Read,     ///< read at every evaluation: a change must evaluate the cell again
  Sample,   ///< read only when a Read net has moved (flip-flop data): a change alone does nothing
  Write,    ///< written at every evaluation: a change by another writer must be overwritten
  Capture,  ///< written only when a Read net has moved (flip-flop outputs)
};

/// Receives the nets of one cell with their uses; a net may be reported more than once.
struct NetVisitor {
  void* context = nullptr;
  void (*visit)(void* context, NetId net, NetUse use) = nullptr;
  void operator()(NetId net, NetUse use) const { visit(context, net, use); }
};

/// Builds a cell record from its pins and parameters, or fails.
using CellConstructor = Result<CellInstance> (*)(const ConnectionMap&, const ParameterMap&);

/// What the engine knows of a kind: how to evaluate a run of its cells and reset their state.
struct KindOps {
  const char* name = nullptr;
  /// Evaluates cells [first, last), all of this kind, in order.
  void (*eval_run)(CellInstance* first, CellInstance* last, SignalStore& store,
                   EvalScratch& scratch) = nullptr;
  /// Puts a cell's state bytes to their values after reset(); null for stateless kinds.
  void (*reset_state)(CellInstance& cell) = nullptr;
  /// Operand bits the kind needs in the scratch buffers for one cell.
  std::size_t (*scratch_bits)(const CellInstance& cell) = nullptr;
  /// Reports every net the cell reads or writes; used once, when a design is built.
  void (*nets)(const CellInstance& cell, const NetVisitor& visit) = nullptr;
};

/// A kind's type names and constructor, attached to the registration list at start-up.
struct CellRegistration {
  std::span<const std::string_view> type_names;
  CellConstructor constructor = nullptr;
  CellKind kind = 0;
  const CellRegistration* next = nullptr;
};

inline constexpr std::size_t kMaxKinds = 256;

/// The engine's table of kinds, indexed by tag.
const KindOps& kind_ops(CellKind kind);
/// Number of registered kinds.
std::size_t kind_count();

/// Assigns the next tag to `ops`. Runs in static initialisation.
CellKind register_kind(const KindOps& ops);
/// Pushes a registration onto the process-wide list (lock-free).
void push_registration(CellRegistration* registration);
/// Head of the registration list.
const CellRegistration* registration_list();

/// Type name to constructor, built from the registration list on first use.
const std::unordered_map<std::string_view, const CellRegistration*>& cell_registry();
/// The registration of a type name, or nullptr; exact, case-sensitive.
const CellRegistration* find_cell_type(std::string_view type);

/// Prints the "Parsing connections: " block when debug output is on.
void debug_connections(const ConnectionMap& connections);

/// The net of a single-bit pin (its first net), or an internal failure naming the pin.
Result<NetId> single_pin(const ConnectionMap& connections, std::string_view name);
/// The whole net list of a pin, or an internal failure naming the pin.
Result<const std::vector<NetId>*> list_pin(const ConnectionMap& connections, std::string_view name);
/// A required parameter, or an internal failure naming it.
Result<std::uint32_t> required_parameter(const ParameterMap& parameters, std::string_view name);
/// A parameter's value, 0 when absent.
std::uint32_t parameter_or_zero(const ParameterMap& parameters, std::string_view name);

/// Stores word-level lists end to end in `cell.ids` and their end offsets in pin[0..n-1].
void store_lists(CellInstance& cell, std::initializer_list<std::span<const NetId>> lists);

namespace detail {
template <class K>
void eval_run(CellInstance* first, CellInstance* last, SignalStore& store, EvalScratch& scratch) {
  // One tight loop per kind: the per-cell dispatch happens once per run of same-kind cells and
  // K::eval is inlined here.
  for (; first != last; ++first) K::eval(*first, store, scratch);
}
template <class K>
void reset_state(CellInstance& cell) {
  K::reset_state(cell);
}
template <class K>
std::size_t scratch_bits(const CellInstance& cell) {
  return K::scratch_bits(cell);
}
template <class K>
void nets(const CellInstance& cell, const NetVisitor& visit) {
  K::nets(cell, visit);
}
template <class K>
concept HasState = requires(CellInstance& c) {
  K::reset_state(c);
};
template <class K>
concept NeedsScratch = requires(const CellInstance& c) {
  K::scratch_bits(c);
};
}  // namespace detail

/// Registers kind K at start-up: one static object of this type beside the kind's code.
///
/// K provides `kind_name`, `type_names` (an array of string views), `build(connections,
/// parameters)`, `eval(cell, store, scratch)` and `nets(cell, visit)`; optionally
/// `reset_state(cell)` and `scratch_bits(cell)`.
template <class K>
class CellKindRegistrar {
 public:
  CellKindRegistrar() {
    KindOps ops;
    ops.name = K::kind_name;
    ops.eval_run = &detail::eval_run<K>;
    // Required rather than defaulted: a kind that under-reported its nets would silently miss
    // evaluations in the activity engine.
    ops.nets = &detail::nets<K>;
    if constexpr (detail::HasState<K>) ops.reset_state = &detail::reset_state<K>;
    if constexpr (detail::NeedsScratch<K>) ops.scratch_bits = &detail::scratch_bits<K>;
    id_ = register_kind(ops);
    registration_.type_names = std::span<const std::string_view>(K::type_names);
    registration_.constructor = &K::build;
    registration_.kind = id_;
    push_registration(&registration_);
  }
  /// The tag of K, valid after start-up.
  static CellKind id() { return id_; }

 private:
  static inline CellKind id_ = 0;
  CellRegistration registration_;
};

/// A fresh record of kind K.
template <class K>
CellInstance new_cell() {
  CellInstance c;
  c.kind = CellKindRegistrar<K>::id();
  return c;
}

}  // namespace vexolin

/// Declares the static registration object of kind K in the current file.
#define VEXOLIN_REGISTER_CELL(name, ...) \
  [[maybe_unused]] static const ::vexolin::CellKindRegistrar<__VA_ARGS__> name##_registrar
