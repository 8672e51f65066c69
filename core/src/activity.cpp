#include "activity.h"

#include <algorithm>
#include <bit>
#include <utility>

namespace vexolin {

namespace {

// Only uses that take effect at every evaluation wake the cell. A flip-flop's data and outputs
// matter only when its clock or control moves, and those are Read.
bool wakes(NetUse use) {
  return use == NetUse::Read || use == NetUse::Write;
}

struct FanoutBuilder {
  std::vector<std::uint32_t>* counts = nullptr;  // first visit: entries per net
  std::vector<std::uint32_t>* cursor = nullptr;  // second visit: next free slot per net
  std::vector<std::uint32_t>* fanout = nullptr;
  std::vector<std::uint32_t>* last_cell = nullptr;  // the cell that last added each net, plus one
  std::vector<std::pair<NetId, NetUse>> uses;       // of the current cell
  std::uint32_t cell = 0;

  static void visit(void* context, NetId net, NetUse use) {
    auto& b = *static_cast<FanoutBuilder*>(context);
    b.uses.emplace_back(net, use);
    // Cells are visited in order, so a repeated net of one cell is always its latest entry.
    if (!wakes(use) || (*b.last_cell)[net] == b.cell + 1) return;
    (*b.last_cell)[net] = b.cell + 1;
    if (b.counts) {
      ++(*b.counts)[net];
    } else {
      (*b.fanout)[(*b.cursor)[net]++] = b.cell;
    }
  }

  // Whether the cell's own writes can change what its next evaluation does: it writes a net it
  // reads, or writes one net twice in one evaluation (possibly with two values).
  bool self_waking() {
    std::sort(uses.begin(), uses.end());
    bool result = false;
    for (std::size_t i = 0; i < uses.size() && !result;) {
      std::size_t j = i;
      bool read = false, written = false;
      unsigned writes = 0;
      for (; j < uses.size() && uses[j].first == uses[i].first; ++j) {
        const NetUse use = uses[j].second;
        read |= use == NetUse::Read;
        written |= use == NetUse::Write || use == NetUse::Capture;
        writes += use == NetUse::Write;
      }
      result = (read && written) || writes > 1;
      i = j;
    }
    uses.clear();
    return result;
  }
};

}  // namespace

LevelOrder level_order(std::span<const CellInstance> cells, NetId net_count) {
  // Per net, one above the highest level that writes it and that reads it; 0 for none.
  std::vector<std::uint32_t> written(net_count, 0), read(net_count, 0);
  std::vector<std::pair<NetId, NetUse>> uses;
  NetVisitor visitor{&uses, [](void* context, NetId net, NetUse use) {
                       static_cast<std::vector<std::pair<NetId, NetUse>>*>(context)->emplace_back(
                           net, use);
                     }};
  const auto writes = [](NetUse use) { return use == NetUse::Write || use == NetUse::Capture; };
  std::vector<std::uint32_t> level(cells.size(), 0);
  std::uint32_t levels = 0;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    uses.clear();
    kind_ops(cells[i].kind).nets(cells[i], visitor);
    std::uint32_t l = 0;
    for (const auto& [net, use] : uses) {
      l = std::max(l, written[net]);
      if (writes(use)) l = std::max(l, read[net]);
    }
    for (const auto& [net, use] : uses) {
      std::uint32_t& mark = writes(use) ? written[net] : read[net];
      mark = std::max(mark, l + 1);
    }
    level[i] = l;
    levels = std::max(levels, l + 1);
  }
  LevelOrder result;
  result.order.resize(cells.size());
  for (std::uint32_t i = 0; i < cells.size(); ++i) result.order[i] = i;
  std::stable_sort(result.order.begin(), result.order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if (level[a] != level[b]) return level[a] < level[b];
    return cells[a].kind < cells[b].kind;
  });
  result.level_ends.assign(levels, 0);
  for (const std::uint32_t l : level) ++result.level_ends[l];
  for (std::uint32_t l = 1; l < levels; ++l) result.level_ends[l] += result.level_ends[l - 1];
  return result;
}

ActivityEngine::ActivityEngine(std::span<const CellInstance> list, NetId net_count,
                               const LevelOrder* levels)
    : offsets_(std::size_t(net_count) + 1, 0),
      waiting_((list.size() + 63) / 64, 0),
      self_waking_(list.size(), 0),
      cell_count_(list.size()) {
  // The cells in the order of a pass; the fan-out names positions in it.
  std::vector<const CellInstance*> cells(list.size());
  for (std::size_t k = 0; k < list.size(); ++k) {
    cells[k] = &list[levels ? levels->order[k] : k];
  }
  eval_.reserve(cells.size());
  for (const CellInstance* cell : cells) eval_.push_back(kind_ops(cell->kind).eval_run);
  if (levels) {
    level_end_.resize(cells.size());
    kind_end_.resize(cells.size());
    std::size_t begin = 0;
    for (const std::uint32_t end : levels->level_ends) {
      for (std::size_t k = end; k-- > begin;) {
        level_end_[k] = end;
        const bool same = k + 1 < end && cells[k + 1]->kind == cells[k]->kind;
        kind_end_[k] = same ? kind_end_[k + 1] : static_cast<std::uint32_t>(k + 1);
      }
      begin = end;
    }
  }
  std::vector<std::uint32_t> counts(net_count, 0), last_cell(net_count, 0);
  FanoutBuilder builder;
  builder.last_cell = &last_cell;
  const NetVisitor visitor{&builder, &FanoutBuilder::visit};
  const auto visit_all = [&] {
    std::fill(last_cell.begin(), last_cell.end(), 0);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      builder.cell = static_cast<std::uint32_t>(i);
      kind_ops(cells[i]->kind).nets(*cells[i], visitor);
      self_waking_[i] = builder.self_waking();
    }
  };
  builder.counts = &counts;
  visit_all();
  for (NetId n = 0; n < net_count; ++n) offsets_[n + 1] = offsets_[n] + counts[n];
  fanout_.resize(offsets_[net_count]);
  std::vector<std::uint32_t> cursor(offsets_.begin(), offsets_.end() - 1);
  builder.counts = nullptr;
  builder.cursor = &cursor;
  builder.fanout = &fanout_;
  visit_all();
  wake_all();
}

void ActivityEngine::wake_all() {
  std::fill(waiting_.begin(), waiting_.end(), ~std::uint64_t(0));
  // Bits past the last cell stay clear, so the pass never finds a cell that does not exist.
  if (const std::size_t tail = cell_count_ % 64) waiting_.back() = (std::uint64_t(1) << tail) - 1;
}

void ActivityEngine::wake_fanout(SignalStore& store, std::uint32_t skip_begin,
                                 std::uint32_t skip_end) {
  store.take_changes([this, skip_begin, skip_end](NetId net) {
    const std::uint32_t end = offsets_[net + 1];
    for (std::uint32_t k = offsets_[net]; k < end; ++k) {
      const std::uint32_t cell = fanout_[k];
      // A cell that moved its own output already holds what it would write again; waking it
      // would double the work of every active cell for nothing. In a level, the only cell of
      // the skipped range a net can name is the one that wrote it.
      if (cell - skip_begin < skip_end - skip_begin && !self_waking_[cell]) continue;
      waiting_[cell >> 6] |= std::uint64_t(1) << (cell & 63);
    }
  });
}

void ActivityEngine::pass(std::span<CellInstance> cells, SignalStore& store, EvalScratch& scratch) {
  const std::size_t words = waiting_.size();
  std::size_t word = 0;
  // The bits of `word` at or after the current position. Bits behind it may be set again by
  // the cells evaluated since; those cells wait for the next pass, as the full pass would have
  // evaluated them next there.
  std::uint64_t ahead = ~std::uint64_t(0);
  while (word < words) {
    // Reloaded after every evaluation: a cell may wake cells after it in the same word.
    const std::uint64_t bits = waiting_[word] & ahead;
    if (bits == 0) {
      ++word;
      ahead = ~std::uint64_t(0);
      continue;
    }
    const unsigned bit = static_cast<unsigned>(std::countr_zero(bits));
    // Cleared before evaluating, so that a cell that moves a net it depends on itself (a loop
    // through one cell, a net it writes twice) finds itself waiting again for the next pass.
    waiting_[word] &= ~(std::uint64_t(1) << bit);
    ahead = (~std::uint64_t(0) << bit) << 1;
    const std::size_t index = word * 64 + bit;
    const auto index32 = static_cast<std::uint32_t>(index);
    CellInstance* const cell = &cells[index];
    eval_[index](cell, cell + 1, store, scratch);
    ++evaluations_;
    if (store.has_changes()) wake_fanout(store, index32, index32 + 1);
  }
}

void ActivityEngine::evaluate_level(std::span<CellInstance> cells, std::size_t begin,
                                    std::size_t end, SignalStore& store, EvalScratch& scratch) {
  for (std::size_t word = begin >> 6; word <= (end - 1) >> 6; ++word) {
    const std::size_t base = word * 64;
    std::uint64_t range = ~std::uint64_t(0);
    if (begin > base) range &= ~std::uint64_t(0) << (begin - base);
    if (end < base + 64) range &= ~(~std::uint64_t(0) << (end - base));
    // Taken whole before any evaluation: nothing in the level can wake the level.
    std::uint64_t bits = waiting_[word] & range;
    waiting_[word] &= ~range;
    while (bits) {
      const unsigned bit = static_cast<unsigned>(std::countr_zero(bits));
      const std::size_t first = base + bit;
      const std::size_t pending = static_cast<std::size_t>(std::countr_one(bits >> bit));
      const std::size_t last = std::min<std::size_t>(first + pending, kind_end_[first]);
      // One dispatch for the run of waiting cells of one kind.
      eval_[first](&cells[first], &cells[first] + (last - first), store, scratch);
      evaluations_ += last - first;
      bits &= (last - base) >= 64 ? 0 : ~std::uint64_t(0) << (last - base);
    }
  }
}

void ActivityEngine::level_pass(std::span<CellInstance> cells, SignalStore& store,
                                EvalScratch& scratch) {
  const std::size_t words = waiting_.size();
  std::size_t word = 0;
  std::uint64_t ahead = ~std::uint64_t(0);
  while (word < words) {
    const std::uint64_t bits = waiting_[word] & ahead;
    if (bits == 0) {
      ++word;
      ahead = ~std::uint64_t(0);
      continue;
    }
    // The walk jumps from one waiting cell to the end of its level, so levels without waiting
    // cells cost nothing.
    const auto first = static_cast<std::uint32_t>(word * 64 + std::countr_zero(bits));
    const std::uint32_t end = level_end_[first];
    evaluate_level(cells, first, end, store, scratch);
    // Woken once per level: every cell a change names lies in another level, behind (for the
    // next pass) or ahead (for this one), but for self-waking writers of this level.
    if (store.has_changes()) wake_fanout(store, first, end);
    word = end >> 6;
    ahead = ~std::uint64_t(0) << (end & 63);
  }
}

Result<std::uint64_t> ActivityEngine::settle(std::span<CellInstance> cells, SignalStore& store,
                                             EvalScratch& scratch, std::uint64_t max_passes) {
  // Port writes, drives, sticks and releases since the last pass wake their cells first.
  wake_fanout(store, 0, 0);
  std::uint64_t passes = 0;
  do {
    if (passes == max_passes) {
      store.set_dirty(false);
      return SimError::no_settle(passes);
    }
    store.set_dirty(false);
    if (level_end_.empty()) {
      pass(cells, store, scratch);
    } else {
      level_pass(cells, store, scratch);
    }
    ++passes;
  } while (store.dirty());
  return passes;
}

}  // namespace vexolin
