// The value, stuck flag and toggle counters of every net of one design.
#pragma once

#include <cstdint>
#include <vector>

#include "bit.h"

namespace vexolin {

/// Dense net index; net 0 is the constant 0 and net 1 the constant 1.
using NetId = std::uint32_t;

/// Net state of one design. Every write goes through set(), which decides the stuck and
/// toggle rules in one place.
class SignalStore {
 public:
  /// A store of `net_count` nets (at least 2): all 0, nothing stuck but the two constants.
  explicit SignalStore(NetId net_count);

  /// The stored value; stuck or not, this is what every reader sees.
  Bit get(NetId net) const { return values_[net]; }

  /// The one write of cells, ports and drives: a stuck net is left alone, an unchanged value
  /// counts nothing, a change counts one rising or falling toggle and marks the store dirty.
  void set(NetId net, Bit bit) {
    // The stuck and equality tests come first so that the common case, a cell rewriting the
    // value a net already has, touches neither counter array.
    if (stuck_[net] || values_[net] == bit) return;
    if (bit) {
      ++rising_[net];
    } else {
      ++falling_[net];
    }
    values_[net] = bit;
    dirty_ = true;
    note_change(net);
  }

  /// Forces the net to `bit` without counting and without touching `dirty`.
  void stick(NetId net, Bit bit) {
    stuck_[net] = 1;
    values_[net] = bit;
    note_change(net);
  }
  /// Releases the net; its value stays until the next set().
  void unstick(NetId net) {
    stuck_[net] = 0;
    // Noted although no value moved: a cell driving the net must now overwrite the forced value.
    note_change(net);
  }
  bool is_stuck(NetId net) const { return stuck_[net] != 0; }

  std::uint64_t rising_count(NetId net) const { return rising_[net]; }
  std::uint64_t falling_count(NetId net) const { return falling_[net]; }
  std::uint64_t total_count(NetId net) const { return rising_[net] + falling_[net]; }

  /// Every value 0, every flag and counter cleared, `dirty` false; then the constants re-stuck.
  void clear();

  NetId net_count() const { return net_count_; }
  bool dirty() const { return dirty_; }
  void set_dirty(bool dirty) { dirty_ = dirty; }

  /// The value array, one byte per net, for bulk reads.
  const BitVec& values() const { return values_; }

  /// Whether a net changed value, was stuck or was released since the last take_changes().
  bool has_changes() const { return change_count_ != 0; }
  /// Hands each noted net to `f` once, in the order first noted, and forgets them.
  template <class F>
  void take_changes(F&& f) {
    // The count is read once: `f` must not write the store, and the compiler cannot see that.
    const NetId n = change_count_;
    for (NetId i = 0; i < n; ++i) {
      const NetId net = changes_[i];
      noted_[net] = 0;
      f(net);
    }
    change_count_ = 0;
  }

 private:
  // Lives on the change path only, so a write of an unchanged value stays two loads and a
  // compare. The flag keeps each net once in the list, which therefore never outgrows
  // `net_count` entries and needs no allocation.
  void note_change(NetId net) {
    if (noted_[net]) return;
    noted_[net] = 1;
    changes_[change_count_++] = net;
  }

  BitVec values_;
  std::vector<std::uint8_t> stuck_;
  std::vector<std::uint64_t> rising_;
  std::vector<std::uint64_t> falling_;
  std::vector<NetId> changes_;
  std::vector<std::uint8_t> noted_;
  NetId change_count_ = 0;
  NetId net_count_;
  bool dirty_ = false;
};

}  // namespace vexolin
