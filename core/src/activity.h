// The activity-driven evaluation loop: the passes of settle(), evaluating in each pass only the
// cells that something they depend on has moved for since they were last evaluated.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "cell/mod.h"
#include "result.h"
#include "signal/signal_store.h"

namespace vexolin {

/// The cell list regrouped into levels: position k of the new order holds list cell `order[k]`,
/// and level l covers positions level_ends[l - 1] (0 for the first) to level_ends[l].
///
/// A cell's level is one above the highest level of the earlier cells it conflicts with: those
/// that write a net it reads or writes, or read a net it writes. Every pair of conflicting cells
/// therefore keeps its list order, so each net sees the same reads and writes in the same order
/// as in the list, and no two cells of one level share a net that either writes. Within a level
/// the cells are sorted by kind, so that runs of one kind share one dispatch.
struct LevelOrder {
  std::vector<std::uint32_t> order;
  std::vector<std::uint32_t> level_ends;
};

LevelOrder level_order(std::span<const CellInstance> cells, NetId net_count);

/// Which cells a net change wakes, and which cells are waiting to be evaluated.
///
/// It gives exactly the passes, writes and state bytes of settle() in eval.h. A cell skipped by
/// a pass is one for which nothing it reads or writes at every evaluation has changed, been
/// stuck or been released since its own last evaluation; evaluating it would read the same
/// inputs, compute the same outputs and find them already in place, and a flip-flop would find
/// its clock and control at the levels its state bytes hold, so the full pass would change
/// nothing there either. A cell woken from before its own position in a pass waits for the next
/// pass, where the full pass would evaluate it next anyway. A cell's own writes wake it only
/// when it reads what it writes or writes one net twice; otherwise its outputs already hold what
/// it would write again.
class ActivityEngine {
 public:
  ActivityEngine() = default;
  /// Fan-out of every net of the store over the cells; every cell starts waiting. Without
  /// `levels` the engine evaluates `cells` in list order. With them, it evaluates cells laid out
  /// in that order (cell k of a pass being list cell levels->order[k]) level by level, and wakes
  /// cells once per level: a level's cells cannot wake each other.
  ActivityEngine(std::span<const CellInstance> cells, NetId net_count,
                 const LevelOrder* levels = nullptr);

  /// Every cell waits: after construction, reset() and anything else done behind the store.
  void wake_all();

  /// Passes as settle() in eval.h makes them, with the same result.
  Result<std::uint64_t> settle(std::span<CellInstance> cells, SignalStore& store,
                               EvalScratch& scratch, std::uint64_t max_passes);

  /// Cells evaluated since construction, for measuring.
  std::uint64_t evaluations() const { return evaluations_; }

 private:
  void pass(std::span<CellInstance> cells, SignalStore& store, EvalScratch& scratch);
  void level_pass(std::span<CellInstance> cells, SignalStore& store, EvalScratch& scratch);
  void evaluate_level(std::span<CellInstance> cells, std::size_t begin, std::size_t end,
                      SignalStore& store, EvalScratch& scratch);
  /// Wakes the cells of every noted net but those of [skip_begin, skip_end) that are not
  /// self-waking: the cells whose evaluation noted them.
  void wake_fanout(SignalStore& store, std::uint32_t skip_begin, std::uint32_t skip_end);

  // Compressed rows: the cells woken by net n are fanout_[offsets_[n]] to fanout_[offsets_[n+1]].
  std::vector<std::uint32_t> offsets_;
  std::vector<std::uint32_t> fanout_;
  // Each cell's kind loop, copied out of the kind table so that a pass makes one indirect call
  // per evaluated cell and nothing else.
  std::vector<decltype(KindOps::eval_run)> eval_;
  std::vector<std::uint64_t> waiting_;  // one bit per cell
  // Per cell: its own writes can change its next evaluation, so they wake it like anyone's.
  std::vector<std::uint8_t> self_waking_;
  // Levelled layout only: per position, the end of its level and of its run of one kind.
  std::vector<std::uint32_t> level_end_;
  std::vector<std::uint32_t> kind_end_;
  std::size_t cell_count_ = 0;
  std::uint64_t evaluations_ = 0;
};

}  // namespace vexolin
