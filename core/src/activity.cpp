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

ActivityEngine::ActivityEngine(std::span<const CellInstance> cells, NetId net_count)
    : offsets_(std::size_t(net_count) + 1, 0),
      waiting_((cells.size() + 63) / 64, 0),
      self_waking_(cells.size(), 0),
      cell_count_(cells.size()) {
  eval_.reserve(cells.size());
  for (const CellInstance& cell : cells) eval_.push_back(kind_ops(cell.kind).eval_run);
  std::vector<std::uint32_t> counts(net_count, 0), last_cell(net_count, 0);
  FanoutBuilder builder;
  builder.last_cell = &last_cell;
  const NetVisitor visitor{&builder, &FanoutBuilder::visit};
  const auto visit_all = [&] {
    std::fill(last_cell.begin(), last_cell.end(), 0);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      builder.cell = static_cast<std::uint32_t>(i);
      kind_ops(cells[i].kind).nets(cells[i], visitor);
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

void ActivityEngine::wake_fanout(SignalStore& store, std::uint32_t writer) {
  store.take_changes([this, writer](NetId net) {
    const std::uint32_t end = offsets_[net + 1];
    for (std::uint32_t k = offsets_[net]; k < end; ++k) {
      const std::uint32_t cell = fanout_[k];
      // A cell that moved its own output already holds what it would write again; waking it
      // would double the work of every active cell for nothing.
      if (cell == writer) continue;
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
    if (store.has_changes()) wake_fanout(store, self_waking_[index] ? kNoWriter : index32);
  }
}

Result<std::uint64_t> ActivityEngine::settle(std::span<CellInstance> cells, SignalStore& store,
                                             EvalScratch& scratch, std::uint64_t max_passes) {
  // Port writes, drives, sticks and releases since the last pass wake their cells first.
  wake_fanout(store, kNoWriter);
  std::uint64_t passes = 0;
  do {
    if (passes == max_passes) {
      store.set_dirty(false);
      return SimError::no_settle(passes);
    }
    store.set_dirty(false);
    pass(cells, store, scratch);
    ++passes;
  } while (store.dirty());
  return passes;
}

}  // namespace vexolin
