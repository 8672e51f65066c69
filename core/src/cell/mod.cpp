#include "cell/mod.h"

#include <cstdlib>
#include <string>

#include "diagnostics.h"

namespace vexolin {

namespace {

// Constant-initialised, so kinds may register from any file's static initialiser regardless of
// the order in which files initialise.
KindOps g_kind_ops[kMaxKinds] = {};
std::atomic<std::size_t> g_kind_count{0};
std::atomic<const CellRegistration*> g_registrations{nullptr};

}  // namespace

const KindOps& kind_ops(CellKind kind) {
  return g_kind_ops[kind];
}

std::size_t kind_count() {
  return g_kind_count.load(std::memory_order_acquire);
}

CellKind register_kind(const KindOps& ops) {
  const std::size_t id = g_kind_count.fetch_add(1, std::memory_order_acq_rel);
  // Exceeding the table is a build fault of the library itself, found by every test run.
  if (id >= kMaxKinds) std::abort();
  g_kind_ops[id] = ops;
  return static_cast<CellKind>(id);
}

void push_registration(CellRegistration* registration) {
  const CellRegistration* head = g_registrations.load(std::memory_order_relaxed);
  do {
    registration->next = head;
  } while (!g_registrations.compare_exchange_weak(head, registration, std::memory_order_release,
                                                  std::memory_order_relaxed));
}

const CellRegistration* registration_list() {
  return g_registrations.load(std::memory_order_acquire);
}

const std::unordered_map<std::string_view, const CellRegistration*>& cell_registry() {
  // A function-local static is the one-time initialisation guard: concurrent first callers
  // wait for one build and all see the finished map.
  static const auto registry = [] {
    std::unordered_map<std::string_view, const CellRegistration*> map;
    for (const CellRegistration* r = registration_list(); r != nullptr; r = r->next) {
      for (std::string_view name : r->type_names) map.emplace(name, r);
    }
    return map;
  }();
  return registry;
}

const CellRegistration* find_cell_type(std::string_view type) {
  const auto& registry = cell_registry();
  const auto it = registry.find(type);
  return it == registry.end() ? nullptr : it->second;
}

void debug_connections(const ConnectionMap& connections) {
  if (!debug_enabled()) return;
  if (connections.empty()) {
    emit_line("Parsing connections: {}");
    return;
  }
  emit_line("Parsing connections: {");
  std::string line;
  for (const auto& [pin, nets] : connections) {
    line = "    \"" + pin + "\": [";
    if (nets.empty()) {
      emit_line(line + "],");
      continue;
    }
    emit_line(line);
    for (NetId net : nets) emit_line("        " + std::to_string(net) + ",");
    emit_line("    ],");
  }
  emit_line("}");
}

Result<NetId> single_pin(const ConnectionMap& connections, std::string_view name) {
  const auto it = connections.find(name);
  if (it == connections.end()) {
    return SimError::internal("pin `" + std::string(name) + "` is not connected");
  }
  if (it->second.empty()) {
    return SimError::internal("single-bit pin `" + std::string(name) + "` is connected to no net");
  }
  return it->second.front();
}

Result<const std::vector<NetId>*> list_pin(const ConnectionMap& connections,
                                           std::string_view name) {
  const auto it = connections.find(name);
  if (it == connections.end()) {
    return SimError::internal("pin `" + std::string(name) + "` is not connected");
  }
  return &it->second;
}

Result<std::uint32_t> required_parameter(const ParameterMap& parameters, std::string_view name) {
  const auto it = parameters.find(name);
  if (it == parameters.end()) {
    return SimError::internal("parameter `" + std::string(name) + "` is missing");
  }
  return it->second;
}

std::uint32_t parameter_or_zero(const ParameterMap& parameters, std::string_view name) {
  const auto it = parameters.find(name);
  return it == parameters.end() ? 0 : it->second;
}

void store_lists(CellInstance& cell, std::initializer_list<std::span<const NetId>> lists) {
  std::size_t total = 0;
  for (const auto& l : lists) total += l.size();
  cell.ids = std::make_unique<NetId[]>(total ? total : 1);
  std::size_t at = 0;
  unsigned k = 0;
  for (const auto& l : lists) {
    for (NetId n : l) cell.ids[at++] = n;
    cell.pin[k++] = static_cast<NetId>(at);
  }
}

}  // namespace vexolin
