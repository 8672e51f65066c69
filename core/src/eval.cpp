#include "eval.h"

namespace vexolin {

void eval_pass(std::span<CellInstance> cells, SignalStore& store, EvalScratch& scratch) {
  CellInstance* cell = cells.data();
  CellInstance* const end = cell + cells.size();
  while (cell != end) {
    // Consecutive cells of one kind form a run handed to that kind's own loop: one indexed
    // dispatch per run through the dense kind table, no virtual call, nothing hashed.
    CellInstance* run_end = cell + 1;
    while (run_end != end && run_end->kind == cell->kind) ++run_end;
    kind_ops(cell->kind).eval_run(cell, run_end, store, scratch);
    cell = run_end;
  }
}

std::uint64_t pass_limit(std::size_t cell_count) {
  // Twice the acyclic bound leaves room for settling loops (latches built from gates) and for
  // clock edges that flip-flops derive from each other within one settle.
  return 2 * (static_cast<std::uint64_t>(cell_count) + 1) + 16;
}

Result<std::uint64_t> settle(std::span<CellInstance> cells, SignalStore& store,
                             EvalScratch& scratch, std::uint64_t max_passes) {
  std::uint64_t passes = 0;
  do {
    if (passes == max_passes) {
      store.set_dirty(false);
      return SimError::no_settle(passes);
    }
    store.set_dirty(false);
    eval_pass(cells, store, scratch);
    ++passes;
  } while (store.dirty());
  return passes;
}

EvalScratch scratch_for(std::span<const CellInstance> cells) {
  std::size_t bits = 0;
  for (const CellInstance& c : cells) {
    if (const auto fn = kind_ops(c.kind).scratch_bits) {
      const std::size_t n = fn(c);
      if (n > bits) bits = n;
    }
  }
  EvalScratch scratch;
  scratch.reserve_bits(bits);
  return scratch;
}

}  // namespace vexolin
