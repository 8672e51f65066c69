#include "signal/signal_store.h"

#include <algorithm>

namespace vexolin {

SignalStore::SignalStore(NetId net_count)
    : values_(net_count, 0),
      stuck_(net_count, 0),
      rising_(net_count, 0),
      falling_(net_count, 0),
      changes_(net_count, 0),
      noted_(net_count, 0),
      net_count_(net_count) {
  stick(0, 0);
  stick(1, 1);
}

void SignalStore::clear() {
  dirty_ = false;
  std::fill(values_.begin(), values_.end(), Bit(0));
  std::fill(stuck_.begin(), stuck_.end(), std::uint8_t(0));
  std::fill(rising_.begin(), rising_.end(), std::uint64_t(0));
  std::fill(falling_.begin(), falling_.end(), std::uint64_t(0));
  // Every net has just moved; the engine re-evaluates every cell after a clear anyway, so the
  // noted list starts empty instead of listing them all.
  std::fill(noted_.begin(), noted_.end(), std::uint8_t(0));
  change_count_ = 0;
  stick(0, 0);
  stick(1, 1);
}

}  // namespace vexolin
