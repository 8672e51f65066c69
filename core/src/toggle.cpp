// Toggle statistics: per-net counters summed per named signal and per scope.
#include "design.h"

namespace vexolin {

namespace {

std::uint64_t figure(const SignalStore& store, const std::vector<NetId>& nets,
                     ToggleCategory category) {
  std::uint64_t sum = 0;
  for (NetId n : nets) {
    switch (category) {
      case ToggleCategory::Rising:
        sum += store.rising_count(n);
        break;
      case ToggleCategory::Falling:
        sum += store.falling_count(n);
        break;
      case ToggleCategory::Total:
        sum += store.total_count(n);
        break;
    }
  }
  return sum;
}

}  // namespace

Result<ToggleCategory> parse_toggle_category(std::string_view text) {
  if (text == "rising") return ToggleCategory::Rising;
  if (text == "falling") return ToggleCategory::Falling;
  if (text == "total") return ToggleCategory::Total;
  return SimError::toggle_category(std::string(text));
}

TogglesBySignal Design::toggles_by_signal(ToggleCategory category) const {
  TogglesBySignal out;
  for (const auto& [id, nets] : wrapper_.nets()) {
    out[join_scope(id.scope)][id.name] = figure(store_, nets, category);
  }
  return out;
}

TogglesByScope Design::toggles_by_scope(ToggleCategory category) const {
  TogglesByScope out;
  for (const auto& [id, nets] : wrapper_.nets()) {
    out[join_scope(id.scope)] += figure(store_, nets, category);
  }
  return out;
}

}  // namespace vexolin
