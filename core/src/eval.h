// The evaluation loop: in-place passes over the cell list until no net changes.
#pragma once

#include <cstdint>
#include <span>

#include "cell/mod.h"
#include "result.h"
#include "signal/signal_store.h"

namespace vexolin {

/// Evaluates every cell once, first to last, writing through the store's set().
void eval_pass(std::span<CellInstance> cells, SignalStore& store, EvalScratch& scratch);

/// The most passes one settle may make for a list of `cell_count` cells. An acyclic list in any
/// order settles within one pass per cell plus one; only a combinational loop needs more, and one
/// that still changes after this many passes is taken to oscillate.
std::uint64_t pass_limit(std::size_t cell_count);

/// Repeats { clear dirty; eval_pass } while the pass changed a net: at least one pass. Returns
/// the number of passes made, or NoSettle once `max_passes` passes all changed something (the
/// store then holds the values of the last pass).
Result<std::uint64_t> settle(std::span<CellInstance> cells, SignalStore& store,
                             EvalScratch& scratch, std::uint64_t max_passes);

/// Scratch buffers large enough for every cell of the list.
EvalScratch scratch_for(std::span<const CellInstance> cells);

}  // namespace vexolin
